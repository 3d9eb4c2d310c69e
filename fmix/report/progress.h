// TProgress: a line on stderr that shows how far long work has come, as
// "fmix setup: zipping the payload  37% of 256 MB", redrawn in place.
// It appears only on a terminal, only without --quiet and only once the work
// has run for half a second, so that short runs and scripts see nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class TProgress {
 public:
  // label names the work; quiet (--quiet) keeps the line from showing.
  TProgress(bool quiet, std::string label);

  // Work on size bytes.
  void Start(std::uint64_t size);
  void Advance(std::uint64_t bytes);
  // Ends the line, when one was drawn.
  void Finish();

 private:
  void Draw();

  bool enabled_;
  std::string label_;
  std::uint64_t total_ = 0;
  std::uint64_t done_ = 0;
  int shownPercent_ = -1;
  std::chrono::steady_clock::time_point start_;
};
