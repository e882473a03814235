// German rules for Latin-1 text: the letters, the upper-casing, the letters carried over from the
// DOS code pages, and the phoneme codes that make spellings of one sound equal (group 22). Every
// byte the rules do not name passes through unchanged.
#pragma once

// Ä Ö Ü ä ö ü ß in Latin-1.
bool isGermanLetter(int c);
// 0-9 only.
bool isAsciiDigit(int c);

// The upper-casing: a-z and ä ö ü become upper case; every other byte (ß and accented letters
// included) stays as it is.
inline unsigned char upperCaseGermanByte(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 'A');
  if (c == 0xE4 || c == 0xF6 || c == 0xFC) return static_cast<unsigned char>(c - 0x20);
  return c;
}
// A new upper-cased copy of the same length.
char* createUpperCaseGerman(const char* pText);
// The upper-casing applied to the text itself; null is ignored.
void toUpperGermanInPlace(char* text);

// A new copy (orlMalloc) with the DOS letters 0x81 0x84 0x8E 0x94 0x99 0x9A 0xE1 turned into
// their Latin-1 bytes; null gives null.
char* convertDosUmlauts(const char* text);
// The same conversion applied to the text itself; null is ignored.
void convertDosUmlautsInPlace(char* text);

// A new text of German phoneme codes (bytes 0x01 to 0x33), upper-casing first.
char* createPhonemeCodesGerman(const char* pText);
