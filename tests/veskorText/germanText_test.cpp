#include "veskorText/germanText.h"

#include <gtest/gtest.h>

#include <string>

#include "orlBasics/orlMemory.h"
#include "support/raises.h"

namespace {

using veskortest::messageHead;
using veskortest::raisedBy;

void expectNullRefused(const orl::Exception& e, const char* message) {
  EXPECT_EQ(e.group(), 22);
  EXPECT_EQ(e.code(), 1);
  EXPECT_EQ(messageHead(e), message);
}

std::string codes(const char* text) {
  orl::OwnedText result(createPhonemeCodesGerman(text));
  return result.get();
}

std::string upper(const char* text) {
  orl::OwnedText result(createUpperCaseGerman(text));
  return result.get();
}

TEST(GermanText, UpperCasingTouchesOnlyAsciiLettersAndUmlauts) {
  EXPECT_EQ(upper("stra\xDF"
                  "e \xE4\xF6\xFC \xE9 abc-XYZ"),
            "STRA\xDF"
            "E \xC4\xD6\xDC \xE9 ABC-XYZ");
  EXPECT_EQ(upper(""), "");
  expectNullRefused(raisedBy([] { createUpperCaseGerman(nullptr); }), "pText == NULL in createUpperCaseGerman()");
}

TEST(GermanText, SpellingsOfOneSoundGetEqualCodes) {
  for (const char* name : {"Maier", "Mayer", "Meier", "MEYER"})
    EXPECT_EQ(codes(name), "\x16\x0D\x08\x19") << name;
  EXPECT_EQ(codes("Schule"), "\x27\x0B\x18\x08");
  EXPECT_EQ(codes("Stra\xDF"
                  "e"),
            "\x07\x12\x19\x06\x07\x08");
  EXPECT_EQ(codes("Strasse"), "\x07\x12\x19\x06\x07\x08");
  EXPECT_EQ(codes("!"), "\x01");
  EXPECT_EQ(codes("\xE9"), "\x01");
}

TEST(GermanText, LongerRulesWinOverTheirPrefixes) {
  // SCH before S and CH; OEH before OE; ZZ and TZ before Z; digits and punctuation rows.
  EXPECT_EQ(codes("sch"), "\x27");
  EXPECT_EQ(codes("s ch"), "\x07\x21\x0E");
  EXPECT_EQ(codes("oeh"), "\x02");
  EXPECT_EQ(codes("\xF6h"), "\x02");  // lower-case umlaut is upper-cased first
  EXPECT_EQ(codes("tz z"), "\x13\x21\x13");
  EXPECT_EQ(codes("_-<>. 09"), "\x1E\x33\x1F\x20\x28\x21\x29\x32");
  EXPECT_EQ(codes("quakw"), "\x10\x06\x10");  // QU, A, KW
  EXPECT_EQ(codes(""), "");
  expectNullRefused(raisedBy([] { createPhonemeCodesGerman(nullptr); }),
                    "pText == NULL in createPhonemeCodesGerman()");
}

}  // namespace
