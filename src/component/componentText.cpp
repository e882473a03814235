#include "component/componentText.h"

#include <clocale>
#include <cstdio>
#include <cstring>

namespace veskorx::detail {
namespace {

constexpr int32_t kTypeMismatch = 13;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

unsigned char foldByte(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 'A');
  // Latin-1 small letters with accents; 0xF7 is the division sign, 0xDF and 0xFF have no capital.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  return c;
}

// Basic's text for a number: up to 15 significant digits, the locale's decimal separator.
std::string numberText(double number) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15G", number);
  return buffer;
}

std::string elementText(const Variant& element, const char* source) {
  switch (element.type()) {
    case Variant::Type::Empty:
      return "";
    case Variant::Type::Text:
      return element.text();
    case Variant::Type::Number:
      return numberText(element.number());
    case Variant::Type::Boolean:
      return element.boolean() ? "True" : "False";
    case Variant::Type::Array:
      break;
  }
  throw Error(kTypeMismatch, source, "Type mismatch");
}

std::string joinElements(const std::vector<Variant>& elements, const char* source) {
  std::string joined;
  for (const Variant& element : elements) {
    std::string text = elementText(element, source);
    if (trimSpaces(text).empty()) continue;
    joined += text;
    joined += ' ';
  }
  return trimSpaces(joined);
}

}  // namespace

std::string trimSpaces(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string foldCase(const std::string& text) {
  std::string folded = text;
  for (char& c : folded) c = static_cast<char>(foldByte(static_cast<unsigned char>(c)));
  return folded;
}

bool equalIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (foldByte(static_cast<unsigned char>(a[i])) != foldByte(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool readsAsNumber(const std::string& text) {
  const char* decimalPoint = std::localeconv()->decimal_point;
  std::size_t pointLength = std::strlen(decimalPoint);
  std::size_t i = 0, n = text.size();
  while (i < n && isBlank(text[i])) ++i;
  while (n > i && isBlank(text[n - 1])) --n;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && isDigit(text[i])) ++i, ++digits;
  if (pointLength > 0 && i + pointLength <= n && text.compare(i, pointLength, decimalPoint) == 0) {
    i += pointLength;
    while (i < n && isDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < n && isDigit(text[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  return i == n;
}

std::string keyToEngine(const std::string& key) {
  std::string mapped = trimSpaces(key);
  for (char& c : mapped) {
    if (c == '?') c = '\x07';
  }
  return mapped;
}

std::string keyFromEngine(const std::string& key) {
  std::string mapped = key;
  for (char& c : mapped) {
    if (c == '\x07') c = '?';
  }
  return mapped;
}

std::string entryText(const Variant& value, const char* source) {
  switch (value.type()) {
    case Variant::Type::Text:
      return value.text();
    case Variant::Type::Array:
      return joinElements(value.array(), source);
    default:
      return "";
  }
}

}  // namespace veskorx::detail
