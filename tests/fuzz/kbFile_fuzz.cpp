// The knowledge-base file loader on any bytes. A file it accepts must then work like any other:
// searches, adds, deletes, defragmentation, and a save that loads again with the same entries.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzzSupport.h"
#include "orlBasics/orlException.h"
#include "veskorKernel/knowledgeBase.h"

namespace {

void exercise(knowledgeBase* kb) {
  for (const char* seek : {"Haus am See", "a", "STRASSE 12"}) {
    knowledgeBaseResultList hits = knowledgeBase_find(kb, seek, 20);
    knowledgeBaseResultList exact = knowledgeBase_findByText(kb, seek, 20);
    // The hits handed on in place must be the ones the copying search returns.
    std::size_t handedOn = 0;
    knowledgeBase_findEach(kb, seek, 20,
                           [&](std::span<const knowledgeBaseHit> found) { handedOn = found.size(); });
    if (handedOn != hits.size()) __builtin_trap();
  }
  try {
    knowledgeBase_addEntry(kb, "fuzz-key", "Ein neuer Eintrag", nullptr, 0.5);
  } catch (const orl::Exception&) {
    // Settings read from the file may refuse the entry (a key or a feature block required).
  }
  knowledgeBase_deleteEntry(kb, "1", 0);
  knowledgeBase_defragment(kb);
  knowledgeBaseResultList after = knowledgeBase_find(kb, "Eintrag", 20);
  int32_t entries = knowledgeBase_getIndexCount(kb);
  std::string saved = veskorfuzz::scratchFile("saved.kb");
  knowledgeBase_saveAs(kb, saved.c_str());
  orl::KnowledgeBasePtr again(knowledgeBase_createFromFile(saved.c_str()));
  if (knowledgeBase_getIndexCount(again.get()) != entries) __builtin_trap();  // a save lost entries
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::string input = veskorfuzz::scratchFile("input.kb");
  veskorfuzz::writeBytes(input, data, size);
  orl::KnowledgeBasePtr kb;
  try {
    kb.reset(knowledgeBase_createFromFile(input.c_str()));
  } catch (const orl::Exception&) {
    return 0;  // refused: what a corrupt file must get
  }
  try {
    exercise(kb.get());
  } catch (const orl::Exception&) {
    // Settings outside what create allows are taken as stored; some operations then refuse.
  }
  return 0;
}
