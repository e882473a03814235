// A one-line progress display on standard error, shown only when standard error is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace veskorcli {

class Progress {
 public:
  // unit names what is counted ("entries"); total is the amount of work in the units given to
  // update's done argument (bytes of input, number of files), or 0 when it is unknown.
  Progress(std::string unit, uint64_t total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // count: items finished so far; done: work finished so far, in the units of total.
  void update(uint64_t count, uint64_t done);
  // Clears the line so that later messages start on a clean one.
  void finish();
  // Clears the line for a message; the next update redraws it.
  void interrupt();
  double elapsedSeconds() const;

 private:
  void draw(uint64_t count, uint64_t done);

  std::string unit_;
  uint64_t total_;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
};

std::string formatDuration(double seconds);

}  // namespace veskorcli
