// The two scrambling modes of pack entries. Each XORs an entry's bytes with a
// key stream that depends only on the byte's index in the entry, so applying a
// mode twice restores the bytes: the reader and the pack writer share it.
#pragma once

#include <cstddef>
#include <cstdint>

enum ScrambleMode { kStored = 0, kMode1 = 1, kMode2 = 2 };

// TScrambler: one entry's key stream, applied to its bytes in order, in
// pieces of any size: the pieces get the bytes that one pass over the whole
// entry gives. Modes other than 1 and 2 leave the bytes unchanged.
class TScrambler {
 public:
  explicit TScrambler(int mode);
  // Scrambles (or descrambles) the next size bytes of the entry in place.
  void Apply(char* data, std::size_t size);

 private:
  std::uint32_t NextMode2Value();

  int mode_;
  std::size_t key1Index_ = 0;  // the next byte's index modulo the length of mode 1's key
  std::size_t key2Index_ = 0;  // and of mode 2's
  std::uint32_t state_[8];  // the mode-2 generator: all arithmetic on 32 bits
};

// Scrambles (or descrambles) a whole entry of size bytes in place.
void ScrambleBytes(char* data, std::size_t size, int mode);
