#include "serveMetrics.h"

#include <algorithm>
#include <cstdio>

namespace veskorcli::serve {
namespace {

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

}  // namespace

void Metrics::record(const std::string& endpoint, int status, double seconds) {
  std::lock_guard lock(mutex_);
  ++requests_[{endpoint, status}];
  if (seconds < 0) return;
  Histogram& histogram = latency_[endpoint];
  const auto bucket = std::lower_bound(bounds.begin(), bounds.end(), seconds);
  if (bucket != bounds.end()) ++histogram.buckets[static_cast<size_t>(bucket - bounds.begin())];
  ++histogram.count;
  histogram.sum += seconds;
}

std::string Metrics::text() const {
  std::lock_guard lock(mutex_);
  std::string out =
      "# HELP veskor_http_requests_total Requests answered, by endpoint and HTTP status.\n"
      "# TYPE veskor_http_requests_total counter\n";
  for (const auto& [key, count] : requests_) {
    out += "veskor_http_requests_total{endpoint=\"" + key.first + "\",status=\"" +
           std::to_string(key.second) + "\"} " + std::to_string(count) + "\n";
  }
  out +=
      "# HELP veskor_http_request_duration_seconds Time from routing a request to having sent the answer.\n"
      "# TYPE veskor_http_request_duration_seconds histogram\n";
  for (const auto& [endpoint, histogram] : latency_) {
    const std::string prefix = "veskor_http_request_duration_seconds";
    const std::string label = "endpoint=\"" + endpoint + "\"";
    uint64_t cumulative = 0;
    for (size_t i = 0; i < bounds.size(); ++i) {
      cumulative += histogram.buckets[i];
      out += prefix + "_bucket{" + label + ",le=\"" + number(bounds[i]) + "\"} " +
             std::to_string(cumulative) + "\n";
    }
    out += prefix + "_bucket{" + label + ",le=\"+Inf\"} " + std::to_string(histogram.count) + "\n";
    out += prefix + "_sum{" + label + "} " + number(histogram.sum) + "\n";
    out += prefix + "_count{" + label + "} " + std::to_string(histogram.count) + "\n";
  }
  return out;
}

}  // namespace veskorcli::serve
