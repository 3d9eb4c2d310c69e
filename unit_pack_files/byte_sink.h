// TByteSink: where the pack writer puts a pack's bytes, in order. A sink
// raises when bytes cannot be written.
#pragma once

#include <cstddef>

class TByteSink {
 public:
  virtual void Write(const void* data, std::size_t size) = 0;

 protected:
  ~TByteSink() = default;
};
