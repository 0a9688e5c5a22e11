#include "ui/input_file_names.h"

void InputFileNames::Fill(const std::vector<std::string>& paths) {
  Clear();
  const size_t n = paths.size() < size_t{kMaxFiles} ? paths.size() : size_t{kMaxFiles};
  for (size_t i = 0; i < n; ++i) {
    paths_[i] = paths[i];
    slots_[i] = paths_[i].c_str();
  }
}

void InputFileNames::Clear() {
  slots_.fill(nullptr);
  for (std::string& path : paths_) std::string().swap(path);
}

const char* InputFileNames::At(int index) const {
  if (index < 0 || index >= kSlots) return nullptr;
  return slots_[static_cast<size_t>(index)];
}
