#include "veskorText/seekWords.h"

#include <string_view>
#include <unordered_set>

#include "orlBasics/orlText.h"

namespace {

bool isWordByte(unsigned char c) {
  if (c == '<' || c == '>' || c == '/' || c == '\\') return true;
  return !orlIsSpace(c) && !orlIsPunct(c);
}

// The hyphen rule looks at the text as it is after earlier hyphens went.
void joinHyphenatedWords(std::string& text) {
  for (std::size_t i = 1; i + 2 < text.size(); ++i) {
    if (text[i] == '-' && orlIsAlpha(static_cast<unsigned char>(text[i - 1])) &&
        orlIsAlpha(static_cast<unsigned char>(text[i + 1]))) {
      text.erase(i, 1);
    }
  }
}

}  // namespace

std::vector<std::string> seekWords_split(const char* text) {
  std::string joined(text);
  joinHyphenatedWords(joined);
  std::vector<std::string> words;
  std::size_t used = 0;
  std::size_t i = 0;
  while (i < joined.size() && words.size() < seekWords_maxWords) {
    while (i < joined.size() && !isWordByte(static_cast<unsigned char>(joined[i]))) ++i;
    std::size_t start = i;
    while (i < joined.size() && isWordByte(static_cast<unsigned char>(joined[i]))) ++i;
    if (i == start) break;
    std::size_t needed = i - start + 1;
    if (used + needed + 2 > seekWords_bufferSize) break;
    used += needed;
    words.emplace_back(joined, start, i - start);
  }
  return words;
}

void seekWords_removeDoubles(std::vector<std::string>& words) {
  std::unordered_set<std::string_view> seen;
  std::vector<bool> keep(words.size(), false);
  for (std::size_t k = words.size(); k-- > 0;) keep[k] = seen.insert(words[k]).second;
  std::vector<std::string> survivors;
  survivors.reserve(seen.size());
  for (std::size_t k = 0; k < words.size(); ++k) {
    if (keep[k]) survivors.push_back(std::move(words[k]));
  }
  words = std::move(survivors);
}
