#include "waSources.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <istream>

#include "failure.h"

namespace veskorcli {
namespace {

constexpr long kProgressLines = 1000;

bool isSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string trimmed(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isSpace(text[begin])) ++begin;
  while (end > begin && isSpace(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

// Reads the lines of in, each without its line end, with its number.
template <class F>
void forEachLine(std::istream& in, const std::string& name, const ReadProgress& progress,
                 const WordPairs& pairs, F&& handle) {
  std::string line;
  long number = 0;
  uint64_t bytes = 0;
  while (std::getline(in, line)) {
    ++number;
    bytes += line.size() + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    handle(line, number);
    if (progress && number % kProgressLines == 0) progress(bytes, pairs.pairs().size());
  }
  if (in.bad()) throw fileError(name + ": read error");
  if (progress) progress(bytes, pairs.pairs().size());
}

double parseWeight(const std::string& text, const std::string& where) {
  const std::string field = trimmed(text);
  char* end = nullptr;
  errno = 0;
  const double weight = std::strtod(field.c_str(), &end);
  if (field.empty() || *end != 0 || errno != 0 || !(weight > 0.0) || !std::isfinite(weight)) {
    throw fileError(where + ": weight \"" + field + "\" is not a number above 0");
  }
  return weight;
}

// The term without its parenthesised remarks, white space collapsed.
std::string withoutRemarks(std::string_view term) {
  std::string text;
  int depth = 0;
  for (char c : term) {
    if (c == '(') {
      ++depth;
    } else if (c == ')' && depth > 0) {
      --depth;
    } else if (depth == 0) {
      if (isSpace(c)) c = ' ';
      if (c != ' ' || (!text.empty() && text.back() != ' ')) text.push_back(c);
    }
  }
  return trimmed(text);
}

}  // namespace

const char* WordPairs::stored(const std::string& text) {
  auto it = index_.find(text);
  if (it != index_.end()) return it->second;
  const char* copy = texts_.emplace_back(text).c_str();
  index_.emplace(text, copy);
  return copy;
}

void WordPairs::add(const std::string& latin1First, const std::string& latin1Second, double weight,
                    long line) {
  pairs_.push_back(veskorWordPair{stored(latin1First), stored(latin1Second), weight});
  lines_.push_back(line);
  counts_.push_back(1);
}

void WordPairs::count(const std::string& latin1First, const std::string& latin1Second, long line) {
  const bool ordered = latin1First < latin1Second;
  std::string key = ordered ? latin1First : latin1Second;
  key.push_back('\0');
  key += ordered ? latin1Second : latin1First;
  auto [it, added] = counted_.emplace(std::move(key), static_cast<int>(pairs_.size()));
  if (added) {
    add(latin1First, latin1Second, 1.0, line);
  } else {
    ++counts_[static_cast<size_t>(it->second)];
  }
}

void readPairsFile(std::istream& in, const std::string& name, const TextCodec& codec, WordPairs& pairs,
                   const ReadProgress& progress) {
  forEachLine(in, name, progress, pairs, [&](const std::string& line, long number) {
    if (trimmed(line).empty()) return;
    const std::string where = name + ":" + std::to_string(number);
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
      fields.push_back(line.substr(start, tab - start));
      start = tab + 1;
    }
    fields.push_back(line.substr(start));
    if (fields.size() < 2 || fields.size() > 3) {
      throw fileError(where + ": expected word<TAB>word or word<TAB>word<TAB>weight");
    }
    const double weight = fields.size() == 3 ? parseWeight(fields[2], where) : 1.0;
    const TextOrigin origin{name, number};
    const std::string first = codec.toEngine(trimmed(fields[0]), origin);
    const std::string second = codec.toEngine(trimmed(fields[1]), origin);
    if (first.empty() || second.empty()) throw fileError(where + ": empty word");
    pairs.add(first, second, weight, number);
  });
}

void readThesaurus(std::istream& in, const std::string& name, const TextCodec& codec, WordPairs& pairs,
                   const ReadProgress& progress) {
  forEachLine(in, name, progress, pairs, [&](const std::string& line, long number) {
    if (line.empty() || line.front() == '#') return;
    std::vector<std::string> group;
    size_t start = 0;
    while (start <= line.size()) {
      size_t end = line.find(';', start);
      if (end == std::string::npos) end = line.size();
      const std::string term = withoutRemarks(std::string_view(line).substr(start, end - start));
      start = end + 1;
      if (term.empty()) continue;
      // A phrase is no word a search could look up.
      if (term.find(' ') != std::string::npos) {
        ++pairs.skippedTerms;
        continue;
      }
      std::string latin1;
      try {
        latin1 = codec.toEngine(term, TextOrigin{name, number});
      } catch (const Failure&) {
        ++pairs.skippedTerms;
        continue;
      }
      if (std::find(group.begin(), group.end(), latin1) == group.end()) group.push_back(std::move(latin1));
    }
    for (size_t i = 0; i < group.size(); ++i) {
      for (size_t j = i + 1; j < group.size(); ++j) pairs.count(group[i], group[j], number);
    }
  });
  for (int i = 0; i < static_cast<int>(pairs.pairs().size()); ++i) {
    pairs.setWeight(i, 1.0 + std::log(static_cast<double>(pairs.timesCounted(i))));
  }
}

}  // namespace veskorcli
