// Division of 64-bit values by small divisors in 32-bit steps, so that the
// shipped parts link none of the runtime's 64-bit division routines.
#pragma once

#include <cstdint>

namespace rtl {

// value / divisor, with the remainder in *rest when given; divisor from 1 to
// 65,535, so that each step's partial dividend fits in 32 bits.
inline std::uint64_t DivideSmall(std::uint64_t value, std::uint32_t divisor, std::uint32_t* rest = nullptr) {
  std::uint64_t quotient = 0;
  std::uint32_t remainder = 0;
  for (int shift = 48; shift >= 0; shift -= 16) {
    const std::uint32_t part = remainder << 16 | static_cast<std::uint32_t>(value >> shift & 0xFFFF);
    quotient |= static_cast<std::uint64_t>(part / divisor) << shift;
    remainder = part % divisor;
  }
  if (rest) *rest = remainder;
  return quotient;
}

}  // namespace rtl
