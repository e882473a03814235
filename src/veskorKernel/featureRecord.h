// Allocation of feature records (the text lives in the record's own block).
#pragma once

#include <string_view>

#include "orlBasics/orlMemory.h"
#include "veskorKernel/featureSpace.h"

namespace veskorKernel {

// A record whose set holds no array yet.
featureRecord* featureRecord_create(std::string_view text);
void featureRecord_free(featureRecord* record) noexcept;
using FeatureRecordPtr = orl::Owned<featureRecord, featureRecord_free>;

}  // namespace veskorKernel
