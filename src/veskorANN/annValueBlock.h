// Tokens of the network file: names (a length byte, then the bytes) and value blocks (an int32
// count, then that many typed values, each a tag byte giving its value type and the value).
// Stream failures raise as the streams do; registry failures are returned as statuses.
#pragma once

#include <cstdint>

#include "orlBasics/orlIO.h"
#include "orlBasics/orlIO.h"
#include "veskorANN/nciDefinitions.h"

uint8_t annTokens_readByte(orlStream* pInput);
// Reads a name into a text element of kNciTextSize bytes, terminated.
void annTokens_readName(orlStream* pInput, char* pName);
// Writes at most 255 bytes of the text.
void annTokens_writeName(orlStream* pOutput, const char* pName);

// Reads a value block into the instance pInstanceName of type pTypeName, creating the instance
// when needed. Values are matched in order against the type's parameter elements until a tag
// differs from the parameter's value type; values outside a parameter's limits, values for fixed
// parameters and for fixed types are not stored. The whole block is always read, so the tokens
// after it stay in place; a tag outside 0 to 5 gives kNciBadValueType and a count the file cannot
// hold kAnnReadError.
int32_t annValueBlock_read(orlStream* pInput, nciDefinitions* pDefinitions, const char* pInstanceName,
                           const char* pTypeName);
// Writes the values of pData (laid out as pType's data) tagged with their parameters' types.
void annValueBlock_write(orlStream* pOutput, const nciDefinitions* pDefinitions, const nciType* pType,
                         const void* pData);
