// Shared pieces of the fuzz targets: a scratch directory for the files an input becomes, and
// writing bytes to a file.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace veskorfuzz {

// A directory of this process, in /dev/shm where there is one (inputs are written as files tens of
// thousands of times a second), removed when the process ends normally.
inline const std::string& scratchDirectory() {
  static const std::string path = [] {
    std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/veskor-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    static std::string removeAtExit;
    removeAtExit = pattern;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(removeAtExit, ignored);
    });
    return pattern;
  }();
  return path;
}

inline std::string scratchFile(const std::string& name) {
  return scratchDirectory() + "/" + name;
}

inline void writeBytes(const std::string& fileName, const uint8_t* data, std::size_t size) {
  std::FILE* out = std::fopen(fileName.c_str(), "wb");
  if (out == nullptr || (size > 0 && std::fwrite(data, 1, size, out) != size) || std::fclose(out) != 0) {
    std::perror(fileName.c_str());
    std::abort();
  }
}

// The input as a text: it ends at the first zero byte, as a C caller's text would.
inline std::string textOf(const uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size).c_str();
}

}  // namespace veskorfuzz
