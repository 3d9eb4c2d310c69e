// TInflater held to zlib. The input, taken as a raw deflate stream, must be
// accepted by both or refused by both, with the same bytes out; what ours
// hands out before it refuses is a beginning of zlib's, and with a size
// limit below zlib's output it refuses. Then the input, deflated by zlib at
// the level, strategy and memory level that its first bytes choose and
// flushed once midway, must inflate back whole. Our input arrives in pieces
// of sizes drawn from the input itself.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "inflate/inflater.h"

namespace {

struct TFeed {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at;
  std::minstd_rand pieces;
  std::size_t largest;
  std::string out;
};

bool Read(void* context, unsigned char* buffer, std::size_t capacity, std::size_t& size) {
  auto& feed = *static_cast<TFeed*>(context);
  size = std::min({capacity, feed.size - feed.at, 1 + feed.pieces() % feed.largest});
  std::memcpy(buffer, feed.data + feed.at, size);
  feed.at += size;
  return true;
}

bool Write(void* context, const char* data, std::size_t size) {
  static_cast<TFeed*>(context)->out.append(data, size);
  return true;
}

TInflater::TResult Ours(const std::uint8_t* data, std::size_t size, std::uint32_t seed, std::uint64_t limit,
                        std::string& out) {
  static TInflater inflater;  // one for every input, as the ZIP reader keeps one for every entry
  static constexpr std::size_t kLargest[4] = {1, 7, 300, 1 << 20};
  TFeed feed{data, size, 0, std::minstd_rand(seed), kLargest[seed % 4], {}};
  const TInflater::TResult result = inflater.Inflate(Read, Write, &feed, limit);
  if (inflater.Produced() != feed.out.size()) std::abort();
  out = std::move(feed.out);
  return result;
}

bool Zlib(const std::uint8_t* data, std::size_t size, std::string& out) {
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) std::abort();
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(size);
  int status = Z_OK;
  unsigned char buffer[65536];
  while (status == Z_OK) {
    stream.next_out = buffer;
    stream.avail_out = sizeof buffer;
    status = inflate(&stream, Z_NO_FLUSH);
    out.append(reinterpret_cast<char*>(buffer), sizeof buffer - stream.avail_out);
  }
  inflateEnd(&stream);
  return status == Z_STREAM_END;
}

std::string Deflate(const std::uint8_t* data, std::size_t size, int level, int strategy, int memLevel,
                    std::size_t flushAt, int flush) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, memLevel, strategy) != Z_OK) std::abort();
  std::string out(deflateBound(&stream, size) + 64, '\0');
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(flushAt);
  if (deflate(&stream, flush) == Z_STREAM_ERROR) std::abort();
  stream.avail_in = static_cast<uInt>(size - flushAt);
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint32_t seed = static_cast<std::uint32_t>(size);
  for (std::size_t i = 0; i < std::min<std::size_t>(size, 16); ++i) seed = seed * 31 + data[i];

  std::string expected, got;
  const bool accepted = Zlib(data, size, expected);
  const bool limited = seed % 5 == 0 && accepted && !expected.empty();
  const TInflater::TResult result = Ours(data, size, seed, limited ? expected.size() - 1 : ~std::uint64_t{0}, got);
  if (limited || !accepted) {
    if (result != TInflater::TResult::kDamaged || expected.compare(0, got.size(), got) != 0) std::abort();
  } else if (result != TInflater::TResult::kDone || got != expected) {
    std::abort();
  }

  if (size < 2) return 0;
  static constexpr int kStrategies[5] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  static constexpr int kFlushes[3] = {Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_BLOCK};
  const std::string deflated = Deflate(data + 2, size - 2, data[0] % 10, kStrategies[data[0] / 10 % 5], data[1] % 9 + 1,
                                       seed % (size - 1), kFlushes[data[1] / 9 % 3]);
  if (Ours(reinterpret_cast<const std::uint8_t*>(deflated.data()), deflated.size(), seed, ~std::uint64_t{0}, got) !=
          TInflater::TResult::kDone ||
      got.size() != size - 2 || std::memcmp(got.data(), data + 2, got.size()) != 0)
    std::abort();
  return 0;
}
