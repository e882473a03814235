// Known-item document search on real German text: the help pages that bench/helpCorpus.py converts
// (one document per page) and its queries (three content words of one sentence; exact, with one
// typing error per word, lower-cased). For every query set it prints success@1, success@10 and
// MRR@10 of the page the query was drawn from, for the engine's rankings and, when built with
// Xapian, for BM25 with the German stemmer with and without its spelling correction; then the
// latencies (wall clock per query, one thread).
//
//   /usr/bin/python3 bench/helpCorpus.py --out build/bench
//   build/bin/helpEval_bench [--data build/bench] [--tune] [--dump FILE] [--only documented|length-aware]
//
// --tune evaluates the tuning split instead of the evaluation split. --dump writes every hit of
// the documented ranking (keys, confidences, sentences) to FILE, so that two builds can be compared
// byte for byte. --only runs one of the engine's rankings and nothing else (for profiling and for
// timing two builds against each other). The knowledge bases are built once and kept in the data
// folder.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "veskor/veskorAPI.h"
#include "veskor/veskorExt.h"

#ifdef VESKOR_BENCH_XAPIAN
#include <xapian.h>
#endif

namespace {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

constexpr int kDepth = 10;

struct page {
  std::string key;
  std::string text;  // Latin-1
  std::size_t words;
};

struct query {
  std::string set;
  int number;
  std::string key;
  std::string text;  // Latin-1
};

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t at = 0;
  for (std::size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1) {
    fields.push_back(line.substr(at, tab - at));
  }
  fields.push_back(line.substr(at));
  return fields;
}

std::vector<page> readCorpus(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string() + " (run bench/helpCorpus.py first)");
  std::vector<page> pages;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f = splitTabs(line);
    if (f.size() != 2) throw std::runtime_error("bad corpus line in " + file.string());
    std::istringstream words(f[1]);
    std::size_t n = 0;
    for (std::string w; words >> w;) ++n;
    pages.push_back({f[0], f[1], n});
  }
  return pages;
}

std::vector<query> readQueries(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::vector<query> queries;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f = splitTabs(line);
    if (f.size() != 4) throw std::runtime_error("bad query line in " + file.string());
    queries.push_back({f[0], std::stoi(f[1]), f[2], f[3]});
  }
  return queries;
}

void check(int status, const char* what) {
  if (status != VESKOR_OK) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(status));
}

// What one engine gave for one query: keys of the hits, best first.
using ranking = std::vector<std::string>;
using searchFunction = std::function<ranking(const std::string&)>;

struct scores {
  int queries = 0;
  int at1 = 0;
  int at10 = 0;
  double reciprocal = 0;
  int wrongFirst = 0;
  int wrongFirstLonger = 0;  // wrong first hits longer (in words) than the right page
  std::vector<double> milliseconds;
};

struct engine {
  std::string name;
  searchFunction search;
  std::map<std::string, scores> bySet;
  std::vector<double> allMilliseconds;
};

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(at, values.size() - 1)];
}

// ---- Veskor -------------------------------------------------------------------------------------

class veskorCorpus {
 public:
  veskorCorpus(const fs::path& dir, const std::vector<page>& pages) {
    check(veskorInit(), "veskorInit");
    check(veskorOpenConnection(&connection_), "veskorOpenConnection");
    fs::path docs = dir / "help-docs.kb", words = dir / "help-words.kb", corpus = dir / "corpus.tsv";
    bool fresh = fs::exists(docs) && fs::exists(words) && fs::last_write_time(docs) > fs::last_write_time(corpus);
    if (!fresh) {
      check(veskorCreateKBFile(connection_, docs.c_str(), 1, 1, 0), "veskorCreateKBFile");
      check(veskorCreateKBFile(connection_, words.c_str(), 1, 0, 1), "veskorCreateKBFile");
    }
    check(veskorOpenKB(connection_, docs.c_str(), "docs"), "veskorOpenKB");
    check(veskorOpenKB(connection_, words.c_str(), "words"), "veskorOpenKB");
    if (!fresh) {
      auto start = clock_type::now();
      for (const page& p : pages) {
        check(veskorAddDocument(connection_, "words", "docs", p.key.c_str(), p.text.c_str()), "veskorAddDocument");
      }
      check(veskorSaveKB(connection_, "words"), "veskorSaveKB");
      check(veskorSaveKB(connection_, "docs"), "veskorSaveKB");
      std::printf("built the knowledge bases of %zu pages in %.1f s\n", pages.size(),
                  std::chrono::duration<double>(clock_type::now() - start).count());
    }
  }
  ~veskorCorpus() {
    veskorCloseKB(connection_, "docs");
    veskorCloseKB(connection_, "words");
    veskorCloseConnection(connection_);
    veskorCleanup();
  }
  veskorCorpus(const veskorCorpus&) = delete;
  veskorCorpus& operator=(const veskorCorpus&) = delete;

  ranking findDocumented(const std::string& text, std::FILE* dump) const {
    veskorDocumentSearchHits* hits = veskorFindDocument(connection_, "words", "docs", nullptr, kDepth, 0, 0, text.c_str());
    if (hits == nullptr) throw std::runtime_error("veskorFindDocument failed on \"" + text + "\"");
    ranking keys;
    for (int i = 0; i < hits->numberHits; ++i) {
      const veskorDocumentSearchHit& hit = hits->hits[i];
      keys.emplace_back(hit.primaryKey);
      if (dump == nullptr) continue;
      std::fprintf(dump, "  %s %.9g", hit.primaryKey, hit.confidence);
      for (int s = 0; s < hit.numberSentenceHits; ++s) {
        const veskorSentenceSearchHit& sentence = hit.sentenceHits[s];
        std::fprintf(dump, " %d/%d/%.9g", sentence.offset, sentence.length, sentence.confidence);
      }
      std::fputc('\n', dump);
    }
    veskorFreeDocumentSearchHits(connection_, hits);
    return keys;
  }

  ranking findWithOptions(const std::string& text, int rankingOption) const {
    veskorDocumentSearchOptions options{rankingOption};
    veskorTextDocumentSearchHits* hits =
        veskorFindDocumentWithOptions(connection_, "words", "docs", nullptr, kDepth, 0, 0, text.c_str(), &options);
    if (hits == nullptr) throw std::runtime_error("veskorFindDocumentWithOptions failed on \"" + text + "\"");
    ranking keys;
    for (int i = 0; i < hits->numberHits; ++i) keys.emplace_back(hits->hits[i].primaryKey);
    veskorFreeTextDocumentSearchHits(connection_, hits);
    return keys;
  }

 private:
  int connection_ = -1;
};

// ---- BM25 ---------------------------------------------------------------------------------------

#ifdef VESKOR_BENCH_XAPIAN
std::string utf8(const std::string& latin1) {
  std::string out;
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Every page indexed with the German stemmer (stemmed and unstemmed terms, as the term generator
// makes them by default) and with spelling data, in memory; queries parsed with the same stemmer
// and OR between the words, ranked by BM25 with its default parameters. The database is written
// anew into the data folder (the in-memory backend keeps no spelling data).
class bm25Corpus {
 public:
  bm25Corpus(const fs::path& dir, const std::vector<page>& pages)
      : db_((dir / "xapian").string(), Xapian::DB_CREATE_OR_OVERWRITE), stemmer_("german") {
    Xapian::TermGenerator generator;
    generator.set_stemmer(stemmer_);
    generator.set_database(db_);
    generator.set_flags(Xapian::TermGenerator::FLAG_SPELLING);
    for (const page& p : pages) {
      Xapian::Document document;
      generator.set_document(document);
      generator.index_text(utf8(p.text));
      document.set_data(p.key);
      db_.add_document(document);
    }
    db_.commit();
  }

  ranking find(const std::string& text, bool spelling) {
    Xapian::QueryParser parser;
    parser.set_stemmer(stemmer_);
    parser.set_stemming_strategy(Xapian::QueryParser::STEM_SOME);
    parser.set_database(db_);
    std::string seek = utf8(text);
    unsigned flags = Xapian::QueryParser::FLAG_DEFAULT;
    Xapian::Query q = parser.parse_query(seek, spelling ? flags | Xapian::QueryParser::FLAG_SPELLING_CORRECTION : flags);
    if (spelling) {
      std::string corrected = parser.get_corrected_query_string();
      if (!corrected.empty()) q = parser.parse_query(corrected, flags);
    }
    Xapian::Enquire enquire(db_);
    enquire.set_query(q);
    enquire.set_weighting_scheme(Xapian::BM25Weight());
    Xapian::MSet matches = enquire.get_mset(0, kDepth);
    ranking keys;
    for (Xapian::MSetIterator m = matches.begin(); m != matches.end(); ++m) keys.push_back(m.get_document().get_data());
    return keys;
  }

 private:
  Xapian::WritableDatabase db_;
  Xapian::Stem stemmer_;
};
#endif

// ---- Evaluation ---------------------------------------------------------------------------------

void evaluate(engine& e, const std::vector<query>& queries, const std::unordered_map<std::string, std::size_t>& lengths) {
  for (const query& q : queries) {
    auto start = clock_type::now();
    ranking keys = e.search(q.text);
    double ms = std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
    scores& s = e.bySet[q.set];
    ++s.queries;
    s.milliseconds.push_back(ms);
    e.allMilliseconds.push_back(ms);
    for (std::size_t r = 0; r < keys.size() && r < kDepth; ++r) {
      if (keys[r] != q.key) continue;
      if (r == 0) ++s.at1;
      ++s.at10;
      s.reciprocal += 1.0 / static_cast<double>(r + 1);
      break;
    }
    if (!keys.empty() && keys.front() != q.key) {
      ++s.wrongFirst;
      auto wrong = lengths.find(keys.front()), right = lengths.find(q.key);
      if (wrong != lengths.end() && right != lengths.end() && wrong->second > right->second) ++s.wrongFirstLonger;
    }
  }
}

std::string cell(const scores& s) {
  char text[64];
  double n = std::max(s.queries, 1);
  std::snprintf(text, sizeof text, "%.3f / %.3f / %.3f", s.at1 / n, s.at10 / n, s.reciprocal / n);
  return text;
}

void printTable(const std::vector<engine>& engines, const std::vector<std::string>& sets) {
  std::printf("\n| query set |");
  for (const engine& e : engines) std::printf(" %s |", e.name.c_str());
  std::printf("\n|---|");
  for (std::size_t i = 0; i < engines.size(); ++i) std::printf("---|");
  std::printf("\n");
  for (const std::string& set : sets) {
    std::printf("| %s (%d queries) |", set.c_str(), engines.front().bySet.at(set).queries);
    for (const engine& e : engines) std::printf(" %s |", cell(e.bySet.at(set)).c_str());
    std::printf("\n");
  }
  std::printf("| mean / p99 latency (ms) |");
  for (const engine& e : engines) {
    double mean = e.allMilliseconds.empty()
                      ? 0
                      : std::accumulate(e.allMilliseconds.begin(), e.allMilliseconds.end(), 0.0) /
                            static_cast<double>(e.allMilliseconds.size());
    std::printf(" %.3f / %.3f |", mean, percentile(e.allMilliseconds, 0.99));
  }
  std::printf("\n\ncells: success@1 / success@10 / MRR@10 of the page each query was drawn from\n");
  std::printf("wrong first hits that are longer than the right page:\n");
  for (const engine& e : engines) {
    std::printf("  %-28s", e.name.c_str());
    for (const std::string& set : sets) {
      const scores& s = e.bySet.at(set);
      std::printf("  %s %d of %d", set.c_str(), s.wrongFirstLonger, s.wrongFirst);
    }
    std::printf("\n");
  }
}

int run(int argc, char** argv) {
  fs::path data = "build/bench";
  bool tune = false;
  std::string dumpFile;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--data" && i + 1 < argc) {
      data = argv[++i];
    } else if (a == "--tune") {
      tune = true;
    } else if (a == "--dump" && i + 1 < argc) {
      dumpFile = argv[++i];
    } else if (a == "--only" && i + 1 < argc && (std::string(argv[i + 1]) == "documented" ||
                                                 std::string(argv[i + 1]) == "length-aware")) {
      only = argv[++i];
    } else if (a.rfind("--benchmark", 0) == 0) {
      // make bench hands every *_bench the same arguments; this one has no use for them.
    } else {
      std::fprintf(stderr, "usage: %s [--data DIR] [--tune] [--dump FILE] [--only documented|length-aware]\n",
                   argv[0]);
      return 2;
    }
  }
  std::vector<page> pages = readCorpus(data / "corpus.tsv");
  std::vector<query> all = readQueries(data / "queries.tsv");
  std::vector<query> queries;
  std::vector<std::string> sets;
  for (const query& q : all) {
    if ((q.set.rfind("tune-", 0) == 0) != tune) continue;
    if (std::find(sets.begin(), sets.end(), q.set) == sets.end()) sets.push_back(q.set);
    queries.push_back(q);
  }
  std::unordered_map<std::string, std::size_t> lengths;
  std::size_t totalWords = 0;
  for (const page& p : pages) {
    lengths[p.key] = p.words;
    totalWords += p.words;
  }
  std::printf("help pages: %zu documents, %zu words; %zu queries in %zu sets (%s split)\n", pages.size(), totalWords,
              queries.size(), sets.size(), tune ? "tuning" : "evaluation");

  veskorCorpus veskor(data, pages);
  std::FILE* dump = nullptr;
  if (!dumpFile.empty()) {
    dump = std::fopen(dumpFile.c_str(), "w");
    if (dump == nullptr) throw std::runtime_error("cannot write " + dumpFile);
  }
  std::vector<engine> engines;
  engines.push_back({"Veskor documented", [&](const std::string& text) {
                       if (dump != nullptr) std::fprintf(dump, "%s\n", text.c_str());
                       return veskor.findDocumented(text, dump);
                     }, {}, {}});
  engines.push_back({"Veskor length-aware", [&](const std::string& text) {
                       return veskor.findWithOptions(text, VESKOR_RANKING_LENGTH_AWARE);
                     }, {}, {}});
  if (!only.empty()) {
    std::erase_if(engines, [&](const engine& e) { return e.name != "Veskor " + only; });
  }
#ifdef VESKOR_BENCH_XAPIAN
  std::optional<bm25Corpus> bm25;
  if (only.empty()) {
    auto start = clock_type::now();
    bm25.emplace(data, pages);
    std::printf("indexed the pages for BM25 in %.1f s\n",
                std::chrono::duration<double>(clock_type::now() - start).count());
    engines.push_back({"BM25", [&](const std::string& text) { return bm25->find(text, false); }, {}, {}});
    engines.push_back(
        {"BM25 + spelling correction", [&](const std::string& text) { return bm25->find(text, true); }, {}, {}});
  }
#else
  std::printf("built without Xapian: no BM25 comparison (scripts/install-deps --bench installs libxapian-dev)\n");
#endif
  // One untimed pass over a few queries so that the first measured searches do not pay for
  // faulting in the knowledge bases.
  for (engine& e : engines) {
    for (std::size_t i = 0; i < queries.size() && i < 20; ++i) e.search(queries[i].text);
  }
  if (dump != nullptr) std::fprintf(dump, "-- measured\n");
  for (engine& e : engines) evaluate(e, queries, lengths);
  if (dump != nullptr) std::fclose(dump);
  printTable(engines, sets);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "helpEval_bench: %s\n", e.what());
    return 1;
  }
#ifdef VESKOR_BENCH_XAPIAN
  catch (const Xapian::Error& e) {
    std::fprintf(stderr, "helpEval_bench: %s\n", e.get_description().c_str());
    return 1;
  }
#endif
}
