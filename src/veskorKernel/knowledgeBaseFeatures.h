// The pipeline as adding and finding run it: the stored text, the feature text and its distinct
// features as views into it.
#pragma once

#include "orlBasics/orlMemory.h"
#include "veskorText/featureText.h"

struct knowledgeBase;

namespace veskorKernel {

using FeatureViews = veskorText::FeatureViews;

struct PreparedText {
  orl::OwnedText preprocessed;  // what an entry stores
  orl::OwnedText phonemes;      // set when the features come from phoneme codes
  const char* featureText() const { return phonemes != nullptr ? phonemes.get() : preprocessed.get(); }
};

PreparedText prepareText(const knowledgeBase* kb, const char* text);
// The distinct features of the feature text, in the order a feature list would keep them.
void computeDistinctFeatures(const knowledgeBase* kb, const char* featureText, FeatureViews& out);

}  // namespace veskorKernel
