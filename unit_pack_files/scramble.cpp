#include "unit_pack_files/scramble.h"

#include <cstring>

namespace {

// The fixed keys of the pack format.
const char kKey1[7] = {'q', 'U', '1', '#', 'l', 'P', '~'};
const char kKey2[22] = {'V', '7', 'K', 'Q', '2', 'M', 'X', '9', 'R', 'T', '4', 'B',
                        'Z', '8', 'N', 'C', '3', 'W', 'H', '6', 'J', 'P'};
const std::uint32_t kSeed[8] = {0x6A09E667u, 0xBB67AE85u, 0x3C6EF372u, 0xA54FF53Au,
                                0x510E527Fu, 0x9B05688Cu, 0x1F83D9ABu, 0x5BE0CD19u};

}  // namespace

TScrambler::TScrambler(int mode) : mode_(mode) { std::memcpy(state_, kSeed, sizeof state_); }

std::uint32_t TScrambler::NextMode2Value() {
  const std::uint32_t a = (state_[2] << 7) + (state_[3] >> 25);
  const std::uint32_t b = (state_[6] << 26) + (state_[7] >> 6);
  for (int i = 7; i > 0; --i) state_[i] = state_[i - 1];
  state_[0] = a ^ b;
  return a ^ b;
}

void TScrambler::Apply(char* data, std::size_t size) {
  if (mode_ == kMode1) {
    for (std::size_t i = 0; i < size; ++i) {
      data[i] ^= kKey1[key1Index_];
      if (++key1Index_ == sizeof kKey1) key1Index_ = 0;
    }
  } else if (mode_ == kMode2) {
    for (std::size_t i = 0; i < size; ++i) {
      data[i] ^= static_cast<char>(kKey2[key2Index_] ^ static_cast<char>(NextMode2Value() & 0xFF));
      if (++key2Index_ == sizeof kKey2) key2Index_ = 0;
    }
  }
}

void ScrambleBytes(char* data, std::size_t size, int mode) { TScrambler(mode).Apply(data, size); }
