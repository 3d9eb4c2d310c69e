// TVListBase: what every list offers, its count and the two operations that
// change it.
#pragma once

#include <cstdint>

class TVListBase {
 public:
  virtual ~TVListBase() = default;
  virtual void Clear() = 0;
  virtual void Delete(std::int32_t index) = 0;

  std::int32_t Count = 0;
};
