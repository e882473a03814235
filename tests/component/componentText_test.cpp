// The component's text rules: trimming, case folding, the numeric-key test, key mapping and the
// joining of entry values.
#include "component/componentText.h"

#include <gtest/gtest.h>

namespace {

using namespace veskorx::detail;
using veskorx::Variant;

TEST(ComponentText, TrimsSpacesOnlyAndFoldsLatin1) {
  EXPECT_EQ(trimSpaces("  a b  "), "a b");
  EXPECT_EQ(trimSpaces("   "), "");
  EXPECT_EQ(trimSpaces("\ta\t"), "\ta\t");
  EXPECT_TRUE(equalIgnoringCase("/Data/Gr\xFC\xDFt.kb", "/DATA/GR\xDC\xDFT.KB"));
  EXPECT_TRUE(equalIgnoringCase("M\xFCller", "M\xDCLLER"));
  EXPECT_FALSE(equalIgnoringCase("a.kb", "a.kb "));
  EXPECT_FALSE(equalIgnoringCase("\xF7", "\xD7"));
}

TEST(ComponentText, NumericKeysAreCompleteDecimalNumbers) {
  for (const char* number : {"4711", " 4711 ", "-3", "+0.5", ".5", "5.", "1e5", "2.5E-3"}) {
    EXPECT_TRUE(readsAsNumber(number)) << number;
  }
  for (const char* text : {"K1", "", " ", "1e", ".", "-", "1.2.3", "0x1A", "inf", "nan", "12 3", "1,5"}) {
    EXPECT_FALSE(readsAsNumber(text)) << text;
  }
}

TEST(ComponentText, QuestionMarksTravelAsBell) {
  EXPECT_EQ(keyToEngine(" A?B? "), "A\aB\a");
  EXPECT_EQ(keyFromEngine("A\aB"), "A?B");
}

TEST(ComponentText, ValuesJoinTheirNonBlankElements) {
  EXPECT_EQ(entryText(Variant(" as is "), "KBAdd"), " as is ");
  EXPECT_EQ(entryText(Variant(std::vector<std::string>{"a", "", "  ", "b"}), "KBAdd"), "a b");
  // Elements are appended untrimmed; only the result is trimmed.
  EXPECT_EQ(entryText(Variant(std::vector<std::string>{" a ", "b "}), "KBAdd"), "a  b");
  EXPECT_EQ(
      entryText(Variant(std::vector<Variant>{Variant(42), Variant(), Variant(false), Variant(2.5)}), "KBAdd"),
      "42 False 2.5");
  EXPECT_EQ(entryText(Variant(42), "KBAdd"), "");
  EXPECT_EQ(entryText(Variant(true), "KBAdd"), "");
  EXPECT_EQ(entryText(Variant(), "KBAdd"), "");
  try {
    entryText(Variant(std::vector<Variant>{Variant(std::vector<Variant>{Variant("x")})}), "KBAdd");
    ADD_FAILURE() << "nested array accepted";
  } catch (const veskorx::Error& error) {
    EXPECT_EQ(error.number(), 13);
    EXPECT_EQ(error.source(), "KBAdd");
  }
}

}  // namespace
