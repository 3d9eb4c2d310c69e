#include "inflate/huffman_table.h"

#include <algorithm>

namespace {

// The stream sends a code's highest bit first, so a code's bits, read lowest
// first, are the code reversed.
unsigned Reversed(unsigned code, unsigned length) {
  unsigned reversed = 0;
  for (unsigned i = 0; i < length; ++i, code >>= 1) reversed = reversed << 1 | (code & 1);
  return reversed;
}

}  // namespace

bool THuffmanTable::Build(const unsigned char* lengths, unsigned count, unsigned specialStart,
                          const std::uint32_t* specials, TShape shape) {
  std::uint16_t counts[kMaxLength + 1] = {};
  for (unsigned symbol = 0; symbol < count; ++symbol) ++counts[lengths[symbol]];
  // The codes still free after each length: never fewer than none
  // (over-subscribed), and some at the end only where shape allows it.
  int free = 1;
  unsigned longest = 0;
  for (unsigned length = 1; length <= kMaxLength; ++length) {
    free = 2 * free - counts[length];
    if (free < 0) return false;
    if (counts[length] != 0) longest = length;
  }
  if (free > 0 && (shape == TShape::kComplete || longest > 1)) return false;

  // The used symbols by length, then by value: the order of their codes.
  std::uint16_t next[kMaxLength + 1] = {};
  for (unsigned length = 1; length < kMaxLength; ++length) next[length + 1] = next[length] + counts[length];
  for (unsigned symbol = 0; symbol < count; ++symbol)
    if (const unsigned length = lengths[symbol])
      sorted_[next[length]++] =
          (symbol < specialStart ? symbol << 16 | kLiteral : specials[symbol - specialStart]) | length;
  std::copy(counts, counts + kMaxLength + 1, counts_);

  // A code of up to root bits fills every entry whose low bits it is; a
  // longer one marks the entry of its first root bits.
  const unsigned size = 1u << rootBits_;
  std::fill(entries_, entries_ + size, std::uint32_t{kInvalid});
  unsigned code = 0, index = 0;
  for (unsigned length = 1; length <= kMaxLength; ++length, code <<= 1) {
    for (unsigned i = 0; i < counts[length]; ++i, ++code) {
      const std::uint32_t entry = sorted_[index++];
      if (length <= rootBits_) {
        for (unsigned at = Reversed(code, length); at < size; at += 1u << length) entries_[at] = entry;
      } else {
        entries_[Reversed(code >> (length - rootBits_), rootBits_)] = kLong;
      }
    }
  }
  return true;
}

// Canonical decoding: the codes of one length are consecutive numbers, the
// first of them twice the end of the shorter ones'.
std::uint32_t THuffmanTable::DecodeLong(std::size_t bits) const {
  unsigned code = 0, first = 0, index = 0;
  for (unsigned length = 1; length <= kMaxLength; ++length, bits >>= 1) {
    code |= bits & 1;
    const unsigned count = counts_[length];
    if (code - first < count) return sorted_[index + code - first];
    index += count;
    first = (first + count) << 1;
    code <<= 1;
  }
  return kInvalid;
}
