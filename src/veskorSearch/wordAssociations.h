// Widening a search by the words that the word associator associates with the seek words.
#pragma once

#include <vector>

#include "veskorANN/wordAssociator.h"
#include "veskorKernel/knowledgeBase.h"
#include "veskorSearch/wordCandidate.h"

// Associations above this weight become candidates.
inline constexpr double wordAssociations_minWeight = 0.5;

// Word classes that group seek words for the word associator, read from the feature block of a
// list's first WKB hit. Each of the two sides has a class that completes a group and one that
// leaves it waiting for further words.
enum class associationClass { none, nounLike, verbLike, nounLikeWaiting, verbLikeWaiting };
associationClass wordAssociations_wordClass(const candidateList& list);

// Walks the lists in order, sends each completed group of seek words to the word associator and
// adds the associations that the WKB knows to the list of the word that completed the group.
void wordAssociations_add(std::vector<candidateList>& lists, const knowledgeBase* wkb, const wordAssociator* wa);

// The factor an association weight puts on its candidate's score.
double wordAssociations_scoreFactor(double weight);
