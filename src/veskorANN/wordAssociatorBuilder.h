// Making a word associator from weighted links between words: one layer of CCM neurons, one neuron
// per word, every link a pair of excitatory connections (one each way). The neuron type and the
// weights are chosen so that the search's single update step from a query word of activity 1 gives
// a linked word the activity x / (x + 0.1), where x is the link's weight relative to the strongest
// link of the associator (0 < x <= 1), and gives every word without a link to it nothing; with more
// steps, active neurons tire and the network settles (docs/WORD_ASSOCIATORS.md).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "veskorANN/annNetwork.h"

struct wordAssociatorLink {
  int32_t first;  // indices into the word list, different
  int32_t second;
  double weight;  // above 0, finite; relative to the other links
};

// The words a word associator can hold: its word table counts them in an int32.
inline constexpr std::size_t wordAssociatorBuilder_maxWords = 2147483647;

// The parameters of the neuron type a built word associator carries.
annNeuronTypeParameters wordAssociatorBuilder_neuronType();
// The activity that one update step gives a word linked with relative weight x to a query word of
// activity 1.
float wordAssociatorBuilder_activity(float relativeWeight);

// Writes the word associator F: F, F.v1.net and F.v1.tab. Word i becomes neuron i; the words must
// be distinct and not empty, each link must join two different words, and no pair may be linked
// twice (group 16 code 1 otherwise; more than wordAssociatorBuilder_maxWords words: code 10).
// All three files are written and synced under temporary names first; pBeforeReplace (may be
// empty) runs then, before any file of F is replaced. When anything fails, or pBeforeReplace
// raises, no file of F is left changed: files of F already replaced are removed.
void wordAssociator_build(const char* pFileName, const std::vector<std::string>& pWords,
                          const std::vector<wordAssociatorLink>& pLinks,
                          const std::function<void()>& pBeforeReplace);
