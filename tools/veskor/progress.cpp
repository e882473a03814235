#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace veskorcli {

namespace {
constexpr auto redrawInterval = std::chrono::milliseconds(100);
constexpr int barWidth = 24;
}  // namespace

std::string formatDuration(double seconds) {
  const long total = std::lround(std::max(0.0, seconds));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

Progress::Progress(std::string unit, uint64_t total)
    : unit_(std::move(unit)),
      total_(total),
      enabled_(isatty(STDERR_FILENO) != 0),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_ - redrawInterval) {}

Progress::~Progress() {
  finish();
}

double Progress::elapsedSeconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Progress::update(uint64_t count, uint64_t done) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < redrawInterval) return;
  lastDraw_ = now;
  draw(count, done);
}

void Progress::draw(uint64_t count, uint64_t done) {
  const double elapsed = elapsedSeconds();
  const double rate = elapsed > 0 ? static_cast<double>(count) / elapsed : 0.0;
  std::string line = "\r";
  line.append(std::to_string(count)).append(" ").append(unit_);
  char part[96];
  std::snprintf(part, sizeof part, "  %.0f/s", rate);
  line += part;
  if (total_ > 0) {
    const double fraction = std::min(1.0, static_cast<double>(done) / static_cast<double>(total_));
    const int filled = static_cast<int>(fraction * barWidth);
    line.append("  [").append(filled, '#').append(barWidth - filled, ' ').append("]");
    std::snprintf(part, sizeof part, " %3.0f%%", fraction * 100);
    line += part;
    if (fraction > 0) line.append("  ").append(formatDuration(elapsed * (1 - fraction) / fraction)).append(" left");
  }
  line += "\033[K";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::interrupt() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
  lastDraw_ = std::chrono::steady_clock::now() - redrawInterval;
}

void Progress::finish() {
  interrupt();
}

}  // namespace veskorcli
