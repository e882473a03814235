#include "orlBasics/orlException.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "orlBasics/threadAnnotations.h"

namespace orl {

bool matches(const Exception& e, std::initializer_list<ExceptionPattern> patterns) {
  for (const ExceptionPattern& p : patterns) {
    if (patternMatches(p, e.group(), e.code())) return true;
  }
  return false;
}

MessageBuffer& MessageBuffer::append(const char* text) {
  orlStrAppend(text_, sizeof text_, text);
  return *this;
}

MessageBuffer& MessageBuffer::appendInt(long long value) {
  char number[128];
  std::snprintf(number, sizeof number, "%lld", value);
  return append(number);
}

MessageBuffer& MessageBuffer::appendLocation(const char* file, long line) {
  append("\nin file \"");
  append(file);
  append("\" line ");
  return appendInt(line);
}

namespace detail {

void throwMessage(int32_t group, int32_t code, const MessageBuffer& message) {
  throw Exception(group, code, message.c_str());
}

}  // namespace detail
}  // namespace orl

void orlStrAppend(char* dest, std::size_t size, const char* text) {
  if (dest == nullptr || size == 0) return;
  if (text == nullptr) text = "Null";
  std::size_t length = ::strnlen(dest, size);
  if (length >= size) {
    // A destination without terminator inside its size: keep the rule that the buffer ends in 0.
    length = size - 1;
    dest[length] = 0;
  }
  std::size_t room = size - length;  // bytes we may copy, terminator included
  std::size_t textLength = std::strlen(text);
  if (textLength < room) {
    std::memcpy(dest + length, text, textLength + 1);
    return;
  }
  std::memcpy(dest + length, text, room);
  dest[size - 1] = 0;
  if (size >= 2) dest[size - 2] = '+';
}

std::string orlUnhandledExceptionLine(const orl::Exception& e) {
  char head[64];
  std::string line = "Unhandled exception (\"";
  line += e.message();
  std::snprintf(head, sizeof head, "\", group=%ld, code=%ld)\n", static_cast<long>(e.group()),
                static_cast<long>(e.code()));
  line += head;
  return line;
}

namespace {

orl::Mutex gUseMutex;
int gUseCount ORL_GUARDED_BY(gUseMutex) = 0;
std::terminate_handler gPreviousHandler ORL_GUARDED_BY(gUseMutex) = nullptr;

// Reads the previous handler without the mutex: a terminating thread must not wait for a lock
// that the thread which failed may hold. The handler is only changed while ours is installed.
[[noreturn]] void unhandledExceptionHandler() ORL_NO_THREAD_SAFETY_ANALYSIS {
  if (std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const orl::Exception& e) {
      std::string line = orlUnhandledExceptionLine(e);
      std::fputs(line.c_str(), stderr);
      std::fflush(stderr);
      std::abort();
    } catch (...) {
    }
  }
  // Not one of ours: the host program's own handler reports it as it always would.
  if (gPreviousHandler != nullptr) gPreviousHandler();
  std::abort();
}

}  // namespace

int orlExceptionsInit() {
  orl::MutexLock lock(gUseMutex);
  if (gUseCount++ == 0) gPreviousHandler = std::set_terminate(unhandledExceptionHandler);
  return 1;
}

void orlExceptionsCleanup() {
  orl::MutexLock lock(gUseMutex);
  if (gUseCount > 0 && --gUseCount == 0) {
    std::set_terminate(gPreviousHandler);
    gPreviousHandler = nullptr;
  }
}
