// An entry or seek text as a knowledge base stores it and cuts it into features.
#pragma once

// A new text (orlMalloc): without leading and trailing white space, every run of white space made
// one blank ("_" when framed), upper-cased by the German rule when asked, and framed with "_" when
// asked. Null when nothing but white space is left.
char* normaliseEntryText(const char* text, bool upperCase, bool framed);
