#include "veskorText/germanText.h"

#include <array>
#include <cstring>
#include <vector>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"

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

void toUpperGermanInPlace(char* text) {
  if (text == nullptr) return;
  for (char* p = text; *p != 0; ++p) *p = static_cast<char>(upperCaseGermanByte(static_cast<unsigned char>(*p)));
}

namespace {

constexpr int32_t kGroup = orl::errorGroup::germanLanguage;

struct PhonemeRule {
  const char* pattern;
  unsigned char code;
};

// Tried in this order at every position; the first pattern that matches wins, so longer patterns
// come before their prefixes.
constexpr PhonemeRule kRules[] = {
    {"SCH", 0x27},   {"OEH", 0x02},  {"UEH", 0x03},   {"AEH", 0x04},  {"AEU", 0x05}, {"OE", 0x02},
    {"\xD6H", 0x02}, {"UE", 0x03},   {"\xDCH", 0x03}, {"AH", 0x06},   {"AA", 0x06},  {"AE", 0x04},
    {"\xC4H", 0x04}, {"SS", 0x07},   {"EE", 0x08},    {"EH", 0x08},   {"OO", 0x09},  {"OH", 0x09},
    {"IE", 0x0A},    {"IH", 0x0A},   {"UU", 0x0B},    {"UH", 0x0B},   {"AU", 0x0C},  {"EY", 0x0D},
    {"EI", 0x0D},    {"AI", 0x0D},   {"AY", 0x0D},    {"OY", 0x05},   {"OI", 0x05},  {"EU", 0x05},
    {"\xC4U", 0x05}, {"CH", 0x0E},   {"BB", 0x25},    {"PP", 0x0F},   {"QU", 0x10},  {"KW", 0x10},
    {"CK", 0x11},    {"KK", 0x11},   {"GG", 0x23},    {"TH", 0x12},   {"TT", 0x12},  {"DT", 0x12},
    {"DD", 0x22},    {"TS", 0x13},   {"TZ", 0x13},    {"ZZ", 0x13},   {"TI", 0x26},  {"ZI", 0x26},
    {"PF", 0x14},    {"KS", 0x15},   {"MM", 0x16},    {"NN", 0x17},   {"LL", 0x18},  {"RR", 0x19},
    {"PH", 0x1A},    {"FF", 0x1A},   {"\xD6", 0x02},  {"\xDC", 0x03}, {"Y", 0x03},   {"A", 0x06},
    {"\xC4", 0x04},  {"\xDF", 0x07}, {"S", 0x07},     {"E", 0x08},    {"O", 0x09},   {"I", 0x0A},
    {"U", 0x0B},     {"P", 0x0F},    {"B", 0x25},     {"Q", 0x10},    {"G", 0x23},   {"C", 0x11},
    {"K", 0x11},     {"D", 0x22},    {"T", 0x12},     {"Z", 0x13},    {"X", 0x15},   {"M", 0x16},
    {"N", 0x17},     {"L", 0x18},    {"R", 0x19},     {"J", 0x1B},    {"V", 0x24},   {"F", 0x1A},
    {"H", 0x1C},     {"W", 0x1D},    {"_", 0x1E},     {"-", 0x33},    {"<", 0x1F},   {">", 0x20},
    {" ", 0x21},     {".", 0x28},    {"0", 0x29},     {"1", 0x2A},    {"2", 0x2B},   {"3", 0x2C},
    {"4", 0x2D},     {"5", 0x2E},    {"6", 0x2F},     {"7", 0x30},    {"8", 0x31},   {"9", 0x32},
};

constexpr unsigned char kNoRule = 0x01;

// Rules can only match where their first byte does, so each byte keeps its own rules in table
// order: the first match is the same as walking the whole table.
class RulesByFirstByte {
 public:
  RulesByFirstByte() {
    for (const PhonemeRule& rule : kRules) {
      byByte_[static_cast<unsigned char>(rule.pattern[0])].push_back(
          {rule.pattern, std::strlen(rule.pattern), rule.code});
    }
  }
  struct Rule {
    const char* pattern;
    std::size_t length;
    unsigned char code;
  };
  const std::vector<Rule>& rulesFor(unsigned char c) const { return byByte_[c]; }

 private:
  std::array<std::vector<Rule>, 256> byByte_;
};

const RulesByFirstByte& rules() {
  static const RulesByFirstByte instance;
  return instance;
}

}  // namespace

char* createUpperCaseGerman(const char* pText) {
  if (pText == nullptr) ORL_RAISE(kGroup, 1, "pText == NULL in createUpperCaseGerman()");
  std::size_t length = std::strlen(pText);
  char* upper = static_cast<char*>(orlMalloc(length + 1));
  for (std::size_t i = 0; i < length; ++i) {
    upper[i] = static_cast<char>(upperCaseGermanByte(static_cast<unsigned char>(pText[i])));
  }
  upper[length] = 0;
  return upper;
}

char* createPhonemeCodesGerman(const char* pText) {
  if (pText == nullptr) ORL_RAISE(kGroup, 1, "pText == NULL in createPhonemeCodesGerman()");
  orl::OwnedText upper(createUpperCaseGerman(pText));
  std::size_t length = std::strlen(upper.get());
  orl::OwnedText codes(static_cast<char*>(orlMalloc(length + 1)));
  const RulesByFirstByte& table = rules();
  std::size_t used = 0;
  for (std::size_t at = 0; at < length;) {
    unsigned char code = kNoRule;
    std::size_t advance = 1;
    for (const RulesByFirstByte::Rule& rule : table.rulesFor(static_cast<unsigned char>(upper.get()[at]))) {
      if (rule.length <= length - at && std::memcmp(upper.get() + at, rule.pattern, rule.length) == 0) {
        code = rule.code;
        advance = rule.length;
        break;
      }
    }
    codes.get()[used++] = static_cast<char>(code);
    at += advance;
  }
  codes.get()[used] = 0;
  char* shrunk = static_cast<char*>(orlRealloc(codes.get(), used + 1));
  codes.release();  // orlRealloc freed it
  return shrunk;
}
