#include "veskorSearch/associatorWords.h"

#include "orlBasics/orlMemory.h"
#include "veskorKernel/knowledgeBaseText.h"
#include "veskorText/cleanWord.h"
#include "veskorSearch/wordFeatures.h"
#include "veskorSearch/wordRegistration.h"

namespace {

// The settings veskorCreateKBFile gives a word knowledge base: upper-casing (2) and framing with
// "_" (4), key required and features (11), character groups.
constexpr int32_t kWordKBEncoding = 6;
constexpr int32_t kWordKBEntryInformation = 11;

const knowledgeBase* standardWordKB() {
  static const orl::KnowledgeBasePtr kb(knowledgeBase_create(knowledgeBase_languageGerman, kWordKBEncoding,
                                                             kWordKBEntryInformation,
                                                             knowledgeBase_featureTypeTuples));
  return kb.get();
}

}  // namespace

std::string associatorWord_prepare(const char* text) {
  orl::OwnedText cleaned(cleanWord(text));
  if (!cleaned) return {};
  // The features of a word in a text of its own: -1 for anything but letters.
  unsigned char features[wordFeatures_size];
  if (computeWordFeatures(cleaned.get(), cleaned.get(), features) == -1) return {};
  return cleaned.get();
}

std::string associatorWord_storedForm(const knowledgeBase* pWKB, const std::string& prepared) {
  orl::OwnedText form(
      knowledgeBase_preprocessText(pWKB != nullptr ? pWKB : standardWordKB(), prepared.c_str()));
  return form.get();
}

int associatorWord_register(knowledgeBase* pWKB, const std::string& prepared) {
  // A word standing inside a sentence, after a word and a blank, as in a document.
  const std::string sentence = "in " + prepared;
  unsigned char features[wordFeatures_size];
  if (computeWordFeatures(prepared.c_str(), sentence.c_str(), features) == -1) return 0;
  return registerWord(pWKB, prepared.c_str(), features);
}
