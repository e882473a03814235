#include "veskorSearch/germanText.h"

#include <cstring>

#include "orlBasics/orlMemory.h"
#include "veskorKernel/languageDependend.h"

bool isGermanLetter(int c) {
  switch (static_cast<unsigned char>(c)) {
    case 0xC4:
    case 0xD6:
    case 0xDC:
    case 0xE4:
    case 0xF6:
    case 0xFC:
    case 0xDF:
      return true;
    default:
      return false;
  }
}

bool isAsciiDigit(int c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return byte >= '0' && byte <= '9';
}

static unsigned char dosToLatin1(unsigned char c) {
  switch (c) {
    case 0x81:
      return 0xFC;
    case 0x84:
      return 0xE4;
    case 0x8E:
      return 0xC4;
    case 0x94:
      return 0xF6;
    case 0x99:
      return 0xD6;
    case 0x9A:
      return 0xDC;
    case 0xE1:
      return 0xDF;
    default:
      return c;
  }
}

char* convertDosUmlauts(const char* text) {
  char* copy = orlStrdup(text);
  convertDosUmlautsInPlace(copy);
  return copy;
}

void convertDosUmlautsInPlace(char* text) {
  if (text == nullptr) return;
  for (char* p = text; *p != 0; ++p) *p = static_cast<char>(dosToLatin1(static_cast<unsigned char>(*p)));
}

unsigned char toUpperGerman(unsigned char c) {
  // The same rule as the knowledge bases' own upper-casing, so that texts prepared here match.
  return upperCaseGermanByte(c);
}

void toUpperGermanInPlace(char* text) {
  if (text == nullptr) return;
  for (char* p = text; *p != 0; ++p) *p = static_cast<char>(toUpperGerman(static_cast<unsigned char>(*p)));
}
