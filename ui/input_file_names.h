// The table of input paths the stream is opened on: up to 16 paths, then a
// null slot.
#pragma once

#include <array>
#include <string>
#include <vector>

class InputFileNames {
 public:
  static constexpr int kMaxFiles = 16;
  static constexpr int kSlots = kMaxFiles + 1;

  InputFileNames() = default;
  InputFileNames(const InputFileNames&) = delete;
  InputFileNames& operator=(const InputFileNames&) = delete;

  // Copies the paths (at most kMaxFiles, in the system's 8-bit encoding)
  // into slots 0 .. n-1; slot n and those after it are null.
  void Fill(const std::vector<std::string>& paths);

  // Sets every slot to null.
  void Clear();

  // The null-terminated table. It stays unchanged, and its strings in place,
  // until the next Fill or Clear, so the stream layer may keep it.
  const char* const* Table() const { return slots_.data(); }

  // The path in slot `index`; null for a null slot or an index outside the
  // table.
  const char* At(int index) const;

  bool Empty() const { return slots_[0] == nullptr; }

 private:
  std::array<std::string, kMaxFiles> paths_;
  std::array<const char*, kSlots> slots_{};
};
