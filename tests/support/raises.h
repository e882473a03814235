// What a statement raised: the engine's exception, for checks of group, code and message.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "orlBasics/orlException.h"

namespace veskortest {

template <class F>
orl::Exception raisedBy(F&& statement) {
  try {
    statement();
  } catch (const orl::Exception& e) {
    return e;
  }
  ADD_FAILURE() << "nothing was raised";
  return orl::Exception(0, 0, "");
}

// The message without its location suffix ("\nin file ...").
inline std::string messageHead(const orl::Exception& e) {
  return e.message().substr(0, e.message().find("\nin file \""));
}

inline bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace veskortest
