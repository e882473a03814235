// Runs a function when the scope is left, unless dismissed: the way a function undoes its
// partial work when an exception passes through it.
#pragma once

#include <utility>

namespace orl {

template <class F>
class ScopeGuard {
 public:
  explicit ScopeGuard(F function) : function_(std::move(function)) {}
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;
  ~ScopeGuard() {
    if (active_) function_();
  }
  void dismiss() noexcept { active_ = false; }

 private:
  F function_;
  bool active_ = true;
};

}  // namespace orl
