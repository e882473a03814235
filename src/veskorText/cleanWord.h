// Cleans a single word before it is looked up in or added to a word knowledge base.
#pragma once

// A new text (orlFree) with DOS letters converted, one opening ( » " dropped, one inner hyphen
// removed and one closing punctuation, ) or « dropped; null when the word is shorter than two
// bytes before or after, or holds a second hyphen.
char* cleanWord(const char* word);
