// Request counts and latencies of `veskor serve`, in the Prometheus text format.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace veskorcli::serve {

class Metrics {
 public:
  // One answered request; seconds < 0 when its start was not seen (refused before routing).
  void record(const std::string& endpoint, int status, double seconds);
  // Counters and histograms, each with its HELP and TYPE lines.
  std::string text() const;

 private:
  // Upper bounds in seconds; a lookup takes well under a millisecond, so the buckets are fine there.
  static constexpr std::array<double, 14> bounds = {0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01,
                                                    0.025,  0.05,    0.1,    0.25,  0.5,    1,     2.5};
  struct Histogram {
    std::array<uint64_t, bounds.size()> buckets{};  // not cumulative; text() sums them
    uint64_t count = 0;
    double sum = 0;
  };
  mutable std::mutex mutex_;
  std::map<std::pair<std::string, int>, uint64_t> requests_;
  std::map<std::string, Histogram> latency_;
};

}  // namespace veskorcli::serve
