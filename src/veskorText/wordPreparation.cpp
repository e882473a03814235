#include "veskorText/wordPreparation.h"

#include "orlBasics/orlText.h"
#include "veskorText/abbreviationList.h"
#include "veskorText/sentenceWord.h"

namespace {

struct Entity {
  std::string_view name;
  std::string_view replacement;
};

constexpr Entity kEntities[] = {
    {"&Auml;", "Ae"}, {"&auml;", "ae"}, {"&Ouml;", "Oe"},  {"&ouml;", "oe"},
    {"&Uuml;", "Ue"}, {"&uuml;", "ue"}, {"&szlig;", "sz"},
};

// Replaces the leftmost occurrence until none is left, in one pass: the output never holds an
// occurrence, so the next leftmost one is the first to end while bytes are moved over, and a
// replacement that completes a new occurrence with what precedes it is caught as it is pushed.
void replaceAll(std::string& text, std::string_view pattern, std::string_view replacement) {
  if (text.find(pattern) == std::string::npos) return;
  std::string out;
  out.reserve(text.size());
  std::string pending(text.rbegin(), text.rend());  // bytes still to move, next one at the back
  while (!pending.empty()) {
    out.push_back(pending.back());
    pending.pop_back();
    if (out.size() >= pattern.size() &&
        std::string_view(out).substr(out.size() - pattern.size()) == pattern) {
      out.resize(out.size() - pattern.size());
      // The replacement's bytes go back in front of the rest, so they are checked one by one.
      pending.append(replacement.rbegin(), replacement.rend());
    }
  }
  text = std::move(out);
}

void replaceNumericEntities(std::string& text) {
  std::string result;
  std::size_t from = 0;
  for (;;) {
    std::size_t at = text.find("&#", from);
    if (at == std::string::npos) break;
    result.append(text, from, at - from);
    result.push_back('X');
    std::size_t semicolon = text.find(';', at + 2);
    if (semicolon == std::string::npos) {
      text = std::move(result);
      return;
    }
    from = semicolon + 1;
  }
  if (from == 0) return;
  result.append(text, from, std::string::npos);
  text = std::move(result);
}

bool isTrimmedByte(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return orlIsPunct(byte) || byte == 0xAB || byte == 0xBB;
}

void appendIfWord(sentenceWords& words, std::string_view piece, int32_t endCharacter) {
  std::string word = replaceHtmlEntities(std::string(piece));
  std::string_view trimmed = trimPunctuation(word);
  if (!isUsableWord(trimmed)) return;
  words.emplace_back(trimmed, endCharacter);
}

// A hyphenated part gives the joined form first, then its pieces from last to first.
void appendPart(sentenceWords& words, std::string_view part, int32_t endCharacter) {
  std::vector<std::string_view> pieces = splitRuns(part, '-');
  if (pieces.size() > 1) {
    std::string joined;
    for (std::string_view piece : pieces) joined += piece;
    appendIfWord(words, joined, 0);
  }
  for (std::size_t i = pieces.size(); i-- > 0;) appendIfWord(words, pieces[i], i == 0 ? endCharacter : 0);
}

}  // namespace

std::string replaceHtmlEntities(std::string piece) {
  for (const Entity& entity : kEntities) replaceAll(piece, entity.name, entity.replacement);
  replaceNumericEntities(piece);
  return piece;
}

std::string_view trimPunctuation(std::string_view piece) {
  while (!piece.empty() && isTrimmedByte(piece.front())) piece.remove_prefix(1);
  while (!piece.empty() && isTrimmedByte(piece.back())) piece.remove_suffix(1);
  return piece;
}

bool isUsableWord(std::string_view piece) {
  bool hasLetter = false;
  for (char c : piece) {
    if (orlIsAlpha(c)) hasLetter = true;
    if (orlIsPunct(c) && c != '-') return false;
  }
  // A letter also rules out the empty piece and a piece of digits only.
  return hasLetter;
}

std::vector<std::string_view> splitRuns(std::string_view text, char delimiter) {
  std::vector<std::string_view> runs;
  std::size_t position = 0;
  while (position < text.size()) {
    std::size_t start = text.find_first_not_of(delimiter, position);
    if (start == std::string_view::npos) break;
    std::size_t end = text.find(delimiter, start + 1);
    if (end == std::string_view::npos) end = text.size();
    runs.push_back(text.substr(start, end - start));
    position = end;
  }
  return runs;
}

void prepareWord(sentenceWords& words, const hash_t* abbreviationList, std::string_view token,
                 int32_t endCharacter) {
  std::vector<std::string_view> parts = expandAbbreviation(abbreviationList, token);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    appendPart(words, parts[i], i + 1 == parts.size() ? endCharacter : 0);
  }
}
