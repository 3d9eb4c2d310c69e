#include "inflate/inflater.h"

#include <algorithm>
#include <cstring>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the bit buffer loads words of the stream as they lie");

namespace {

using TBits = std::size_t;
using THuffman = THuffmanTable;
constexpr unsigned kWordBits = sizeof(TBits) * 8;
constexpr std::size_t kWindowSize = 32768;  // the farthest a match reaches back
constexpr std::size_t kOutputSize = 65536;  // bytes made between two flushes, at least
constexpr std::size_t kMaxMatch = 258;
constexpr std::size_t kCopySlack = 8;  // a match's copy writes up to this many bytes beyond it
constexpr std::size_t kInputSize = 65536;
// The decoding loop reads up to kMargin bytes ahead of in_; where the input
// ends, zero bytes follow it, a word more than that, so that running out of
// them means the stream took bits beyond its input.
constexpr std::size_t kMargin = 4 * sizeof(TBits);
constexpr std::size_t kPadding = kMargin + sizeof(TBits);
constexpr unsigned kLiteralRootBits = 10, kDistanceRootBits = 8, kCodeLengthRootBits = 7;
constexpr unsigned kLiteralCodes = 288, kDistanceCodes = 32, kCodeLengthCodes = 19;
constexpr unsigned kMaxLiteralCodes = 286, kMaxDistanceCodes = 30;

// What the literal/length symbols from 256 on and the distance symbols mean
// (RFC 1951, 3.2.5): a base and the count of extra bits added to it.
struct TMeanings {
  std::uint32_t lengths[kLiteralCodes - 256];
  std::uint32_t distances[kDistanceCodes];
};

constexpr TMeanings MakeMeanings() {
  TMeanings meanings{};
  meanings.lengths[0] = THuffman::kEnd;
  for (unsigned i = 0, base = 3; i < 28; ++i) {
    const unsigned extra = i < 8 ? 0 : i / 4 - 1;
    meanings.lengths[1 + i] = base << 16 | extra << 8;
    base += 1u << extra;
  }
  meanings.lengths[29] = 258u << 16;
  meanings.lengths[30] = meanings.lengths[31] = THuffman::kInvalid;
  for (unsigned i = 0, base = 1; i < 30; ++i) {
    const unsigned extra = i < 4 ? 0 : i / 2 - 1;
    meanings.distances[i] = base << 16 | extra << 8;
    base += 1u << extra;
  }
  meanings.distances[30] = meanings.distances[31] = THuffman::kInvalid;
  return meanings;
}

constexpr TMeanings kMeanings = MakeMeanings();

// The decoding loop's steps are inlined even where the plug-in is built for
// size: called there, they would keep the bit buffer in memory.

// Tops the bit buffer up with the whole bytes that fit, to at least
// kWordBits - 8 bits; the bits of a byte that fits only in part are loaded
// too (the next refill loads them again).
[[gnu::always_inline]] inline void Refill(TBits& bits, unsigned& count, const unsigned char*& in) {
  TBits word;
  std::memcpy(&word, in, sizeof word);
  bits |= word << count;
  in += (kWordBits - 1 - count) >> 3;
  count |= kWordBits - 8;
}

[[gnu::always_inline]] inline void Drop(TBits& bits, unsigned& count, unsigned taken) {
  bits >>= taken;
  count -= taken;
}

// An entry's base plus its extra bits, which follow its code.
[[gnu::always_inline]] inline unsigned TakeExtra(TBits& bits, unsigned& count, std::uint32_t entry) {
  const unsigned extra = (entry & THuffman::kExtraMask) >> 8;
  const unsigned value = (entry >> 16) + static_cast<unsigned>(bits & ((TBits{1} << extra) - 1));
  Drop(bits, count, extra);
  return value;
}

// Copies a match of length bytes from distance back, in words where the
// distance allows; up to kCopySlack bytes beyond it may be written.
[[gnu::always_inline]] inline unsigned char* CopyMatch(unsigned char* out, std::size_t distance, unsigned length) {
  const unsigned char* from = out - distance;
  unsigned char* const end = out + length;
  if (distance >= kCopySlack) {
    do {
      std::memcpy(out, from, kCopySlack);
      out += kCopySlack;
      from += kCopySlack;
    } while (out < end);
  } else if (distance == 1) {
    std::memset(out, *from, length);
  } else {
    do *out++ = *from++;
    while (out < end);
  }
  return end;
}

}  // namespace

TInflater::TInflater()
    : input_(new unsigned char[kInputSize + kPadding]),
      window_(new unsigned char[kWindowSize + kOutputSize + kMaxMatch + kCopySlack]),
      literals_(kLiteralRootBits),
      distances_(kDistanceRootBits),
      codeLengths_(kCodeLengthRootBits) {}

TInflater::~TInflater() = default;

TInflater::TResult TInflater::Inflate(Source source, Sink sink, void* context, std::uint64_t maxSize) {
  source_ = source;
  sink_ = sink;
  context_ = context;
  maxSize_ = maxSize;
  produced_ = 0;
  bits_ = 0;
  count_ = 0;
  in_ = inEnd_ = readEnd_ = input_.get();
  atEnd_ = false;
  out_ = flushed_ = window_.get();
  failure_ = TResult::kDamaged;
  for (bool last = false; !last;) {
    if (!Fill()) return failure_;
    last = Take(1) != 0;
    if (!ReadBlock(Take(2))) return failure_;
  }
  return Flush() ? TResult::kDone : failure_;
}

// A block of type 0 (stored), 1 (fixed codes) or 2 (dynamic codes); type 3
// is damaged.
bool TInflater::ReadBlock(unsigned type) {
  switch (type) {
    case 0:
      return CopyStored();
    case 1:
      UseFixedCodes();
      return DecodeCodedBlock();
    case 2:
      return ReadCodes() && DecodeCodedBlock();
  }
  return false;
}

// Makes at least kWordBits - 8 bits ready (zero bits past the input's end).
bool TInflater::Fill() {
  if (!Readable() && !Fetch()) return false;
  Refill(bits_, count_, in_);
  return true;
}

// Where the window's room for new bytes ends: a match may begin before it
// (and write kMaxMatch + kCopySlack - 1 bytes beyond); at it, they are
// flushed.
unsigned char* TInflater::OutputEnd() const { return window_.get() + kWindowSize + kOutputSize; }

// Whether the decoding loop may read kMargin bytes ahead of in_.
bool TInflater::Readable() const { return readEnd_ - in_ >= static_cast<std::ptrdiff_t>(kMargin); }

unsigned TInflater::Take(unsigned count) {
  const unsigned value = static_cast<unsigned>(bits_ & ((TBits{1} << count) - 1));
  Drop(bits_, count_, count);
  return value;
}

// Moves the unread bytes to the front of the input buffer and reads more
// behind them, until kMargin bytes may be read ahead or the input ends.
bool TInflater::Fetch() {
  if (atEnd_) return false;  // the stream goes on past its input
  unsigned char* const buffer = input_.get();
  const std::size_t kept = static_cast<std::size_t>(inEnd_ - in_);
  std::memmove(buffer, in_, kept);
  in_ = buffer;
  unsigned char* end = buffer + kept;
  while (static_cast<std::size_t>(end - buffer) < kMargin) {
    std::size_t size = 0;
    if (!source_(context_, end, static_cast<std::size_t>(buffer + kInputSize - end), size)) {
      failure_ = TResult::kStopped;
      return false;
    }
    if (size == 0) {
      atEnd_ = true;
      std::memset(end, 0, kPadding);
      inEnd_ = end;
      readEnd_ = end + kPadding;
      return true;
    }
    end += size;
  }
  inEnd_ = readEnd_ = end;
  return true;
}

// Whether the bits taken reach beyond the input's last byte.
bool TInflater::Overrun() const { return atEnd_ && (in_ - inEnd_) * 8 > static_cast<std::ptrdiff_t>(count_); }

// Hands the bytes made since the last flush to the sink, then keeps the
// window's last 32 KiB, which matches may still reach, at its front.
bool TInflater::Flush() {
  const std::size_t size = static_cast<std::size_t>(out_ - flushed_);
  if (Overrun() || size > maxSize_ - produced_) return false;
  produced_ += size;
  if (size != 0 && !sink_(context_, reinterpret_cast<const char*>(flushed_), size)) {
    failure_ = TResult::kStopped;
    return false;
  }
  unsigned char* const window = window_.get();
  if (static_cast<std::size_t>(out_ - window) > kWindowSize) {
    std::memmove(window, out_ - kWindowSize, kWindowSize);
    out_ = window + kWindowSize;
  }
  flushed_ = out_;
  return true;
}

// A stored block: from the next byte boundary, its length and the length's
// complement, then as many bytes as they are.
bool TInflater::CopyStored() {
  Take(count_ & 7);
  if (!Fill()) return false;
  unsigned length = Take(16);
  if (!Fill() || Take(16) != (~length & 0xFFFF) || Overrun()) return false;
  for (; length > 0 && count_ > 0; --length) *out_++ = static_cast<unsigned char>(Take(8));
  if (count_ == 0) bits_ = 0;  // the rest comes straight from the input
  unsigned char* const outEnd = OutputEnd();
  while (length > 0) {
    if (out_ >= outEnd && !Flush()) return false;
    if (in_ == inEnd_ && !Fetch()) return false;
    const std::size_t size = std::min(
        {std::size_t{length}, static_cast<std::size_t>(inEnd_ - in_), static_cast<std::size_t>(outEnd - out_)});
    std::memcpy(out_, in_, size);
    out_ += size;
    in_ += size;
    length -= static_cast<unsigned>(size);
  }
  return true;
}

// The codes of RFC 1951, 3.2.6, built once and kept until a dynamic block
// replaces them.
void TInflater::UseFixedCodes() {
  if (fixed_) return;
  unsigned char lengths[kLiteralCodes];
  std::fill(lengths, lengths + 144, 8);
  std::fill(lengths + 144, lengths + 256, 9);
  std::fill(lengths + 256, lengths + 280, 7);
  std::fill(lengths + 280, lengths + kLiteralCodes, 8);
  static_cast<void>(literals_.Build(lengths, kLiteralCodes, 256, kMeanings.lengths, THuffman::TShape::kComplete));
  std::fill(lengths, lengths + kDistanceCodes, 5);
  static_cast<void>(distances_.Build(lengths, kDistanceCodes, 0, kMeanings.distances, THuffman::TShape::kComplete));
  fixed_ = true;
}

// A dynamic block's header: the counts of codes, the code lengths' own code,
// then the literal/length and distance code lengths in that code, as one
// sequence that repeats may cross.
bool TInflater::ReadCodes() {
  static constexpr unsigned char kOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                             11, 4,  12, 3, 13, 2, 14, 1, 15};
  // Symbols 16, 17 and 18: the previous length 3-6 times, zero 3-10 and 11-138 times.
  static constexpr std::uint32_t kRepeats[3] = {3u << 16 | 2 << 8, 3u << 16 | 3 << 8, 11u << 16 | 7 << 8};
  fixed_ = false;
  if (!Fill()) return false;
  const unsigned literals = Take(5) + 257, distances = Take(5) + 1, codeLengths = Take(4) + 4;
  if (literals > kMaxLiteralCodes || distances > kMaxDistanceCodes) return false;
  unsigned char lengths[kMaxLiteralCodes + kMaxDistanceCodes] = {};
  for (unsigned i = 0; i < codeLengths; ++i) {
    if (!Fill()) return false;
    lengths[kOrder[i]] = static_cast<unsigned char>(Take(3));
  }
  if (!codeLengths_.Build(lengths, kCodeLengthCodes, kCodeLengthCodes, nullptr, THuffman::TShape::kComplete))
    return false;
  const unsigned total = literals + distances;
  for (unsigned have = 0; have < total;) {
    if (!Fill()) return false;
    const std::uint32_t entry = codeLengths_.Decode(bits_);
    Take(entry & THuffman::kLengthMask);
    const unsigned symbol = entry >> 16;
    if (symbol < 16) {
      lengths[have++] = static_cast<unsigned char>(symbol);
      continue;
    }
    if (symbol == 16 && have == 0) return false;
    const unsigned char repeated = symbol == 16 ? lengths[have - 1] : 0;
    const unsigned times = TakeExtra(bits_, count_, kRepeats[symbol - 16]);
    if (times > total - have) return false;
    std::memset(lengths + have, repeated, times);
    have += times;
  }
  return lengths[256] != 0 && literals_.Build(lengths, literals, 256, kMeanings.lengths, THuffman::TShape::kSparse) &&
         distances_.Build(lengths + literals, distances, 0, kMeanings.distances, THuffman::TShape::kSparse);
}

// The symbols of a block up to its end, with input fetched and output
// flushed between runs of the decoding loop.
bool TInflater::DecodeCodedBlock() {
  for (;;) {
    switch (DecodeSymbols()) {
      case TStep::kBlockEnd:
        return true;
      case TStep::kBroken:
        return false;
      case TStep::kLimit:
        break;
    }
    if (!Readable() && !Fetch()) return false;
    if (out_ >= OutputEnd() && !Flush()) return false;
  }
}

// The block's symbols, as long as the input may be read kMargin ahead and
// the window has room for a match: the hot loop, on local copies of the
// state (stores through out could otherwise change the members).
TInflater::TStep TInflater::DecodeSymbols() {
  TBits bits = bits_;
  unsigned count = count_;
  const unsigned char* in = in_;
  unsigned char* out = out_;
  const unsigned char* const readEnd = readEnd_;
  unsigned char* const window = window_.get();
  unsigned char* const outEnd = OutputEnd();
  TStep step = TStep::kLimit;
  while (readEnd - in >= static_cast<std::ptrdiff_t>(kMargin) && out < outEnd) {
    Refill(bits, count, in);
    std::uint32_t entry = literals_.Decode(bits);
    Drop(bits, count, entry & THuffman::kLengthMask);
    if (entry & THuffman::kLiteral) {
      *out++ = static_cast<unsigned char>(entry >> 16);
      continue;
    }
    if (entry & (THuffman::kEnd | THuffman::kInvalid)) {
      step = entry & THuffman::kEnd ? TStep::kBlockEnd : TStep::kBroken;
      break;
    }
    // At most 20 bits so far; a distance takes up to 28 more.
    const unsigned length = TakeExtra(bits, count, entry);
    if (kWordBits < 48) Refill(bits, count, in);
    entry = distances_.Decode(bits);
    Drop(bits, count, entry & THuffman::kLengthMask);
    if (entry & THuffman::kInvalid) {
      step = TStep::kBroken;
      break;
    }
    if (kWordBits < 48 && count < ((entry & THuffman::kExtraMask) >> 8)) Refill(bits, count, in);
    const std::size_t distance = TakeExtra(bits, count, entry);
    if (distance > static_cast<std::size_t>(out - window)) {
      step = TStep::kBroken;
      break;
    }
    out = CopyMatch(out, distance, length);
  }
  bits_ = bits;
  count_ = count;
  in_ = in;
  out_ = out;
  return step;
}
