// The chain that turns one raw token into the words that are stored and searched: abbreviation
// expansion, hyphen split, HTML entities, trimming and the word test.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kazlib/hash.h"
#include "veskorText/sentenceWord.h"

// Appends the words made from the token (its sentence-ending character already
// removed). The last piece of the token carries endCharacter; all others carry 0. Works on views
// of the token, so a token of any length is handled without copies of bounded buffers.
void prepareWord(sentenceWords& words, const hash_t* abbreviationList, std::string_view token,
                 int32_t endCharacter);

// The maximal runs of bytes other than the delimiter, in order (the text buffer's split rule).
std::vector<std::string_view> splitRuns(std::string_view text, char delimiter);

// The German named entities become two ASCII letters ("&szlig;" -> "sz"); every numeric entity
// "&#...;" becomes one X, and a numeric entity without ';' ends the piece after its X.
std::string replaceHtmlEntities(std::string piece);
// Strips punctuation and guillemets from both ends (white space is kept).
std::string_view trimPunctuation(std::string_view piece);
// A word has at least one ASCII letter and no punctuation other than '-'.
bool isUsableWord(std::string_view piece);
