// Load on `veskor serve`: 20,000 find requests (top 10, one misspelt word each) from 16 concurrent
// clients, each on its own keep-alive connection, against a knowledge base of the 356,010 words of
// the German word list, on the loopback address. Reports throughput and latency percentiles as
// the clients see them; any failed request makes the run fail.
//
//   build/bin/serve_load_bench [REQUESTS [CLIENTS]]      (arguments of Google Benchmark are ignored)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "germanWordList.h"
#include "serve/serveProcess.h"
#include "support/tempDir.h"
#include "veskor/veskorAPI.h"

namespace {

using Clock = std::chrono::steady_clock;

void check(int status, const char* what) {
  if (status != VESKOR_OK)
    throw std::runtime_error(std::string(what) + " failed with status " + std::to_string(status));
}

std::string percentEncodedUtf8(const std::string& latin1) {
  static const char* const hex = "0123456789ABCDEF";
  std::string out;
  const auto byte = [&](unsigned char b) {
    out += '%';
    out += hex[b >> 4];
    out += hex[b & 15];
  };
  for (const char c : latin1) {
    const auto b = static_cast<unsigned char>(c);
    if (std::isalnum(b) && b < 0x80) {
      out += c;
    } else if (b < 0x80) {
      byte(b);
    } else {
      byte(static_cast<unsigned char>(0xC0 | (b >> 6)));
      byte(static_cast<unsigned char>(0x80 | (b & 0x3F)));
    }
  }
  return out;
}

// Builds the knowledge base through the engine's API (key and text: the word) and returns seek
// texts: every 17th word with two letters in its middle swapped, a typing slip.
std::vector<std::string> buildKnowledgeBase(const std::string& fileName, size_t& entries) {
  const std::vector<std::string> words = veskorbench::loadGermanWordList();
  if (words.empty())
    throw std::runtime_error("/usr/share/dict/ngerman is not installed (make bench installs it)");
  check(veskorInit(), "veskorInit");
  int connection = -1;
  check(veskorOpenConnection(&connection), "veskorOpenConnection");
  check(veskorCreateKBFile(connection, fileName.c_str(), 1, 0, 0), "veskorCreateKBFile");
  check(veskorOpenKB(connection, fileName.c_str(), "ngerman"), "veskorOpenKB");
  std::vector<std::string> seeks;
  entries = 0;
  for (std::string word : words) {
    const int status = veskorAddEntry(connection, nullptr, "ngerman", word.c_str(), word.c_str());
    if (status == VESKOR_ERROR_ENTRY_NOT_VALID) continue;  // digits or punctuation only
    check(status, "veskorAddEntry");
    if (entries++ % 17 == 0 && word.size() >= 4) {
      std::swap(word[word.size() / 2], word[word.size() / 2 - 1]);
      seeks.push_back(word);
    }
  }
  check(veskorSaveKB(connection, "ngerman"), "veskorSaveKB");
  veskorCloseKB(connection, "ngerman");
  veskorCloseConnection(connection);
  veskorCleanup();
  return seeks;
}

double percentile(const std::vector<double>& sorted, double share) {
  const size_t index =
      std::min(sorted.size() - 1, static_cast<size_t>(share * static_cast<double>(sorted.size())));
  return sorted[index];
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]).rfind("--", 0) != 0) positional.push_back(argv[i]);
  }
  const int requests = positional.size() > 0 ? std::atoi(positional[0].c_str()) : 20000;
  const int clients = positional.size() > 1 ? std::atoi(positional[1].c_str()) : 16;
  if (requests < 1 || clients < 1 || clients > 256) {
    std::fprintf(stderr, "usage: serve_load_bench [REQUESTS [CLIENTS (1 to 256)]]\n");
    return 2;
  }
  try {
    veskortest::TempDir dir;
    size_t entries = 0;
    const auto buildStart = Clock::now();
    const std::vector<std::string> seeks = buildKnowledgeBase(dir.file("ngerman.kb"), entries);
    const double buildSeconds = std::chrono::duration<double>(Clock::now() - buildStart).count();

    servetest::ServeProcess server(dir.path().string(),
                                   {"ngerman.kb", "--read-only", "--threads", std::to_string(clients)});
    std::vector<std::string> paths;
    for (const std::string& seek : seeks)
      paths.push_back("/v1/kbs/ngerman/find?n=10&q=" + percentEncodedUtf8(seek));

    // One untimed pass over a few hundred seek texts warms the caches.
    {
      const auto client = server.client();
      for (size_t i = 0; i < 300 && i < paths.size(); ++i) client->Get(paths[i]);
    }

    std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
    std::atomic<int> next{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (int c = 0; c < clients; ++c) {
      threads.emplace_back([&, c] {
        const auto client = server.client();
        client->set_keep_alive(true);
        std::vector<double>& mine = latencies[static_cast<size_t>(c)];
        for (int i = next++; i < requests; i = next++) {
          const auto sent = Clock::now();
          const auto result = client->Get(paths[static_cast<size_t>(i) % paths.size()]);
          mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
          if (!result || result->status != 200 ||
              nlohmann::json::parse(result->body, nullptr, false)
                  .value("hits", nlohmann::json::array())
                  .empty()) {
            ++failed;
          }
        }
      });
    }
    for (auto& thread : threads) thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const int exitCode = server.stop();

    std::vector<double> all;
    for (const auto& list : latencies) all.insert(all.end(), list.begin(), list.end());
    std::sort(all.begin(), all.end());
    std::printf(
        "veskor serve under load: %d find requests (top 10, one misspelt word) from %d concurrent clients,\n"
        "each on a keep-alive connection to 127.0.0.1; server --threads %d, %u cores\n",
        requests, clients, clients, std::thread::hardware_concurrency());
    std::printf("knowledge base: %zu words of the German word list (built and saved in %.1f s)\n", entries,
                buildSeconds);
    std::printf(
        "throughput %.0f requests/s (%.2f s); latency p50 %.3f ms, p99 %.3f ms, max %.3f ms; failed %d\n",
        static_cast<double>(requests) / seconds, seconds, percentile(all, 0.50), percentile(all, 0.99),
        all.back(), failed.load());
    if (exitCode != 0) {
      std::fprintf(stderr, "veskor serve ended with exit code %d: %s\n", exitCode, server.errors().c_str());
      return 1;
    }
    return failed == 0 ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "serve_load_bench: %s\n", error.what());
    return 1;
  }
}
