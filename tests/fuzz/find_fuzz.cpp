// Any seek text given to the find functions. The first byte picks the function and its options,
// the rest is the text: entries or sentences by veskorFindEntry, documents by veskorFindDocument,
// or a whole text compared with veskorCompareDocument. A text may be refused (blank, too long),
// never with an unexpected exception, and a list that comes back must be well formed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/apiFixture.h"

namespace {

void checkEntries(int c, veskorSearchHits* hits, int wanted) {
  if (hits == nullptr) {
    if (veskorGetLatestErrorCode(c) == VESKOR_ERROR_FATAL) veskorfuzz::fail("veskorFindEntry", -1);
    return;
  }
  if (hits->numberHits < 0 || hits->numberHits > wanted) __builtin_trap();
  for (int i = 0; i < hits->numberHits; ++i) {
    double confidence = hits->hits[i].confidence;
    if (hits->hits[i].primaryKey == nullptr || !(confidence > 0 && confidence <= 1.0)) __builtin_trap();
    (void)std::strlen(hits->hits[i].primaryKey);
  }
  veskorFreeSearchHits(c, hits);
}

void checkDocuments(int c, veskorDocumentSearchHits* hits, int wanted) {
  if (hits == nullptr) {
    if (veskorGetLatestErrorCode(c) == VESKOR_ERROR_FATAL) veskorfuzz::fail("document search", -1);
    return;
  }
  if (hits->numberHits < 0 || hits->numberHits > wanted) __builtin_trap();
  for (int i = 0; i < hits->numberHits; ++i) {
    const veskorDocumentSearchHit& d = hits->hits[i];
    if (d.primaryKey == nullptr || d.numberSentenceHits < 0) __builtin_trap();
    for (int s = 0; s < d.numberSentenceHits; ++s) {
      if (d.sentenceHits[s].offset < 0 || d.sentenceHits[s].length < 0) __builtin_trap();
    }
  }
  veskorFreeDocumentSearchHits(c, hits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const int c = veskorfuzz::openEngine();
  if (size == 0) return 0;
  uint8_t options = data[0];
  std::string text = veskorfuzz::textOf(data + 1, size - 1);
  int association = (options >> 2) & 1;
  int split = (options >> 3) & 1;
  int wanted = 1 + (options >> 4) * 30;
  switch (options & 3) {
    case 0:
      checkEntries(c, veskorFindEntry(c, "wkb", "akb", "wa", wanted, association, split, text.c_str()),
                   wanted);
      break;
    case 1:
      checkEntries(c, veskorFindEntry(c, "wkb", "dkb", "wa", wanted, association, split, text.c_str()),
                   wanted);
      break;
    case 2:
      checkDocuments(c, veskorFindDocument(c, "wkb", "dkb", "wa", wanted, association, split, text.c_str()),
                     wanted);
      break;
    default:
      checkDocuments(c, veskorCompareDocument(c, "wkb", "dkb", wanted, text.c_str()), wanted);
      break;
  }
  return 0;
}
