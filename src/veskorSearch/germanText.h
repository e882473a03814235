// Byte rules for German text in Latin-1: letters carried over from the DOS code pages and the
// German upper-casing. Every other byte passes through unchanged.
#pragma once

// Ä Ö Ü ä ö ü ß in Latin-1.
bool isGermanLetter(int c);
// 0-9 only.
bool isAsciiDigit(int c);

// A new copy (orlMalloc) with the DOS letters 0x81 0x84 0x8E 0x94 0x99 0x9A 0xE1 turned into
// their Latin-1 bytes; null gives null.
char* convertDosUmlauts(const char* text);
// The same conversion applied to the text itself; null is ignored.
void convertDosUmlautsInPlace(char* text);

// ä ö ü -> Ä Ö Ü and a-z -> A-Z; ß and every other byte stay.
unsigned char toUpperGerman(unsigned char c);
// toUpperGerman applied to every byte of the text; null is ignored.
void toUpperGermanInPlace(char* text);
