#include "veskorSearch/documentRanking.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace {

void appendFormatted(std::string& text, const char* format, auto... values) {
  char piece[128];
  int written = std::snprintf(piece, sizeof piece, format, values...);
  text.append(piece, static_cast<std::size_t>(std::min<int>(written, sizeof piece - 1)));
}

// Contributions by seek-word index, 0 where a word has none.
std::vector<float> denseScores(const std::vector<wordScore>& scores) {
  int32_t highest = -1;
  for (const wordScore& w : scores) highest = std::max(highest, w.wordIndex);
  std::vector<float> dense(static_cast<std::size_t>(highest + 1), 0.0f);
  for (const wordScore& w : scores) dense[static_cast<std::size_t>(w.wordIndex)] = w.contribution;
  return dense;
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
void mergeSentence(documentHit& document, const sentenceHit& sentence) {
  std::vector<float> a = denseScores(document.wordScores);
  std::vector<float> b = denseScores(sentence.wordScores);
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

}  // namespace

std::vector<documentHit> groupSentenceHits(const std::vector<sentenceHit>& sentences) {
  std::vector<documentHit> documents;
  std::unordered_map<std::string, std::size_t> byKey;
  sentenceRecord record;
  for (const sentenceHit& sentence : sentences) {
    if (parseSentenceKey(sentence.primaryKey, &record) == 0) continue;
    float percent = sentence.score * 100;
    auto [position, isNew] = byKey.try_emplace(record.documentKey, documents.size());
    if (isNew) {
      documentHit document{sentence.primaryKey, sentence.score, sentence.wordScores};
      appendFormatted(document.label, " %5.3f", static_cast<double>(percent));
      documents.push_back(std::move(document));
      continue;
    }
    documentHit& document = documents[position->second];
    mergeSentence(document, sentence);
    appendFormatted(document.label, "$%5.3f%c%06d%c%06d%c%06d", static_cast<double>(percent), '?',
                    record.sentenceNumber, '?', record.offset, '?', record.length);
  }
  return documents;
}

std::vector<sentenceRecord> parseDocumentLabel(const std::string& label) {
  std::vector<sentenceRecord> records(1);
  std::size_t keyEnd = parseSentenceKey(label.c_str(), &records.front());
  // "$" may occur in the document key, so the further sentences are looked for after it.
  for (std::size_t at = label.find('$', keyEnd); at != std::string::npos; at = label.find('$', at + 1)) {
    sentenceRecord record;
    if (std::sscanf(label.c_str() + at + 1, "%f?%d?%d?%d", &record.score, &record.sentenceNumber, &record.offset,
                    &record.length) != 4) {
      break;
    }
    record.documentKey = records.front().documentKey;
    records.push_back(std::move(record));
  }
  return records;
}

std::vector<documentResult> rankDocuments(const std::vector<documentHit>& documents, int32_t numberDocuments) {
  struct place {
    float score;
    std::size_t document;
  };
  std::vector<place> places(static_cast<std::size_t>(std::max(numberDocuments, 0)), place{0.0f, 0});
  if (places.empty()) return {};
  for (std::size_t d = 0; d < documents.size() && documents[d].score > 0; ++d) {
    float score = documents[d].score;
    // An equal score enters too: of equal scores the later document ranks first, also when the
    // places are full (top n stays the first n of a longer list).
    if (score < places.back().score) continue;
    std::size_t at = 0;
    while (places[at].score > score) ++at;
    places.pop_back();
    places.insert(places.begin() + static_cast<std::ptrdiff_t>(at), place{score, d});
  }
  std::vector<documentResult> results;
  for (const place& p : places) {
    if (p.score <= 0) break;
    results.push_back({p.score, parseDocumentLabel(documents[p.document].label)});
  }
  return results;
}
