// German language rules: upper-casing and phoneme codes (group 22).
#pragma once

// New copy of the same length: a-z and the umlauts become upper case; every other byte (sharp s and
// accented letters included) stays as it is.
char* createUpperCaseGerman(const char* pText);

// New text of German phoneme codes (bytes 0x01 to 0x33): spellings of the same sound get equal codes.
char* createPhonemeCodesGerman(const char* pText);

// The byte rule of createUpperCaseGerman for one Latin-1 byte.
inline unsigned char upperCaseGermanByte(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 'A');
  if (c == 0xE4 || c == 0xF6 || c == 0xFC) return static_cast<unsigned char>(c - 0x20);
  return c;
}
