// Text rules of the component: trimming of names and keys, letter-case folding for file names and
// collection keys, the numeric-key test, key mapping and the joining of entry values.
#pragma once

#include <string>

#include "veskor/veskorx.hpp"

namespace veskorx::detail {

// Leading and trailing spaces removed (only spaces, as Basic's Trim).
std::string trimSpaces(const std::string& text);
// Upper-cased in the single-byte Western European code page, for comparisons that ignore case.
std::string foldCase(const std::string& text);
bool equalIgnoringCase(const std::string& a, const std::string& b);
// True when the text, trimmed, is a complete decimal number in the current locale: optional sign,
// digits with at most one decimal separator (at least one digit), optional exponent.
bool readsAsNumber(const std::string& text);
// The engine never sees "?" in a key: it stands for U+0007 there, and Find maps it back.
std::string keyToEngine(const std::string& key);
std::string keyFromEngine(const std::string& key);
// The entry text of a value: a text as it is; an array's non-blank elements, each followed by
// one space, then trimmed; anything else empty. An element that is itself an array is a type
// mismatch (error 13, with source).
std::string entryText(const Variant& value, const char* source);

}  // namespace veskorx::detail
