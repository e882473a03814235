#include "veskorText/textTokenReader.h"

#include "orlBasics/orlText.h"

textTokenReader textTokenReader_make(const char* text, std::size_t length, std::size_t maxTokenLength) {
  return textTokenReader{text, length, maxTokenLength > 0 ? maxTokenLength : 1, 0, 0, false};
}

bool textTokenReader_next(textTokenReader* pThis, std::string_view* pToken) {
  while (pThis->position < pThis->length && orlIsSpace(pThis->text[pThis->position])) ++pThis->position;
  if (pThis->position == pThis->length) {
    pThis->atEnd = true;
    return false;
  }
  std::size_t start = pThis->position;
  std::size_t limit =
      pThis->length - start < pThis->maxTokenLength ? pThis->length : start + pThis->maxTokenLength;
  while (pThis->position < limit && !orlIsSpace(pThis->text[pThis->position])) ++pThis->position;
  // A token cut short by the length bound has not looked at the byte after it.
  if (pThis->position == pThis->length && pThis->position - start < pThis->maxTokenLength)
    pThis->atEnd = true;
  pThis->tokenEnd = pThis->position;
  *pToken = std::string_view(pThis->text + start, pThis->position - start);
  return true;
}
