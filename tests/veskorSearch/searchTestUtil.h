// Small document and word knowledge bases for the search tests, built at kernel level.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "veskorKernel/knowledgeBase.h"
#include "veskorSearch/wordFeatures.h"
#include "veskorSearch/wordRegistration.h"

namespace searchtest {

// The feature vectors that word registration writes.
inline std::string plainFeatures() { return std::string(wordFeatures_size, '2'); }
inline std::string capitalisedFeatures() {
  std::string f = plainFeatures();
  f[0] = 'P';
  f[1] = f[3] = f[4] = '\x14';
  return f;
}

// A knowledge base for documents (language German, upper-casing, words) and a word knowledge base
// (upper-cased, framed tuples, feature blocks required), as the API creates them.
inline orl::KnowledgeBasePtr documentKB() { return orl::KnowledgeBasePtr(knowledgeBase_create(1, 2, 2, 2)); }
inline orl::KnowledgeBasePtr wordKB() { return orl::KnowledgeBasePtr(knowledgeBase_create(1, 6, 11, 1)); }

inline void addSentence(knowledgeBase* akb, const std::string& key, const std::string& text) {
  knowledgeBase_addEntry(akb, key.c_str(), text.c_str(), nullptr, 0.0);
}

inline void addWord(knowledgeBase* wkb, const std::string& word, std::string features = plainFeatures()) {
  ASSERT_EQ(registerWord(wkb, word.c_str(), reinterpret_cast<unsigned char*>(features.data())), 1) << word;
}

// Sentence keys as document adding writes them.
inline std::string key(const std::string& document, int sentence, int offset = 0, int length = 10) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "?%06d?%06d?%06d", sentence, offset, length);
  return document + numbers;
}

}  // namespace searchtest
