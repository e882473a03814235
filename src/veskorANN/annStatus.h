// Statuses of the network operations. The network reports failures as these values instead of
// raising; the word associator turns them into exceptions (wordAssociator_checkNetworkStatus).
#pragma once

#include <cstdint>

inline constexpr int32_t kAnnOk = 0;
// Invalid name, an instance of another type, or a connection set without a synapse kind.
inline constexpr int32_t kAnnInvalid = -1;
inline constexpr int32_t kNciOutOfMemory = -11;
inline constexpr int32_t kNciNameTaken = -12;
inline constexpr int32_t kNciBadValueType = -13;
inline constexpr int32_t kNciUnknownType = -14;
inline constexpr int32_t kNciUnknownParameter = -15;
inline constexpr int32_t kAnnGeneralFailure = -3001;
inline constexpr int32_t kAnnMissingPart = -3003;
inline constexpr int32_t kAnnNeuronTypeNotFound = -3008;
inline constexpr int32_t kAnnUnknownModel = -3009;
inline constexpr int32_t kAnnLayerOutOfRange = -3011;
inline constexpr int32_t kAnnNeuronTypeOutOfRange = -3017;
// A neuron index outside the state vectors (a connection or a layer cell of an in-memory network).
inline constexpr int32_t kAnnNeuronOutOfRange = -3018;
inline constexpr int32_t kAnnCannotOpen = -3113;
inline constexpr int32_t kAnnNothingToSave = -3114;
inline constexpr int32_t kAnnOutOfMemory = -3116;
inline constexpr int32_t kAnnReadError = -3300;
inline constexpr int32_t kAnnWriteError = -3301;
