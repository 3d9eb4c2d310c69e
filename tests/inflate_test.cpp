// TInflater's edges that random inputs seldom reach: a stream cut at every
// byte, the farthest distance and the largest stored block, more codes than
// deflate has, the caller's size limit, and a source or sink that stops it. The differential fuzz
// target (fuzz_inflate) holds it to zlib on everything else.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "inflate/inflater.h"

namespace {

using TResult = TInflater::TResult;

// Writes a deflate stream: fields lowest bit first, Huffman codes highest
// bit first; next to it, the bytes the stream stands for.
class TStream {
 public:
  void Bits(unsigned value, unsigned count) {
    for (unsigned i = 0; i < count; ++i, ++used_) {
      if (used_ % 8 == 0) bytes_ += '\0';
      bytes_.back() = static_cast<char>(bytes_.back() | ((value >> i) & 1) << (used_ % 8));
    }
  }
  void Code(unsigned code, unsigned length) {
    while (length-- > 0) Bits(code >> length, 1);
  }
  void Aligned(const std::string& bytes, const std::string& meaning) {
    used_ = bytes_.size() * 8;
    bytes_ += bytes;
    used_ += bytes.size() * 8;
    text_ += meaning;
  }
  void Stored(const std::string& data, bool last) {
    Bits(last, 1);
    Bits(0, 2);
    const std::string lengths = {static_cast<char>(data.size()), static_cast<char>(data.size() >> 8),
                                 static_cast<char>(~data.size()), static_cast<char>(~data.size() >> 8)};
    Aligned(lengths + data, data);
  }
  // A fixed-code block of one match at the farthest distance, 32768, of the
  // longest length, 258 (literal/length 285, distance 29 with 13 one bits),
  // then the literal 'x' and the end of the block. With less history the
  // stream is damaged, and its text no longer counts.
  void FarthestMatch(bool last) {
    Bits(last, 1);
    Bits(1, 2);
    Code(0xC5, 8);
    Code(29, 5);
    Bits(0x1FFF, 13);
    for (int i = 0; i < 258 && text_.size() >= 32768; ++i) text_ += text_[text_.size() - 32768];
    Code(0x30 + 'x', 8);
    text_ += 'x';
    Code(0, 7);
  }
  const std::string& Bytes() const { return bytes_; }
  const std::string& Text() const { return text_; }

 private:
  std::string bytes_, text_;
  std::size_t used_ = 0;
};

// The input in two pieces, cut at cut; the output kept; either may refuse.
struct TRun {
  explicit TRun(std::string bytes, std::size_t cutAt = 0) : input(std::move(bytes)), cut(cutAt) {}

  std::string input;
  std::size_t cut = 0, at = 0;
  std::string output;
  bool readFails = false, writeFails = false;

  static bool Read(void* context, unsigned char* buffer, std::size_t capacity, std::size_t& size) {
    auto& run = *static_cast<TRun*>(context);
    const std::size_t end = run.at < run.cut ? run.cut : run.input.size();
    size = std::min(capacity, end - run.at);
    std::memcpy(buffer, run.input.data() + run.at, size);
    run.at += size;
    return !run.readFails;
  }
  static bool Write(void* context, const char* data, std::size_t size) {
    auto& run = *static_cast<TRun*>(context);
    run.output.append(data, size);
    return !run.writeFails;
  }
  TResult Inflate(TInflater& inflater, std::uint64_t maxSize = ~std::uint64_t{0}) {
    return inflater.Inflate(Read, Write, this, maxSize);
  }
};

std::string DeflatedText(const std::string& text) {
  std::string out(compressBound(static_cast<uLong>(text.size())) + 16, '\0');
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_SYNC_FLUSH);  // a dynamic block, then an empty stored one: not the last
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
  return bytes;
}

}  // namespace

// Dynamic, stored and fixed blocks cut into two pieces at every byte: the
// same bytes out; the stream without its tail at any byte is damaged.
TEST(Inflater, StreamCutAtEveryByte) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "entry " + std::to_string(i % 23) + "; ";
  TStream stream;
  stream.Aligned(DeflatedText(text), text);
  stream.Stored(Pattern(40000), false);
  stream.FarthestMatch(true);
  TInflater inflater;
  const std::size_t size = stream.Bytes().size();
  // Every byte of the first and last 600, every 997th between.
  for (std::size_t cut = 0; cut <= size;
       cut = cut >= 600 && cut + 600 < size ? std::min(cut + 997, size - 600) : cut + 1) {
    TRun whole(stream.Bytes(), cut);
    ASSERT_EQ(whole.Inflate(inflater), TResult::kDone) << cut;
    ASSERT_EQ(whole.output, stream.Text()) << cut;
    TRun cutShort(stream.Bytes().substr(0, cut), cut);
    if (cut < size) {
      ASSERT_EQ(cutShort.Inflate(inflater), TResult::kDamaged) << cut;
      ASSERT_EQ(stream.Text().compare(0, cutShort.output.size(), cutShort.output), 0) << cut;
    }
  }
}

// The largest stored block (65535 bytes) and a match 32768 bytes back are
// whole; the same match one byte short of that history is damaged.
TEST(Inflater, FarthestDistanceAndLargestStoredBlock) {
  TInflater inflater;
  TStream full;
  full.Stored(Pattern(65535), false);
  full.FarthestMatch(true);
  TRun run(full.Bytes());
  ASSERT_EQ(run.Inflate(inflater), TResult::kDone);
  EXPECT_EQ(run.output, full.Text());

  TStream tooFar;
  tooFar.Stored(Pattern(32767), false);
  tooFar.FarthestMatch(true);
  TRun refused(tooFar.Bytes());
  EXPECT_EQ(refused.Inflate(inflater), TResult::kDamaged);
  EXPECT_EQ(refused.output, "");
}

// A dynamic block that counts more literal/length codes than 286 or more
// distance codes than 30 is damaged (its lengths are valid otherwise: a
// code of one-bit codes for 0 and 18, and enough 18s for all of them).
TEST(Inflater, TooManyCodes) {
  for (const auto& [literals, distances] : {std::pair{288u, 30u}, std::pair{286u, 32u}}) {
    TStream stream;
    stream.Bits(1, 1);
    stream.Bits(2, 2);
    stream.Bits(literals - 257, 5);
    stream.Bits(distances - 1, 5);
    stream.Bits(0, 4);
    for (const unsigned length : {0, 0, 1, 1}) stream.Bits(length, 3);  // code lengths 16, 17, 18, 0
    for (const unsigned zeros : {138u, 138u, literals + distances - 276}) {
      stream.Code(1, 1);
      stream.Bits(zeros - 11, 7);
    }
    TInflater inflater;
    TRun run(stream.Bytes());
    EXPECT_EQ(run.Inflate(inflater), TResult::kDamaged) << literals << " " << distances;
  }
}

// The caller's size limit: exactly reached is whole, one byte less is
// damaged before anything goes out; a source or sink that refuses stops it.
TEST(Inflater, LimitsAndStops) {
  TStream stream;
  stream.Stored(Pattern(1000), true);
  TInflater inflater;
  TRun exact(stream.Bytes());
  EXPECT_EQ(exact.Inflate(inflater, 1000), TResult::kDone);
  TRun over(stream.Bytes());
  EXPECT_EQ(over.Inflate(inflater, 999), TResult::kDamaged);
  EXPECT_EQ(over.output, "");
  TRun unread(stream.Bytes());
  unread.readFails = true;
  EXPECT_EQ(unread.Inflate(inflater), TResult::kStopped);
  TRun unwritten(stream.Bytes());
  unwritten.writeFails = true;
  EXPECT_EQ(unwritten.Inflate(inflater), TResult::kStopped);
  EXPECT_EQ(inflater.Produced(), 1000u);
}
