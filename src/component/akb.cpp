// AKB: entries, saving and searching of one loaded application knowledge base.
#include <exception>

#include "component/componentText.h"
#include "component/engineBinding.h"
#include "component/moduleState.h"
#include "veskor/componentAPI.h"
#include "veskor/veskorx.hpp"

namespace veskorx {
namespace {

constexpr int32_t kMaxResults = 500;
constexpr int32_t kStatusKeyNotValid = 10;
constexpr int32_t kStatusEntryNotValid = 11;

}  // namespace

AKB::AKB(std::shared_ptr<detail::ModuleState> state, std::shared_ptr<detail::KBInfo> akb,
         std::shared_ptr<detail::KBInfo> wkb)
    : state_(std::move(state)), akbInfo_(std::move(akb)), wkbInfo_(std::move(wkb)) {
  state_->objectCreated();
}

AKB::~AKB() {
  constexpr const char* source = "AKBUnLoad";
  if (state_->initialized) {
    // Both records are released even when closing the first fails; every failed close is kept.
    for (auto* release : {&akbInfo_, &wkbInfo_}) {
      detail::KBList& list = release == &akbInfo_ ? state_->akbList : state_->wkbList;
      try {
        int status = state_->releaseKB(list, **release, source);
        if (status != 0) state_->deferError(Error::fromStatus(status, source));
      } catch (...) {
        state_->deferCurrentException(source);
      }
    }
  }
  state_->objectEnded();
}

std::string AKB::AKBFilename() const {
  return akbInfo_->KBFilename;
}

bool AKB::Modified() const {
  return akbInfo_->KBModified;
}

void AKB::MaxResults(int32_t value) {
  if (value <= 0) return;
  maxResults_ = value > kMaxResults ? kMaxResults : value;
}

void AKB::MinConfidence(double value) {
  if (value >= 0.0 && value <= 1.0) minConfidence_ = value;
}

void AKB::MaxDifference(double value) {
  if (value >= 0.0 && value <= 1.0) maxDifference_ = value;
}

void AKB::Delete(const std::string& Key) {
  constexpr const char* source = "Delete";
  int status =
      detail::engine::fnDeleteEntry(state_->connection, akbInfo_->KBName, detail::keyToEngine(Key), source);
  if (status != 0) throw Error::fromStatus(status, source);
  akbInfo_->KBModified = true;
}

void AKB::Insert(const std::string& Key, const Variant& Value) {
  add(Key, Value, false);
}

void AKB::Update(const std::string& Key, const Variant& Value) {
  add(Key, Value, true);
}

void AKB::add(const std::string& key, const Variant& value, bool update) {
  constexpr const char* source = "KBAdd";
  std::string engineKey = detail::keyToEngine(key);
  std::string text = detail::entryText(value, source);
  if (text.empty()) throw Error::fromStatus(kStatusEntryNotValid, source);
  if (engineKey.empty()) throw Error::fromStatus(kStatusKeyNotValid, source);
  int status = update ? detail::engine::fnUpdateEntry(state_->connection, wkbInfo_->KBName, akbInfo_->KBName,
                                                      engineKey, text, source)
                      : detail::engine::fnAddEntry(state_->connection, wkbInfo_->KBName, akbInfo_->KBName,
                                                   engineKey, text, source);
  if (status != 0) throw Error::fromStatus(status, source);
  akbInfo_->KBModified = true;
}

void AKB::Save() {
  constexpr const char* source = "Save";
  if (!akbInfo_->KBModified || !state_->initialized) return;
  int status = detail::engine::fnSaveKB(state_->connection, akbInfo_->KBName, source);
  // Cleared whatever the outcome: a failed save is reported once, not on every later Save.
  akbInfo_->KBModified = false;
  if (status != 0) throw Error::fromStatus(status, source);
}

std::shared_ptr<Resultset> AKB::Find(std::string SearchString) {
  constexpr const char* source = "Find";
  std::shared_ptr<Resultset> result = Resultset::create();
  std::string searchText = detail::trimSpaces(SearchString);
  if (searchText.empty()) return result;

  void* hitList = nullptr;
  int numberHits = 0;
  int status = detail::engine::fnSearch(state_->connection, wkbInfo_->KBName, akbInfo_->KBName, maxResults_,
                                        0, searchText, &hitList, &numberHits, source);
  if (status != 0) throw Error::fromStatus(status, source);
  try {
    // Sized for the longest key the engine stores, not only for those added through this layer.
    char key[VESKOR_FN_KEY_BUFFER_SIZE];
    double best = 0.0;
    for (int i = 0; i < numberHits; ++i) {
      double confidence = 0.0;
      int reserved = 0;
      key[0] = 0;
      detail::engine::fnGetSearchHit(state_->connection, hitList, i, key, &confidence, &reserved, source);
      if (i == 0) best = confidence;
      if (!(confidence >= minConfidence_) || best - confidence > maxDifference_) break;
      result->add(detail::keyFromEngine(key), confidence);
    }
  } catch (...) {
    // The list is given back before the reading failure reaches the client.
    if (hitList != nullptr) {
      try {
        detail::engine::fnFreeSearchHits(state_->connection, hitList, source);
      } catch (...) {
      }
    }
    throw;
  }
  if (hitList != nullptr) {
    status = detail::engine::fnFreeSearchHits(state_->connection, hitList, source);
    if (status != 0) throw Error::fromStatus(status, source);
  }
  return result;
}

}  // namespace veskorx
