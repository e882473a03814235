#include "veskorSearch/documentRanking.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "orlBasics/orlThreadLocal.h"
#include "orlBasics/scopeGuard.h"

namespace {

void appendFormatted(std::string& text, const char* format, auto... values) {
  char piece[128];
  int written = std::snprintf(piece, sizeof piece, format, values...);
  text.append(piece, static_cast<std::size_t>(std::clamp<int>(written, 0, sizeof piece - 1)));
}

// Contributions by seek-word index, 0 where a word has none.
void denseScores(const wordScoreList& scores, std::vector<float>& dense) {
  int32_t highest = -1;
  for (const wordScore& w : scores) highest = std::max(highest, w.wordIndex);
  dense.assign(static_cast<std::size_t>(highest + 1), 0.0f);
  for (const wordScore& w : scores) dense[static_cast<std::size_t>(w.wordIndex)] = w.contribution;
}

bool coverSameWords(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] <= 0 || b[i] <= 0) return false;
  }
  return true;
}

// Two sentences of a document that match the same words count once, with the better of them;
// sentences that match different words add up.
// a and b are scratch, handed in so that a grouping allocates them once.
void mergeSentence(documentHit& document, const sentenceHit& sentence, std::vector<float>& a, std::vector<float>& b) {
  denseScores(document.wordScores, a);
  denseScores(sentence.wordScores, b);
  if (coverSameWords(a, b)) {
    if (document.score < sentence.score) {
      document.score = sentence.score;
      for (wordScore& w : document.wordScores) w.contribution = b[static_cast<std::size_t>(w.wordIndex)];
    }
    return;
  }
  std::size_t common = std::min(a.size(), b.size());
  float sumA = 0, sumB = 0;
  for (std::size_t i = 0; i < common; ++i) {
    if (a[i] > 0 && b[i] > 0) {
      sumA += a[i];
      sumB += b[i];
    }
  }
  std::vector<float>& loser = sumB > sumA ? a : b;
  for (std::size_t i = 0; i < common; ++i) {
    if (a[i] > 0 && b[i] > 0) loser[i] = 0;
  }
  document.wordScores.clear();
  float score = 0;
  for (const std::vector<float>* side : {&a, &b}) {
    for (std::size_t i = 0; i < side->size(); ++i) {
      if ((*side)[i] <= 0) continue;
      document.wordScores.push_back({static_cast<int32_t>(i), (*side)[i]});
      score += (*side)[i];
    }
  }
  document.score = score;
}

// "%f?%d?%d?%d" as a formatted read takes it; the end of the text stops the read.
bool parseSegment(const char* at, sentenceRecord* record) {
  char* end = nullptr;
  record->score = std::strtof(at, &end);
  if (end == at) return false;
  for (int32_t* number : {&record->sentenceNumber, &record->offset, &record->length}) {
    if (*end != '?') return false;
    at = end + 1;
    long value = std::strtol(at, &end, 10);
    if (end == at) return false;
    *number = static_cast<int32_t>(value);
  }
  return true;
}

// What parseDocumentLabel(documentLabel(document, sentences)) gives, without writing and reading
// every further sentence's numbers: only its score goes through the three decimals a label keeps.
std::vector<sentenceRecord> documentRecords(const documentHit& document, const std::vector<sentenceHit>& sentences) {
  const sentenceHit& first = sentences[document.sentences.front()];
  std::string head = first.primaryKey;
  appendFormatted(head, " %5.3f", static_cast<double>(first.score * 100));
  std::vector<sentenceRecord> records(1);
  std::size_t keyEnd = parseSentenceKey(head.c_str(), &records.front());
  // A "$" after the first key's document key would be read as the start of a further sentence.
  if (head.find('$', keyEnd) != std::string::npos) return parseDocumentLabel(documentLabel(document, sentences));
  records.reserve(document.sentences.size());
  sentenceRecord parsed{};
  char score[64];
  for (std::size_t i = 1; i < document.sentences.size(); ++i) {
    const sentenceHit& sentence = sentences[document.sentences[i]];
    parseSentenceKey(sentence.primaryKey, &parsed);
    std::snprintf(score, sizeof score, "%5.3f", static_cast<double>(sentence.score * 100));
    sentenceRecord record;
    record.documentKey = records.front().documentKey;
    record.sentenceNumber = parsed.sentenceNumber;
    record.offset = parsed.offset;
    record.length = parsed.length;
    record.score = std::strtof(score, nullptr);
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace

std::vector<documentHit> groupSentenceHits(const std::vector<sentenceHit>& sentences) {
  std::vector<documentHit> documents;
  // Document keys are views into the sentence keys, which outlive the grouping.
  std::unordered_map<std::string_view, std::size_t> byKey;
  std::vector<float> a, b;
  for (std::size_t s = 0; s < sentences.size(); ++s) {
    const sentenceHit& sentence = sentences[s];
    std::optional<std::string_view> documentKey = sentenceKeyDocument(sentence.primaryKey);
    if (!documentKey) continue;
    auto [position, isNew] = byKey.try_emplace(*documentKey, documents.size());
    if (isNew) {
      documents.push_back({sentence.score, sentence.wordScores, {s}});
      continue;
    }
    documentHit& document = documents[position->second];
    mergeSentence(document, sentence, a, b);
    document.sentences.push_back(s);
  }
  return documents;
}

namespace {

struct GroupingScratch {
  std::vector<uint32_t> positionOf;
};

}  // namespace

std::vector<documentHit> groupSentenceHits(const std::vector<sentenceHit>& sentences, const entryDocuments& numbers) {
  const auto covered = static_cast<int32_t>(numbers.documentOf.size());
  for (const sentenceHit& sentence : sentences) {
    if (sentence.index < 0 || sentence.index >= covered) return groupSentenceHits(sentences);
  }
  // Position + 1 of each document met, by document number; kept per thread and cleared for the
  // documents met, also when a merge throws.
  std::vector<uint32_t>& positionOf = orl::threadLocal<GroupingScratch>().positionOf;
  if (positionOf.size() < static_cast<std::size_t>(numbers.numberDocuments)) {
    positionOf.resize(static_cast<std::size_t>(numbers.numberDocuments));
  }
  std::vector<documentHit> documents;
  std::vector<int32_t> met;
  std::vector<float> a, b;
  orl::ScopeGuard clear([&] {
    for (int32_t d : met) positionOf[static_cast<std::size_t>(d)] = 0;
  });
  for (std::size_t s = 0; s < sentences.size(); ++s) {
    const sentenceHit& sentence = sentences[s];
    int32_t d = numbers.documentOf[static_cast<std::size_t>(sentence.index)];
    if (d < 0) continue;
    uint32_t& slot = positionOf[static_cast<std::size_t>(d)];
    if (slot == 0) {
      met.push_back(d);
      documents.push_back({sentence.score, sentence.wordScores, {s}});
      slot = static_cast<uint32_t>(documents.size());
      continue;
    }
    documentHit& document = documents[slot - 1];
    mergeSentence(document, sentence, a, b);
    document.sentences.push_back(s);
  }
  return documents;
}

std::string documentLabel(const documentHit& document, const std::vector<sentenceHit>& sentences) {
  const sentenceHit& first = sentences[document.sentences.front()];
  std::string label = first.primaryKey;
  appendFormatted(label, " %5.3f", static_cast<double>(first.score * 100));
  sentenceRecord record;
  for (std::size_t i = 1; i < document.sentences.size(); ++i) {
    const sentenceHit& sentence = sentences[document.sentences[i]];
    parseSentenceKey(sentence.primaryKey, &record);
    appendFormatted(label, "$%5.3f%c%06d%c%06d%c%06d", static_cast<double>(sentence.score * 100), '?',
                    record.sentenceNumber, '?', record.offset, '?', record.length);
  }
  return label;
}

std::vector<sentenceRecord> parseDocumentLabel(const std::string& label) {
  std::vector<sentenceRecord> records(1);
  std::size_t keyEnd = parseSentenceKey(label.c_str(), &records.front());
  // "$" may occur in the document key, so the further sentences are looked for after it.
  for (std::size_t at = label.find('$', keyEnd); at != std::string::npos; at = label.find('$', at + 1)) {
    sentenceRecord record;
    if (!parseSegment(label.c_str() + at + 1, &record)) break;
    record.documentKey = records.front().documentKey;
    records.push_back(std::move(record));
  }
  return records;
}

std::vector<documentResult> rankDocuments(const std::vector<documentHit>& documents,
                                          const std::vector<sentenceHit>& sentences, int32_t numberDocuments) {
  struct place {
    float score;
    std::size_t document;
  };
  std::vector<place> places(static_cast<std::size_t>(std::max(numberDocuments, 0)), place{0.0f, 0});
  if (places.empty()) return {};
  for (std::size_t d = 0; d < documents.size() && documents[d].score > 0; ++d) {
    float score = documents[d].score;
    // A document must beat the last place to enter; it goes in front of those with its score, so
    // of equal scores the later ranks first while places are free, and the earlier keep theirs
    // once all are taken.
    if (score <= places.back().score) continue;
    std::size_t at = 0;
    while (places[at].score > score) ++at;
    places.pop_back();
    places.insert(places.begin() + static_cast<std::ptrdiff_t>(at), place{score, d});
  }
  std::vector<documentResult> results;
  for (const place& p : places) {
    if (p.score <= 0) break;
    const documentHit& document = documents[p.document];
    results.push_back({p.score, documentRecords(document, sentences)});
    // The label lists the merged sentences in order, so its records line up with them.
    std::vector<sentenceRecord>& records = results.back().sentences;
    for (std::size_t i = 0; i < records.size() && i < document.sentences.size(); ++i) {
      records[i].text = sentences[document.sentences[i]].text;
    }
  }
  return results;
}
