#include "veskorKernel/featureIndex.h"

#include <cstring>

#include "veskorText/featureKey.h"

namespace {

constexpr unsigned kInitialBits = 6;

uint64_t keyOf(const featureRecord* record) {
  return veskorText::featureKey(std::string_view(record->text, static_cast<std::size_t>(record->length)));
}

}  // namespace

std::size_t featureIndex::home(uint64_t key) const noexcept {
  return veskorText::featureSlot(key, 64 - bits_);
}

featureRecord* featureIndex::find(std::string_view text) const noexcept {
  if (slots_.empty()) return nullptr;
  uint64_t key = veskorText::featureKey(text);
  bool exact = veskorText::featureKeyIsExact(key);
  std::size_t mask = slots_.size() - 1;
  for (std::size_t at = home(key);; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (slot.record == nullptr) return nullptr;
    if (slot.key != key) continue;
    if (exact || (static_cast<std::size_t>(slot.record->length) == text.size() &&
                  std::memcmp(slot.record->text, text.data(), text.size()) == 0)) {
      return slot.record;
    }
  }
}

void featureIndex::reserveOneMore() {
  // At most half full: probe runs stay short.
  if ((count_ + 1) * 2 <= slots_.size()) return;
  unsigned bits = slots_.empty() ? kInitialBits : bits_ + 1;
  std::vector<Slot> old(std::size_t{1} << bits, Slot{0, nullptr});
  old.swap(slots_);
  bits_ = bits;
  for (const Slot& slot : old) {
    if (slot.record != nullptr) placeUnchecked(slot.key, slot.record);
  }
}

void featureIndex::placeUnchecked(uint64_t key, featureRecord* record) noexcept {
  std::size_t mask = slots_.size() - 1;
  std::size_t at = home(key);
  while (slots_[at].record != nullptr) at = (at + 1) & mask;
  slots_[at] = Slot{key, record};
}

void featureIndex::insert(featureRecord* record) noexcept {
  placeUnchecked(keyOf(record), record);
  ++count_;
}

void featureIndex::erase(const featureRecord* record) noexcept {
  if (slots_.empty()) return;
  std::size_t mask = slots_.size() - 1;
  std::size_t hole = home(keyOf(record));
  while (slots_[hole].record != record) {
    if (slots_[hole].record == nullptr) return;
    hole = (hole + 1) & mask;
  }
  // Backward shift: move later members of the probe run into the hole so that no look-up stops
  // early at it.
  for (std::size_t next = (hole + 1) & mask; slots_[next].record != nullptr; next = (next + 1) & mask) {
    std::size_t want = home(slots_[next].key);
    bool reachable = hole <= next ? (want <= hole || want > next) : (want <= hole && want > next);
    if (reachable) {
      slots_[hole] = slots_[next];
      hole = next;
    }
  }
  slots_[hole] = Slot{0, nullptr};
  --count_;
}
