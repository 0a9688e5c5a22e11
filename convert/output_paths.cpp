#include "convert/output_paths.h"

#include <sys/stat.h>

#include <filesystem>
#include <limits>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSplitExtension = ".avi";

// A path with its symbolic links and dot components resolved as far as
// the file system allows; the part that does not exist yet is taken as it is.
fs::path Resolved(const fs::path& path) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(path, error);
  if (error) resolved = fs::absolute(path, error).lexically_normal();
  return resolved;
}

// One input as far as it can be compared with an output.
struct InputFile {
  bool has_id = false;  // stat succeeded: device and inode are known
  dev_t device = 0;
  ino_t inode = 0;
  fs::path resolved;
};

std::vector<InputFile> Comparable_Inputs(const char* const* input_paths) {
  std::vector<InputFile> inputs;
  for (const char* const* p = input_paths; p != nullptr && *p != nullptr; ++p) {
    if (std::string_view(*p) == "-") continue;
    InputFile input;
    struct stat st;
    if (stat(*p, &st) == 0) {
      if (!S_ISREG(st.st_mode)) continue;
      input.has_id = true;
      input.device = st.st_dev;
      input.inode = st.st_ino;
    }
    input.resolved = Resolved(*p);
    inputs.push_back(input);
  }
  return inputs;
}

// Whether writing `candidate` would write one of the inputs. Opening a path
// for writing follows symbolic links, and so does stat.
bool Is_An_Input(const fs::path& candidate, const std::vector<InputFile>& inputs) {
  struct stat st;
  const bool exists = stat(candidate.c_str(), &st) == 0;
  const fs::path resolved = Resolved(candidate);
  for (const InputFile& input : inputs) {
    const bool same = exists && input.has_id ? st.st_dev == input.device && st.st_ino == input.inode
                                             : resolved == input.resolved;
    if (same) return true;
  }
  return false;
}

// Whether `name` is one the writer gives a split file of `stem`: the stem,
// a number from 0 to the largest file number in decimal without leading
// zeros, and the extension.
bool Is_Split_Name(std::string_view name, std::string_view stem) {
  if (name.size() <= stem.size() + kSplitExtension.size() || !name.starts_with(stem) ||
      !name.ends_with(kSplitExtension))
    return false;
  const std::string_view digits =
      name.substr(stem.size(), name.size() - stem.size() - kSplitExtension.size());
  if (digits.size() > 1 && digits[0] == '0') return false;
  int64_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
    if (number > std::numeric_limits<int32_t>::max()) return false;
  }
  return true;
}

}  // namespace

std::string Split_Base_Name(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    return path.substr(0, dot);
  return path;
}

std::string Split_File_Name(const std::string& base_name, int32_t number) {
  return base_name + std::to_string(number) + std::string(kSplitExtension);
}

bool Output_Overwrites_Input(const std::string& output_path, bool split,
                             const char* const* input_paths) {
  const std::vector<InputFile> inputs = Comparable_Inputs(input_paths);
  if (inputs.empty()) return false;
  if (!split) return Is_An_Input(output_path, inputs);

  const fs::path base(Split_Base_Name(output_path));
  const std::string stem = base.filename().string();
  const fs::path directory = base.has_parent_path() ? base.parent_path() : fs::path(".");
  // Every number is a name the series could reach: the numbered files that
  // exist (links to an input among them) are compared file by file...
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    if (Is_Split_Name(it->path().filename().string(), stem) && Is_An_Input(it->path(), inputs))
      return true;
  }
  // ...and an input that carries such a name in that directory would be
  // reached even where the directory cannot be listed.
  const fs::path resolved_directory = Resolved(directory);
  for (const InputFile& input : inputs) {
    if (input.resolved.parent_path() == resolved_directory &&
        Is_Split_Name(input.resolved.filename().string(), stem))
      return true;
  }
  return false;
}
