#include "veskorSearch/kbase_addfile.h"

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "veskorText/abbreviationList.h"
#include "veskorText/documentSentences.h"
#include "veskorSearch/sentenceKey.h"
#include "veskorSearch/wordRegistration.h"

int32_t kbase_addFile(const char* pPrimaryKey, const char* pText, knowledgeBase* pAKB, knowledgeBase* pWKB) {
  if (pPrimaryKey == nullptr || pText == nullptr || pAKB == nullptr) {
    ORL_RAISE(orl::errorGroup::search, 1,
              "pPrimaryKey == NULL || pText == NULL || pAKB == NULL in kbase_addFile()");
  }
  if (!knowledgeBase_getSettings(pAKB).holdsSentences())
    ORL_RAISE(orl::errorGroup::search, 2, "invalid feature type of akb in kbase_addFile()");
  orl::HashPtr abbreviations(createAbbreviationList());
  int32_t stored = cutDocument(pText, abbreviations.get(), [&](const documentSentence& sentence) {
    orl::OwnedText key(sentenceKey_format(pPrimaryKey, sentence.number, sentence.offset, sentence.length));
    knowledgeBase_addEntry(pAKB, key.get(), sentence.text, nullptr, 0.0);
    if (pWKB != nullptr) registerSentenceWords(pWKB, sentence.words, sentence.text);
  });
  return stored + 1;
}
