#include "fmix/report/progress.h"

#include <algorithm>
#include <cstdio>

#include "os/os.h"

namespace {

constexpr std::chrono::milliseconds kQuietStart(500);
constexpr std::uint64_t kMegabyte = 1 << 20;

}  // namespace

TProgress::TProgress(bool quiet, std::string label)
    : enabled_(!quiet && os::StandardErrorIsTerminal()), label_(std::move(label)) {}

void TProgress::Start(std::uint64_t size) {
  total_ = size;
  done_ = 0;
  start_ = std::chrono::steady_clock::now();
}

void TProgress::Advance(std::uint64_t bytes) {
  done_ = std::min(total_, done_ + bytes);
  if (!enabled_ || total_ == 0) return;
  const int percent = static_cast<int>(done_ * 100 / total_);
  if (percent == shownPercent_) return;
  if (shownPercent_ < 0 && std::chrono::steady_clock::now() - start_ < kQuietStart) return;
  shownPercent_ = percent;
  Draw();
}

void TProgress::Finish() {
  if (shownPercent_ < 0) return;
  done_ = total_;
  Draw();
  os::WriteStandard(os::Stream::kError, "\n");
  shownPercent_ = -1;
}

void TProgress::Draw() {
  char figures[48];
  std::snprintf(figures, sizeof figures, " %3d%% of %llu MB", static_cast<int>(total_ ? done_ * 100 / total_ : 100),
                static_cast<unsigned long long>(total_ / kMegabyte));
  os::WriteStandard(os::Stream::kError, "\r" + label_ + figures);
}
