#include "tar_xz/crc64.h"

#include "rtl/run_once.h"

namespace {

// Computed at first use, in memory (2 KB) rather than in the file.
std::uint64_t table[256];
TRunOnce tableOnce;

void NeedTable() {
  tableOnce.Run([] {
    for (unsigned i = 0; i < 256; ++i) {
      std::uint64_t value = i;
      for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ (value & 1 ? 0xC96C5795D7870F42ull : 0);
      table[i] = value;
    }
  });
}

}  // namespace

void TCrc64::Update(const void* data, std::size_t size) {
  NeedTable();
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) state_ = table[(state_ ^ bytes[i]) & 0xFF] ^ (state_ >> 8);
}
