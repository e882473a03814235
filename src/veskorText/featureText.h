// Features as views into one feature text: the allocation-free form of the pipeline that adding
// and finding use. The documented feature-list operations are built on the same cuts.
#pragma once

#include <string_view>
#include <vector>

namespace veskorText {

using FeatureViews = std::vector<std::string_view>;

// Tuples of 2, 3 and 4 bytes in text order.
void cutTuples(std::string_view text, FeatureViews& out);
// Words up to the first line feed met between words.
void cutWords(std::string_view text, FeatureViews& out);
// Drops repeated features, keeping the last of equal ones in its place.
void removeDoubleFeatures(FeatureViews& features);

}  // namespace veskorText
