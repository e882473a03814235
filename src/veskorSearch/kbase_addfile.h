// Adding a whole document to an application knowledge base (AKB) as one entry per sentence.
#pragma once

#include <cstdint>

#include "veskorKernel/knowledgeBase.h"

// Cuts pText into sentences and adds each with a sentence key (sentenceKey.h) built from
// pPrimaryKey; with a WKB, registers the document's words in it. Returns the number of stored
// sentences plus 1. Group 200: code 1 for a null argument, code 2 for an AKB of odd feature type.
// Sentences stored before a failure stay stored.
int32_t kbase_addFile(const char* pPrimaryKey, const char* pText, knowledgeBase* pAKB, knowledgeBase* pWKB);
