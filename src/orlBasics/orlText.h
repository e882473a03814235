// Byte-oriented text helpers. The character classes are those of the classic "C" locale,
// whatever locale the process has set.
#pragma once

// Blank, tab, line feed, vertical tab, form feed, carriage return.
bool orlIsSpace(int c);
// A to Z and a to z.
bool orlIsAlpha(int c);
// The ASCII punctuation characters 33-47, 58-64, 91-96, 123-126.
bool orlIsPunct(int c);

// A new text from orlMalloc without leading and trailing white space; null gives null.
char* orlTrimmedCopy(const char* text);

// Start of the next word (null at the end) and its end through pEnd.
const char* orlNextWord(const char* text, const char** pEnd);
