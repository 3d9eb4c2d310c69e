#include "rtl/crc32.h"

#include "rtl/run_once.h"

namespace {

// Slicing by 16: table k gives the CRC of a byte followed by k zero bytes,
// so that 16 bytes take 16 look-ups that do not wait for one another.
constexpr unsigned kSlices = 16;
std::uint32_t tables[kSlices][256];
TRunOnce tablesOnce;

void NeedTables() {
  tablesOnce.Run([] {
    for (unsigned byte = 0; byte < 256; ++byte) {
      std::uint32_t value = byte;
      for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ (value & 1 ? 0xEDB88320u : 0);
      tables[0][byte] = value;
    }
    for (unsigned slice = 1; slice < kSlices; ++slice)
      for (unsigned byte = 0; byte < 256; ++byte)
        tables[slice][byte] = (tables[slice - 1][byte] >> 8) ^ tables[0][tables[slice - 1][byte] & 0xFF];
  });
}

}  // namespace

void TCrc32::Update(const void* data, std::size_t size) {
  NeedTables();
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::uint32_t state = state_;
  for (; size >= kSlices; size -= kSlices, bytes += kSlices) {
    // The twelve bytes that the state does not reach first, so that they
    // need not wait for it.
    std::uint32_t next = 0;
#pragma GCC unroll 12
    for (unsigned i = 4; i < kSlices; ++i) next ^= tables[kSlices - 1 - i][bytes[i]];
#pragma GCC unroll 4
    for (unsigned i = 0; i < 4; ++i) next ^= tables[kSlices - 1 - i][(state >> (8 * i) ^ bytes[i]) & 0xFF];
    state = next;
  }
  for (; size > 0; --size) state = (state >> 8) ^ tables[0][(state ^ *bytes++) & 0xFF];
  state_ = state;
}

std::uint32_t TCrc32::Of(const void* data, std::size_t size) {
  TCrc32 crc;
  crc.Update(data, size);
  return crc.Value();
}
