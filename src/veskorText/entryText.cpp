#include "veskorText/entryText.h"

#include <cstring>

#include "orlBasics/orlMemory.h"
#include "orlBasics/orlText.h"
#include "veskorText/germanText.h"

char* normaliseEntryText(const char* text, bool upperCase, bool framed) {
  const char* start = text;
  while (*start != 0 && orlIsSpace(*start)) ++start;
  const char* end = start + std::strlen(start);
  while (end > start && orlIsSpace(end[-1])) --end;
  if (end == start) return nullptr;
  char blank = framed ? '_' : ' ';
  // One pass does what trimming, collapsing white space, upper-casing and framing do in turn.
  char* result = static_cast<char*>(orlMalloc(static_cast<std::size_t>(end - start) + 3));
  char* out = result;
  if (framed) *out++ = '_';
  for (const char* in = start; in < end;) {
    if (orlIsSpace(*in)) {
      *out++ = blank;
      while (in < end && orlIsSpace(*in)) ++in;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(*in++);
    *out++ = static_cast<char>(upperCase ? upperCaseGermanByte(c) : c);
  }
  if (framed) *out++ = '_';
  *out = 0;
  return result;
}
