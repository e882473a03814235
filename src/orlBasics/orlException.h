// Exceptions of the engine: every failure inside the engine is an orl::Exception carrying the
// raising module's group, a code within the group and a message. Messages are assembled in a
// 1024-byte budget and end with the location suffix of the raise site.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace orl {

// Size of the buffer in which a raise site builds its message (terminator included).
inline constexpr std::size_t kMessageBufferSize = 1024;

class Exception : public std::exception {
 public:
  Exception(int32_t group, int32_t code, std::string message) noexcept
      : group_(group), code_(code), message_(std::move(message)) {}

  int32_t group() const noexcept { return group_; }
  int32_t code() const noexcept { return code_; }
  const std::string& message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  int32_t group_;
  int32_t code_;
  std::string message_;
};

// A pattern matches when each of its fields is 0 (wildcard) or equal to the exception's.
struct ExceptionPattern {
  int32_t group;
  int32_t code;
};

constexpr bool patternMatches(ExceptionPattern pattern, int32_t group, int32_t code) {
  return (pattern.group == 0 || pattern.group == group) && (pattern.code == 0 || pattern.code == code);
}

// True when any pattern of the list matches; handlers test this and rethrow the rest.
bool matches(const Exception& e, std::initializer_list<ExceptionPattern> patterns);

// A message under construction, with the truncation rules of orlStrAppend.
class MessageBuffer {
 public:
  MessageBuffer() { text_[0] = 0; }
  MessageBuffer& append(const char* text);
  MessageBuffer& append(const std::string& text) { return append(text.c_str()); }
  MessageBuffer& appendInt(long long value);
  // Appends "\nin file \"<file>\" line <line>".
  MessageBuffer& appendLocation(const char* file, long line);
  const char* c_str() const { return text_; }

 private:
  char text_[kMessageBufferSize];
};

namespace detail {

inline void appendPiece(MessageBuffer& m, const char* text) { m.append(text); }
inline void appendPiece(MessageBuffer& m, char* text) { m.append(text); }
inline void appendPiece(MessageBuffer& m, const std::string& text) { m.append(text); }
inline void appendPiece(MessageBuffer& m, std::string_view text) { m.append(std::string(text)); }
template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
inline void appendPiece(MessageBuffer& m, T value) {
  m.appendInt(static_cast<long long>(value));
}

[[noreturn]] void throwMessage(int32_t group, int32_t code, const MessageBuffer& message);

template <class... Pieces>
[[noreturn]] void raiseAt(const char* file, long line, int32_t group, int32_t code, const Pieces&... pieces) {
  MessageBuffer message;
  (appendPiece(message, pieces), ...);
  message.appendLocation(file, line);
  throwMessage(group, code, message);
}

}  // namespace detail
}  // namespace orl

// Raises group/code with the pieces (texts or integers) followed by the location suffix.
#define ORL_RAISE(group, code, ...) ::orl::detail::raiseAt(__FILE__, __LINE__, (group), (code), __VA_ARGS__)

// orlStrAppend: appends text (null appends "Null") to the terminated dest of the given size;
// a text that does not fit is cut and the buffer then ends with '+'.
void orlStrAppend(char* dest, std::size_t size, const char* text);

// Use count of the exception module. The first initialisation installs the handler that reports
// an exception nobody caught ("Unhandled exception (...)") before the process aborts; the last
// clean-up restores the previous handler. Always returns 1.
int orlExceptionsInit();
void orlExceptionsCleanup();
// The line the unhandled-exception handler writes for an exception.
std::string orlUnhandledExceptionLine(const orl::Exception& e);
