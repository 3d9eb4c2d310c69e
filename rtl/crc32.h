// TCrc32: the CRC-32 of ZIP and xz (ISO-HDLC: the reflected polynomial
// 0xEDB88320, initial and final value all ones). Its tables are computed at
// first use, in memory (16 KB) rather than in the file.
#pragma once

#include <cstddef>
#include <cstdint>

class TCrc32 {
 public:
  void Update(const void* data, std::size_t size);
  std::uint32_t Value() const { return ~state_; }
  // The CRC-32 of size bytes at data.
  static std::uint32_t Of(const void* data, std::size_t size);

 private:
  std::uint32_t state_ = ~std::uint32_t{0};
};
