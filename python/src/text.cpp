#include "text.h"

#include <veskor/veskorAPI.h>

#include <cstring>

#include "engine.h"

namespace py = pybind11;

namespace veskorpy {
namespace {

void refuseNul(const char* data, std::size_t size, const char* what) {
  if (const void* nul = std::memchr(data, 0, size); nul != nullptr) {
    const auto position = static_cast<const char*>(nul) - data;
    raiseError(VESKOR_ERROR_ARGUMENT_NOT_VALID,
               std::string(what) + ": NUL character at position " + std::to_string(position));
  }
}

bool isWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

OnUnencodable parseErrors(py::handle errors) {
  if (PyUnicode_Check(errors.ptr())) {
    const char* name = PyUnicode_AsUTF8(errors.ptr());
    if (name == nullptr) throw py::error_already_set();
    if (std::strcmp(name, "strict") == 0) return OnUnencodable::raise;
    if (std::strcmp(name, "replace") == 0) return OnUnencodable::replace;
  }
  throw py::value_error("errors must be 'strict' or 'replace', not " + py::repr(errors).cast<std::string>());
}

EngineText::EngineText(py::handle value, OnUnencodable onUnencodable, const char* what) {
  PyObject* object = value.ptr();
  if (PyBytes_Check(object)) {
    data_ = PyBytes_AS_STRING(object);
    size_ = static_cast<std::size_t>(PyBytes_GET_SIZE(object));
  } else if (PyUnicode_Check(object)) {
    if (PyUnicode_READY(object) < 0) throw py::error_already_set();
    const Py_ssize_t length = PyUnicode_GET_LENGTH(object);
    if (PyUnicode_KIND(object) == PyUnicode_1BYTE_KIND) {
      // Stored one byte per character, which is Latin-1, and zero-terminated.
      data_ = static_cast<const char*>(PyUnicode_DATA(object));
      size_ = static_cast<std::size_t>(length);
    } else {
      const int kind = PyUnicode_KIND(object);
      const void* characters = PyUnicode_DATA(object);
      owned_.resize(static_cast<std::size_t>(length));
      for (Py_ssize_t i = 0; i < length; ++i) {
        Py_UCS4 c = PyUnicode_READ(kind, characters, i);
        if (c > 0xFF) {
          if (onUnencodable == OnUnencodable::raise) raiseTextError(what, object, i);
          c = '?';
        }
        owned_[static_cast<std::size_t>(i)] = static_cast<char>(c);
      }
      usesOwned_ = true;
      data_ = owned_.c_str();
      size_ = owned_.size();
    }
  } else {
    throw py::type_error(std::string(what) + " must be str or bytes, not " + Py_TYPE(object)->tp_name);
  }
  refuseNul(data_, size_, what);
}

EngineText& EngineText::operator=(EngineText&& other) noexcept {
  owned_ = std::move(other.owned_);
  usesOwned_ = other.usesOwned_;
  data_ = usesOwned_ ? owned_.c_str() : other.data_;
  size_ = other.size_;
  return *this;
}

py::str fromLatin1(const char* text) { return fromLatin1(std::string_view(text != nullptr ? text : "")); }

py::str fromLatin1(std::string_view text) {
  PyObject* decoded = PyUnicode_DecodeLatin1(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr);
  if (decoded == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(decoded);
}

std::string fileName(py::handle path, const char* what) {
  py::object os = py::module_::import("os");
  py::object absolute;
  try {
    absolute = os.attr("path").attr("abspath")(os.attr("fspath")(path));
  } catch (py::error_already_set& e) {
    if (e.matches(PyExc_TypeError)) {
      throw py::type_error(std::string(what) + " must be str, bytes or os.PathLike, not " +
                           Py_TYPE(path.ptr())->tp_name);
    }
    throw;
  }
  std::string name = os.attr("fsencode")(absolute).cast<std::string>();
  refuseNul(name.data(), name.size(), what);
  // The engine trims file names; a name ending in white space would silently mean another file.
  if (!name.empty() && isWhiteSpace(name.back())) {
    raiseError(VESKOR_ERROR_FILENAME, std::string(what) + ": a file name ending in white space is not supported");
  }
  return name;
}

}  // namespace veskorpy
