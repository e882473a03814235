// Resultset and Resultentry: the ordered, read-only collection that Find fills.
#include <algorithm>
#include <cmath>

#include "component/componentText.h"
#include "veskor/veskorx.hpp"

namespace veskorx {
namespace {

constexpr int32_t kInvalidArgument = 5;
constexpr int32_t kSubscriptOutOfRange = 9;
constexpr int32_t kDuplicateKey = 457;

}  // namespace

void Resultentry::set(std::string key, double confidence) {
  key_ = std::move(key);
  confidence_ = confidence;
}

std::shared_ptr<Resultentry> Resultset::Enumerator::Next() {
  if (position_ >= set_->entries_.size()) return nullptr;
  return set_->entries_[position_++];
}

void Resultset::Enumerator::Skip(std::size_t count) {
  position_ = std::min(set_->entries_.size(), position_ + count);
}

std::shared_ptr<Resultset> Resultset::create() {
  return std::shared_ptr<Resultset>(new Resultset());
}

std::shared_ptr<Resultentry> Resultset::add(const std::string& key, double confidence) {
  std::shared_ptr<Resultentry> entry(new Resultentry());
  entry->set(key, confidence);
  if (!detail::readsAsNumber(key)) {
    bool inserted = keys_.emplace(detail::foldCase(key), entries_.size()).second;
    if (!inserted) {
      throw Error(kDuplicateKey, "Find", "This key is already associated with an element of this collection");
    }
  }
  try {
    entries_.push_back(entry);
  } catch (...) {
    keys_.erase(detail::foldCase(key));
    throw;
  }
  return entry;
}

std::shared_ptr<Resultentry> Resultset::Item(const Variant& vntIndexKey) const {
  switch (vntIndexKey.type()) {
    case Variant::Type::Number:
    case Variant::Type::Boolean: {
      // Positions round half to even, as Basic converts them; True counts as -1.
      double position = vntIndexKey.type() == Variant::Type::Number ? std::nearbyint(vntIndexKey.number())
                                                                    : (vntIndexKey.boolean() ? -1.0 : 0.0);
      if (!(position >= 1.0 && position <= static_cast<double>(entries_.size()))) {
        throw Error(kSubscriptOutOfRange, "Item", "Subscript out of range");
      }
      return entries_[static_cast<std::size_t>(position) - 1];
    }
    case Variant::Type::Text: {
      auto found = keys_.find(detail::foldCase(vntIndexKey.text()));
      if (found == keys_.end()) throw Error(kInvalidArgument, "Item", "Invalid procedure call or argument");
      return entries_[found->second];
    }
    default:
      throw Error(kInvalidArgument, "Item", "Invalid procedure call or argument");
  }
}

}  // namespace veskorx
