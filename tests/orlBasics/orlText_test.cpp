#include "orlBasics/orlText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"

namespace {

std::string take(char* text) {
  orl::OwnedText owned(text);
  return owned ? std::string(owned.get()) : std::string("<null>");
}

TEST(OrlText, CharacterClassesAreTheClassicOnesWhateverTheLocale) {
  // A caller switching to a Latin-1 locale must not turn 0xE4 into a letter or 0xA0 into space.
  const char* previous = std::setlocale(LC_ALL, nullptr);
  std::string saved = previous != nullptr ? previous : "C";
  for (const char* name : {"de_DE.ISO-8859-1", "de_DE", "en_US.UTF-8", "C.UTF-8"}) std::setlocale(LC_ALL, name);
  for (int c = 0; c < 256; ++c) {
    bool space = c == ' ' || (c >= 9 && c <= 13);
    bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    bool punct = (c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 96) || (c >= 123 && c <= 126);
    EXPECT_EQ(orlIsSpace(c), space) << c;
    EXPECT_EQ(orlIsAlpha(c), alpha) << c;
    EXPECT_EQ(orlIsPunct(c), punct) << c;
    EXPECT_EQ(orlIsSpace(static_cast<char>(c)), space) << c;  // signed chars too
  }
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(OrlText, TrimmedCopy) {
  EXPECT_EQ(take(orlTrimmedCopy("  \t data.kb \r\n")), "data.kb");
  EXPECT_EQ(take(orlTrimmedCopy("   ")), "");
  EXPECT_EQ(take(orlTrimmedCopy("")), "");
  EXPECT_EQ(orlTrimmedCopy(nullptr), nullptr);
}

TEST(OrlText, NextWord) {
  const char* text = "  eins zwei\n drei";
  const char* end = text;
  const char* start = orlNextWord(text, &end);
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(std::string(start, end), "eins");
  start = orlNextWord(end, &end);
  EXPECT_EQ(std::string(start, end), "zwei");
  start = orlNextWord(end, &end);
  EXPECT_EQ(std::string(start, end), "drei");
  EXPECT_EQ(orlNextWord(end, &end), nullptr);
  EXPECT_EQ(end, nullptr);

  const char* untouched = "x";
  EXPECT_EQ(orlNextWord(nullptr, &untouched), nullptr);
  EXPECT_STREQ(untouched, "x");
}

TEST(OrlMemory, DuplicatesAndReallocation) {
  EXPECT_EQ(orlMemdup(nullptr, 4), nullptr);
  EXPECT_EQ(orlMemdup("abc", 0), nullptr);
  EXPECT_EQ(orlStrdup(nullptr), nullptr);
  EXPECT_EQ(take(orlStrdup("Stra\xDF" "e")), "Stra\xDF" "e");

  char* block = static_cast<char*>(orlRealloc(nullptr, 8));
  std::memcpy(block, "abcdefgh", 8);
  block = static_cast<char*>(orlRealloc(block, 3));
  EXPECT_EQ(std::string(block, 3), "abc");
  orlFree(block);
  orlFree(nullptr);
}

TEST(OrlMemory, ExhaustionRaisesGroupOneCodeOne) {
  try {
    void* huge = orlMalloc(static_cast<std::size_t>(1) << 62);
    orlFree(huge);
    FAIL() << "allocation of 4 EiB succeeded";
  } catch (const orl::Exception& e) {
    EXPECT_EQ(e.group(), 1);
    EXPECT_EQ(e.code(), 1);
    EXPECT_EQ(e.message().rfind("error: out of memory in orlMalloc\nin file \"orlBasics/orlMemory.cpp\" line ", 0), 0u);
  }
}

}  // namespace
