// Engine statuses as component errors.
#include <cstdint>

#include "veskor/veskorx.hpp"

namespace veskorx {
namespace {

constexpr uint32_t kEngineErrorBase = 0x80040400u;

const char* statusDescription(int32_t status) {
  switch (status) {
    case 1:
      return "invalid parameter";
    case 2:
      return "thread is already initialized";
    case 3:
      return "class is not initialized";
    case 4:
      return "file error";
    case 5:
      return "invalid filename";
    case 6:
      return "invalid knowledge base file format";
    case 7:
      return "knowledge base name error";
    case 10:
      return "key not valid";
    case 11:
      return "entry text not valid";
    case -1:
      return "fatal error";
    case -12:
      return "index out of bounds";
    case -13:
      return "current dll version does not support this function";
    default:
      return "unexpected error";
  }
}

}  // namespace

Error Error::fromStatus(int32_t status, std::string source) {
  auto number = static_cast<int32_t>(kEngineErrorBase + static_cast<uint32_t>(status));
  return Error(number, std::move(source), statusDescription(status));
}

}  // namespace veskorx
