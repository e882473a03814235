// The words and links of a word associator to be built, gathered from the caller's word pairs
// (veskorBuildWA) or from the sentences of a document knowledge base
// (veskorBuildWAFromDocuments), before they go to the builder.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "veskor/veskorExt.h"
#include "veskorANN/wordAssociatorBuilder.h"
#include "veskorKernel/knowledgeBase.h"

class wordAssociatorGraph {
 public:
  // pFunction names the exported function in messages.
  explicit wordAssociatorGraph(const char* pFunction) : function_(pFunction) {}

  // The index of the word of that stored form (associatorWord_storedForm), added with the
  // spelling when new; VESKOR_ERROR_OUT_OF_BOUNDS when that would make more words than a word
  // table counts.
  int32_t wordIndex(const std::string& form, const std::string& spelling);
  // Links two words. A pair linked before keeps its first link, with the higher of the two
  // weights, and the result is the index of that link; a new link gives -1.
  int64_t link(int32_t a, int32_t b, double weight);

  // Stored forms, in the order the words came.
  const std::vector<std::string>& words() const { return forms_; }
  // The first spelling of each word, for registering it in a word knowledge base.
  const std::vector<std::string>& spellings() const { return spellings_; }
  const std::vector<wordAssociatorLink>& links() const { return links_; }

 private:
  const char* function_;
  std::vector<std::string> forms_;
  std::vector<std::string> spellings_;
  std::unordered_map<std::string, int32_t> indices_;
  std::vector<wordAssociatorLink> links_;
  std::unordered_map<uint64_t, std::size_t> linkIndices_;
};

// The graph of the caller's pairs, in the word forms of pWKB (may be null). Raises
// VESKOR_ERROR_ARGUMENT_NOT_VALID for the first bad pair, leaving its index in *pBadPair (unless
// null); with lenient, pairs whose words are no words or one word are counted in *pSkipped instead,
// and a repeated pair only raises the weight of the first.
wordAssociatorGraph wordAssociatorInput_fromPairs(const veskorWordPair* pPairs, int pNumberPairs,
                                                  bool lenient, const knowledgeBase* pWKB,
                                                  const char* pFunction, int* pBadPair, int* pSkipped);

// Raises VESKOR_ERROR_OUT_OF_BOUNDS when a word table could not count the words.
void wordAssociatorInput_checkNumberWords(std::size_t pNumberWords, const char* pFunction);
