// veskor build-wa: word associators from a pairs file, a thesaurus or a document knowledge base.
#pragma once

#include <veskor/veskorExt.h>

#include <string>

#include "engine.h"
#include "waSources.h"

namespace veskorcli {

// Builds the word associator out from the pairs (read from input, for messages); wkb, when not
// null, gets every word registered (and is not saved here). A pair the engine refuses is a Failure
// naming its input line.
veskorWABuildInfo buildWordAssociator(const Engine& engine, const std::string& out, const WordPairs& pairs,
                                      const std::string& input, const OpenKb* wkb, int options);

}  // namespace veskorcli
