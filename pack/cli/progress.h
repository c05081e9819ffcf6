// A progress bar on the terminal for packs that take more than a second;
// nothing at all when standard error is not a terminal.
#pragma once

#include <stdint.h>

#include <chrono>

class Progress {
 public:
  explicit Progress(uint64_t totalBytes);
  ~Progress();  // clears the bar
  void Advance(uint64_t bytes);

 private:
  void Draw();
  void Clear();

  uint64_t total_, done_ = 0;
  bool enabled_, shown_ = false;
  std::chrono::steady_clock::time_point start_, lastDrawn_;
};
