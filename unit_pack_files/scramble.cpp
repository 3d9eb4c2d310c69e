#include "unit_pack_files/scramble.h"

#include <cstdint>

#include "velm_stream/tv_memory_stream.h"

namespace {

// The fixed keys of the pack format.
const char kKey1[7] = {'q', 'U', '1', '#', 'l', 'P', '~'};
const char kKey2[22] = {'V', '7', 'K', 'Q', '2', 'M', 'X', '9', 'R', 'T', '4', 'B',
                        'Z', '8', 'N', 'C', '3', 'W', 'H', '6', 'J', 'P'};
const std::uint32_t kSeed[8] = {0x6A09E667u, 0xBB67AE85u, 0x3C6EF372u, 0xA54FF53Au,
                                0x510E527Fu, 0x9B05688Cu, 0x1F83D9ABu, 0x5BE0CD19u};

// The mode-2 generator: eight 32-bit words, all arithmetic on 32 bits.
class Mode2Generator {
 public:
  Mode2Generator() {
    for (int i = 0; i < 8; ++i) s_[i] = kSeed[i];
  }
  std::uint32_t Next() {
    const std::uint32_t a = (s_[2] << 7) + (s_[3] >> 25);
    const std::uint32_t b = (s_[6] << 26) + (s_[7] >> 6);
    for (int i = 7; i > 0; --i) s_[i] = s_[i - 1];
    s_[0] = a ^ b;
    return a ^ b;
  }

 private:
  std::uint32_t s_[8];
};

}  // namespace

void ScrambleBytes(char* data, std::size_t size, int mode) {
  if (mode == kMode1) {
    for (std::size_t i = 0; i < size; ++i) data[i] ^= kKey1[i % 7];
  } else if (mode == kMode2) {
    Mode2Generator generator;
    for (std::size_t i = 0; i < size; ++i)
      data[i] ^= static_cast<char>(kKey2[i % 22] ^ static_cast<char>(generator.Next() & 0xFF));
  }
}

void DescrambleMode1(TVMemoryStream& stream) {
  ScrambleBytes(stream.Memory(), static_cast<std::size_t>(stream.GetSize()), kMode1);
}

void DescrambleMode2(TVMemoryStream& stream) {
  ScrambleBytes(stream.Memory(), static_cast<std::size_t>(stream.GetSize()), kMode2);
}
