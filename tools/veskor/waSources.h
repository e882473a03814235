// The word pairs a word associator is built from, read from the files the tool accepts: pairs
// files ("word<TAB>word[<TAB>weight]" lines) and thesauri in the plain-text format of one synonym
// group per line. Words are converted to the engine's Latin-1 here; what makes a word a word is
// the engine's business (veskorBuildWA).
#pragma once

#include <veskor/veskorExt.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <string>
#include <unordered_map>
#include <vector>

#include "text.h"

namespace veskorcli {

class WordPairs {
 public:
  WordPairs() = default;
  WordPairs(const WordPairs&) = delete;
  WordPairs& operator=(const WordPairs&) = delete;

  void add(const std::string& latin1First, const std::string& latin1Second, double weight, long line);
  // Adds the pair, or adds 1 to its count when the same two texts were added before.
  void count(const std::string& latin1First, const std::string& latin1Second, long line);
  // How often count() met pair i.
  int timesCounted(int i) const { return counts_[static_cast<size_t>(i)]; }
  void setWeight(int i, double weight) { pairs_[static_cast<size_t>(i)].weight = weight; }

  // Valid while this object lives; the texts are stored once each.
  const std::vector<veskorWordPair>& pairs() const { return pairs_; }
  // The input line of pair i.
  long lineOf(int i) const { return lines_[static_cast<size_t>(i)]; }

  // Thesaurus terms left out by the reader: phrases of several words, and characters outside
  // Latin-1.
  uint64_t skippedTerms = 0;

 private:
  const char* stored(const std::string& text);

  std::deque<std::string> texts_;
  std::unordered_map<std::string, const char*> index_;
  std::vector<veskorWordPair> pairs_;
  std::vector<long> lines_;
  std::vector<int> counts_;
  std::unordered_map<std::string, int> counted_;  // "first\0second" -> pair
};

// Called now and then with the bytes read so far.
using ReadProgress = std::function<void(uint64_t bytesRead, uint64_t pairs)>;

// Lines "first<TAB>second" or "first<TAB>second<TAB>weight"; empty lines are skipped. A line of
// another shape, an empty word or a weight that is no number above 0 is a Failure (exit code 4)
// naming the line.
void readPairsFile(std::istream& in, const std::string& name, const TextCodec& codec, WordPairs& pairs,
                   const ReadProgress& progress);

// One synonym group per line, terms separated by ";", "#" lines are comments, parenthesised
// remarks such as "(ugs.)" are dropped. Every two terms of a group form a pair; two terms that
// share n groups are closer synonyms than two that share one, with the weight 1 + ln n.
void readThesaurus(std::istream& in, const std::string& name, const TextCodec& codec, WordPairs& pairs,
                   const ReadProgress& progress);

}  // namespace veskorcli
