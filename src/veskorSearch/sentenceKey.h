// Primary keys of the sentence entries of a document: the document key, then "?", the sentence
// number, "?", the start offset and "?", the length, each number zero-padded to at least six
// digits. Document searches and deletions read documents back by this form.
#pragma once

#include <cstddef>
#include <cstdint>

// A new text (orlFree).
char* sentenceKey_format(const char* documentKey, int32_t sentenceNumber, std::size_t offset,
                         std::size_t length);
