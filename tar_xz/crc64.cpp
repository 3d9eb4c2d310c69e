#include "tar_xz/crc64.h"

namespace {

struct TTable {
  std::uint64_t entries[256];
};

// Computed at compile time: no initialisation at run time, no guard.
constexpr TTable MakeTable() {
  TTable table{};
  for (std::uint64_t i = 0; i < 256; ++i) {
    std::uint64_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ (value & 1 ? 0xC96C5795D7870F42ull : 0);
    table.entries[i] = value;
  }
  return table;
}

constexpr TTable kTable = MakeTable();

}  // namespace

void TCrc64::Update(const void* data, std::size_t size) {
  const std::uint64_t* table = kTable.entries;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) state_ = table[(state_ ^ bytes[i]) & 0xFF] ^ (state_ >> 8);
}
