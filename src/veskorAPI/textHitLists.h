// The hit lists of the text finds (veskorExt.h): each list, its hits and their texts in one
// allocation, so that a batch of searches costs one allocation per search and one free.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "veskor/veskorExt.h"
#include "veskorSearch/documentRanking.h"
#include "veskorSearch/kbase_findinfo.h"

// The hits of an entry search: the places before the first without confidence.
std::size_t numberOfEntryHits(const std::optional<std::vector<findEntriesResult>>& results);

// New lists (orlMalloc), released with orlFree. Keys and texts the search has not are "".
veskorTextSearchHits* textEntryHitList(const std::optional<std::vector<findEntriesResult>>& results);
veskorTextDocumentSearchHits* textDocumentHitList(const std::vector<documentResult>& documents);
