#include "pack/cli/progress.h"

#include <stdio.h>
#include <unistd.h>

namespace {

const auto kQuietStart = std::chrono::seconds(1);
const auto kRedrawEvery = std::chrono::milliseconds(100);
const int kWidth = 30;

}  // namespace

Progress::Progress(uint64_t totalBytes)
    : total_(totalBytes), enabled_(isatty(STDERR_FILENO) != 0), start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() { Clear(); }

void Progress::Advance(uint64_t bytes) {
  done_ += bytes;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - start_ < kQuietStart || (shown_ && now - lastDrawn_ < kRedrawEvery)) return;
  lastDrawn_ = now;
  Draw();
}

void Progress::Draw() {
  const double share = total_ == 0 ? 1.0 : static_cast<double>(done_) / static_cast<double>(total_);
  const int filled = static_cast<int>(share * kWidth);
  char bar[kWidth + 1];
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
  bar[kWidth] = '\0';
  fprintf(stderr, "\rpacking [%s] %3d%%  %.1f of %.1f MiB", bar, static_cast<int>(share * 100),
          static_cast<double>(done_) / 1048576.0, static_cast<double>(total_) / 1048576.0);
  fflush(stderr);
  shown_ = true;
}

void Progress::Clear() {
  if (!shown_) return;
  fprintf(stderr, "\r%*s\r", kWidth + 40, "");
  fflush(stderr);
  shown_ = false;
}
