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
  uint32_t positionPlusOne;
  uint32_t round;  // the slot is taken in this round only
};

// A table that is never cleared: each call is a new round, and slots of other rounds count as free.
struct SeenTable {
  std::vector<SeenSlot> slots;
  uint32_t round = 0;
};

// Through a call: where the compiler sees the thread-local itself, it recomputes its address (a
// call into the dynamic loader) at uses all over the loop.
[[gnu::noinline]] SeenTable& seenTable() {
  return orl::threadLocal<SeenTable>();
}

}  // namespace

void removeDoubleFeatures(FeatureViews& features) {
  std::size_t n = features.size();
  if (n < 2) return;
  unsigned bits = static_cast<unsigned>(std::bit_width(n * 2 - 1));
  std::size_t mask = (std::size_t{1} << bits) - 1;
  SeenTable& table = seenTable();
  if (table.slots.size() < mask + 1 || ++table.round == 0) {
    table.slots.assign(std::max(table.slots.size(), mask + 1), SeenSlot{0, 0, 0});
    table.round = 1;
  }
  const uint32_t round = table.round;
  SeenSlot* seen = table.slots.data();
  std::string_view* all = features.data();
  // Walking backwards makes the last of equal features the one that is kept. Survivors are
  // written from the back in place: the next one goes at `kept` - 1, never below the feature
  // being read, and the table points at survivors' new places, which stay as written.
  std::size_t kept = n;
  for (std::size_t i = n; i-- > 0;) {
    std::string_view feature = all[i];
    uint64_t key = featureKey(feature);
    bool exact = featureKeyIsExact(key);
    std::size_t slot = featureSlot(key, 64 - bits);
    bool repeated = false;
    while (seen[slot].round == round) {
      if (seen[slot].key == key && (exact || all[seen[slot].positionPlusOne - 1] == feature)) {
        repeated = true;
        break;
      }
      slot = (slot + 1) & mask;
    }
    if (repeated) continue;
    all[--kept] = feature;
    seen[slot] = SeenSlot{key, static_cast<uint32_t>(kept + 1), round};
  }
  std::move(features.begin() + static_cast<std::ptrdiff_t>(kept), features.end(), features.begin());
  features.resize(n - kept);
}

}  // namespace veskorText
