// The text pipeline of a knowledge base: preprocessing and phoneme codes (group 20).
#pragma once

struct knowledgeBase;

// Trimmed, white space runs made single blanks, upper-cased (German, encoding flag 2) and framed
// with "_" (tuple knowledge bases, encoding flag 4). Empty text raises code 11.
char* knowledgeBase_preprocessText(const knowledgeBase* pThis, const char* pText);
// Phoneme codes for German, otherwise a copy.
char* knowledgeBase_computePhonemeCodes(const knowledgeBase* pThis, const char* pText);
