// TRunOnce: runs a computation once, for the first caller of any thread; a
// caller that meets it meanwhile waits the few microseconds it takes. The
// checksums build their tables with it at first use, in memory rather than
// in the file. It needs no lock, so no threading runtime is linked, and its
// constant initial state needs no start-up code.
#pragma once

#include <atomic>

class TRunOnce {
 public:
  template <class Compute>
  void Run(Compute compute) {
    if (state_.load(std::memory_order_acquire) == kReady) return;
    int expected = kAbsent;
    if (!state_.compare_exchange_strong(expected, kComputing, std::memory_order_acquire)) {
      while (state_.load(std::memory_order_acquire) != kReady) {
      }
      return;
    }
    compute();
    state_.store(kReady, std::memory_order_release);
  }

 private:
  enum : int { kAbsent, kComputing, kReady };
  std::atomic<int> state_{kAbsent};
};
