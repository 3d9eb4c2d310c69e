// TCrc64: the 64-bit CRC of ECMA-182 in its reflected form (polynomial
// 0xC96C5795D7870F42, initial and final value all ones), the check that
// xz writes by default.
#pragma once

#include <cstddef>
#include <cstdint>

class TCrc64 {
 public:
  void Update(const void* data, std::size_t size);
  std::uint64_t Value() const { return ~state_; }

 private:
  std::uint64_t state_ = ~std::uint64_t{0};
};
