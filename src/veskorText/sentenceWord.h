// The words of a sentence as the text pipeline hands them on: the word, the sentence-ending
// character that followed it (0 if none) and its flags.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Set in flags when endCharacter is not 0.
inline constexpr int32_t sentenceWord_endsSentence = 0x200;

struct sentenceWord {
  std::string word;
  int32_t endCharacter;
  int32_t flags;

  sentenceWord(std::string_view text, int32_t ending)
      : word(text), endCharacter(ending), flags(ending != 0 ? sentenceWord_endsSentence : 0) {}
};

using sentenceWords = std::vector<sentenceWord>;
