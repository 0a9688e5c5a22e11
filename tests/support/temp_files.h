// Temporary files for tests that open streams by path.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

class TempFiles {
 public:
  TempFiles() {
    static int counter = 0;
    dir_ = std::filesystem::temp_directory_path() /
           ("vidorlan_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(dir_);
  }
  ~TempFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  TempFiles(const TempFiles&) = delete;
  TempFiles& operator=(const TempFiles&) = delete;

  // Writes `bytes` into a new file and returns its path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = (dir_ / name).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
};

// A null-terminated list of paths for Decoder_Open, kept alive with it.
class PathList {
 public:
  explicit PathList(std::vector<std::string> paths) : paths_(std::move(paths)) {
    for (const auto& p : paths_) list_.push_back(p.c_str());
    list_.push_back(nullptr);
  }
  const char* const* get() const { return list_.data(); }

 private:
  std::vector<std::string> paths_;
  std::vector<const char*> list_;
};
