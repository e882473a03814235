// Open-addressing table from feature text to feature record: the look-up behind adding and
// searching. Short features (the 2- to 4-byte tuples) are compared as one integer.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "veskorKernel/featureSpace.h"

class featureIndex {
 public:
  featureRecord* find(std::string_view text) const noexcept;
  // Makes room so that the next insert cannot fail.
  void reserveOneMore();
  // The record's text must not be present; room must have been reserved.
  void insert(featureRecord* record) noexcept;
  void erase(const featureRecord* record) noexcept;
  std::size_t size() const noexcept { return count_; }

 private:
  struct Slot {
    uint64_t key;
    featureRecord* record;  // null = free
  };
  std::size_t home(uint64_t key) const noexcept;
  void placeUnchecked(uint64_t key, featureRecord* record) noexcept;

  std::vector<Slot> slots_;
  std::size_t count_ = 0;
  unsigned bits_ = 0;
};
