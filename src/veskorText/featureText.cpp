#include "veskorText/featureText.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "orlBasics/orlText.h"
#include "orlBasics/orlThreadLocal.h"
#include "veskorText/featureKey.h"

namespace veskorText {

void cutTuples(std::string_view text, FeatureViews& out) {
  std::size_t length = text.size();
  std::size_t wanted = 0;
  for (std::size_t n = 2; n <= 4; ++n) wanted += length >= n ? length - n + 1 : 0;
  out.reserve(out.size() + wanted);
  for (std::size_t n = 2; n <= 4; ++n) {
    for (std::size_t start = 0; start + n <= length; ++start) out.push_back(text.substr(start, n));
  }
}

void cutWords(std::string_view text, FeatureViews& out) {
  std::size_t length = text.size();
  std::size_t at = 0;
  for (;;) {
    while (at < length && orlIsSpace(text[at])) {
      if (text[at] == '\n') return;
      ++at;
    }
    if (at >= length) return;
    std::size_t start = at;
    while (at < length && !orlIsSpace(text[at])) ++at;
    out.push_back(text.substr(start, at - start));
  }
}

namespace {

struct SeenSlot {
  uint64_t key;
  uint32_t positionPlusOne;  // 0 = free
};

struct DeduplicationScratch {
  std::vector<SeenSlot> seen;
  FeatureViews survivors;
};

}  // namespace

void removeDoubleFeatures(FeatureViews& features) {
  std::size_t n = features.size();
  if (n < 2) return;
  unsigned bits = static_cast<unsigned>(std::bit_width(n * 2 - 1));
  std::size_t mask = (std::size_t{1} << bits) - 1;
  DeduplicationScratch& scratch = orl::threadLocal<DeduplicationScratch>();
  std::vector<SeenSlot>& seen = scratch.seen;
  FeatureViews& survivors = scratch.survivors;
  seen.assign(mask + 1, SeenSlot{0, 0});
  survivors.clear();
  survivors.reserve(n);
  // Walking backwards makes the last of equal features the one that is kept.
  for (std::size_t i = n; i-- > 0;) {
    std::string_view feature = features[i];
    uint64_t key = featureKey(feature);
    bool exact = featureKeyIsExact(key);
    std::size_t slot = featureSlot(key, 64 - bits);
    bool repeated = false;
    while (seen[slot].positionPlusOne != 0) {
      if (seen[slot].key == key && (exact || features[seen[slot].positionPlusOne - 1] == feature)) {
        repeated = true;
        break;
      }
      slot = (slot + 1) & mask;
    }
    if (repeated) continue;
    seen[slot] = SeenSlot{key, static_cast<uint32_t>(i + 1)};
    survivors.push_back(feature);
  }
  std::reverse(survivors.begin(), survivors.end());
  features.swap(survivors);
}

}  // namespace veskorText
