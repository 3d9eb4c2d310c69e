// THuffmanTable: decodes one canonical Huffman code of a deflate stream
// (RFC 1951, 3.2.2) from the stream's next bits, lowest first. A table
// indexed by the next root bits gives every code of up to root bits in one
// look-up; a longer code, rare by its nature, is found bit by bit in
// canonical order. An entry holds what the inflater needs: the code's length
// in bits (bits 0-7), its kind (bits 8-15: the count of extra bits that
// follow a length or distance, or one of the flags below) and its value
// (bits 16-31: a literal byte, a code length, a base length or distance).
#pragma once

#include <cstddef>
#include <cstdint>

class THuffmanTable {
 public:
  static constexpr unsigned kMaxLength = 15;    // the longest code deflate allows
  static constexpr unsigned kMaxSymbols = 288;  // the literal/length alphabet, the largest
  static constexpr unsigned kMaxRootBits = 10;
  static constexpr std::uint32_t kLengthMask = 0xFF;
  static constexpr std::uint32_t kExtraMask = 0xF00;
  static constexpr std::uint32_t kInvalid = 0x1000;  // no code, or a symbol a stream may not use
  static constexpr std::uint32_t kEnd = 0x2000;      // the end of a block
  static constexpr std::uint32_t kLiteral = 0x4000;  // a symbol below specialStart: its own value
  static constexpr std::uint32_t kLong = 0x8000;     // in the table only: a code longer than root bits

  // Which incomplete sets of code lengths Build accepts, as zlib does: none
  // for the code lengths' own code; an empty set or a single one-bit code
  // for the literal/length and distance codes (the bits no code begins with
  // decode as kInvalid).
  enum class TShape { kComplete, kSparse };

  explicit THuffmanTable(unsigned rootBits) : rootBits_(rootBits), mask_((std::size_t{1} << rootBits) - 1) {}

  // Builds the code of the lengths of count symbols (0: unused); a symbol s
  // below specialStart means the literal s, the others specials[s -
  // specialStart]. False for an over-subscribed set of lengths and for an
  // incomplete one that shape refuses; the table is then unusable.
  [[nodiscard]] bool Build(const unsigned char* lengths, unsigned count, unsigned specialStart,
                           const std::uint32_t* specials, TShape shape);
  // The entry of the code that bits begin with (at least kMaxLength of them
  // valid, or zero beyond the stream's end).
  [[gnu::always_inline]] std::uint32_t Decode(std::size_t bits) const {
    const std::uint32_t entry = entries_[bits & mask_];
    return entry & kLong ? DecodeLong(bits) : entry;
  }

 private:
  std::uint32_t DecodeLong(std::size_t bits) const;

  const unsigned rootBits_;
  const std::size_t mask_;
  std::uint16_t counts_[kMaxLength + 1] = {};  // codes of each length
  std::uint32_t sorted_[kMaxSymbols] = {};     // the entries of the used symbols, in the order of their codes
  std::uint32_t entries_[1 << kMaxRootBits] = {};
};
