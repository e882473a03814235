// Text at the edge between Python and the engine: str is converted to the engine's Latin-1, bytes
// pass through, results come back as str. A converted text usually borrows the Python object's own
// buffer (a str whose characters all fit one byte is stored as Latin-1 already), so it is valid while
// that object lives: keep a reference for as long as the engine reads it.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <string_view>

namespace veskorpy {

// What happens to a character that Latin-1 cannot hold.
enum class OnUnencodable { raise, replace };

// "strict" or "replace"; anything else raises ValueError.
OnUnencodable parseErrors(pybind11::handle errors);

class EngineText {
 public:
  EngineText() = default;
  // value must be str or bytes (TypeError otherwise). what names the argument in error messages.
  // A NUL character raises veskor.ArgumentError: the engine would silently cut the text there.
  EngineText(pybind11::handle value, OnUnencodable onUnencodable, const char* what);

  EngineText(EngineText&& other) noexcept { *this = std::move(other); }
  EngineText& operator=(EngineText&& other) noexcept;
  EngineText(const EngineText&) = delete;
  EngineText& operator=(const EngineText&) = delete;

  const char* c_str() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  const char* data_ = "";
  std::size_t size_ = 0;
  std::string owned_;  // a converted copy, when the object's buffer cannot serve
  bool usesOwned_ = false;
};

// An engine text (Latin-1) as str.
pybind11::str fromLatin1(const char* text);
pybind11::str fromLatin1(std::string_view text);

// A file name for the engine: str (encoded as the file system wants), bytes or os.PathLike.
// Returns the absolute name, so that a later change of directory does not move the file.
std::string fileName(pybind11::handle path, const char* what);

}  // namespace veskorpy
