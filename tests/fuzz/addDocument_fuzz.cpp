// Any text given to veskorAddDocument: it is cut into sentences and words, stored, and its words
// registered. The document is then searched for and deleted again, so the knowledge bases stay
// small; every few thousand inputs they are made afresh. A text may be refused (a sentence too
// long, no words), never with an unexpected exception.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/apiFixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static int c = veskorfuzz::openEngine();
  static int inputs = 0;
  std::string text = veskorfuzz::textOf(data, size);
  int status = veskorAddDocument(c, "wkb", "dkb", "fuzz", text.c_str());
  if (status == VESKOR_ERROR_FATAL) veskorfuzz::fail("veskorAddDocument", status);
  // The text's beginning, searched for as a document.
  std::string seek = text.substr(0, 64);
  if (veskorDocumentSearchHits* hits = veskorFindDocument(c, "wkb", "dkb", "wa", 10, 1, 1, seek.c_str())) {
    veskorFreeDocumentSearchHits(c, hits);
  } else if (veskorGetLatestErrorCode(c) == VESKOR_ERROR_FATAL) {
    veskorfuzz::fail("veskorFindDocument", VESKOR_ERROR_FATAL);
  }
  veskorfuzz::check(veskorDeleteDocument(c, "dkb", "fuzz"), "veskorDeleteDocument");
  if (++inputs % 4096 == 0) {
    // The word knowledge base keeps every word it was given: start again before it grows large.
    veskorfuzz::check(veskorCleanup(), "veskorCleanup");
    c = veskorfuzz::openEngine();
  }
  return 0;
}
