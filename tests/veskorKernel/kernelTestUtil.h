// Helpers of the kernel tests: raised errors, feature lists, knowledge bases.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orlBasics/orlException.h"
#include "orlBasics/vector.h"
#include "veskorKernel/knowledgeBaseRecord.h"

namespace kerneltest {

struct Raised {
  int32_t group = 0;
  int32_t code = 0;
  std::string text;  // the message without its location suffix
};

template <class F>
Raised raised(F&& f) {
  try {
    f();
  } catch (const orl::Exception& e) {
    std::string message = e.message();
    std::string::size_type suffix = message.find("\nin file \"");
    return {e.group(), e.code(), suffix == std::string::npos ? message : message.substr(0, suffix)};
  }
  return {};
}

#define EXPECT_RAISES(statement, expectedGroup, expectedCode, expectedText) \
  do {                                                                      \
    ::kerneltest::Raised r_ = ::kerneltest::raised([&] { statement; });     \
    EXPECT_EQ(r_.group, expectedGroup) << #statement << ": " << r_.text;    \
    EXPECT_EQ(r_.code, expectedCode) << #statement << ": " << r_.text;      \
    EXPECT_EQ(r_.text, std::string(expectedText)) << #statement;            \
  } while (0)

struct Hit {
  std::string key;
  double confidence;
  bool operator==(const Hit&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Hit& h) {
  return out << h.key << ":" << h.confidence;
}

inline std::vector<Hit> hits(const knowledgeBaseResultList& list) {
  std::vector<Hit> out;
  for (const knowledgeBaseSearchHit& h : list)
    out.push_back({h.primaryKey ? h.primaryKey.get() : "<null>", h.confidence});
  return out;
}

inline std::vector<Hit> find(const knowledgeBase* kb, const char* seek, int32_t n) {
  return hits(knowledgeBase_find(kb, seek, n));
}

inline std::vector<Hit> findByText(const knowledgeBase* kb, const char* seek, int32_t n) {
  return hits(knowledgeBase_findByText(kb, seek, n));
}

// A syntactic feature block of the size knowledge bases use, filled with one byte.
inline std::vector<unsigned char> block(unsigned char fill) {
  return std::vector<unsigned char>(knowledgeBase_numberSyntacticFeatures, fill);
}

}  // namespace kerneltest
