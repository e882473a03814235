// What ends a command early: a message for standard error and the exit code.
#pragma once

#include <stdexcept>
#include <string>

namespace veskorcli {

enum ExitCode : int {
  exitSuccess = 0,
  exitUsage = 2,
  exitEngine = 3,
  exitFile = 4,  // files the tool reads or writes itself, and text encoding
};

class Failure : public std::runtime_error {
 public:
  Failure(int exitCode, const std::string& message) : std::runtime_error(message), exitCode_(exitCode) {}
  int exitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

inline Failure usageError(const std::string& message) {
  return Failure(exitUsage, message);
}
inline Failure fileError(const std::string& message) {
  return Failure(exitFile, message);
}

}  // namespace veskorcli
