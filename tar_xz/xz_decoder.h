// TXzDecoder: the uncompressed bytes of an .xz file read from a TZipSource
// front to back: one stream, or several one after another (as xz and GNU
// tar read them), each with its own header, blocks, index and footer, with
// zeros in groups of four (stream padding) between and after them; a stream
// may hold no block at all. Every part of each stream is checked: the
// stream header and footer, each block header's CRC-32, the sizes the
// blocks declare, the block's CRC-32 or CRC-64 check over its bytes, and the
// index against the blocks that were read. LZMA2 is the only filter read;
// dictionaries larger than kMaxDictionary are refused, which bounds the
// memory a stream can ask for. Streams without a check, or with SHA-256, and
// bytes after the last stream other than its padding are refused too.
// Nothing raises: a failure returns false with the reason in Failure().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "rtl/crc32.h"
#include "tar_xz/crc64.h"
#include "tar_xz/lzma2_decoder.h"
#include "tar_xz/xz_byte_input.h"

class TZipSource;

class TXzDecoder {
 public:
  // The largest dictionary read: what fmix writes at most.
  static constexpr std::uint32_t kMaxDictionary = 64u << 20;

  explicit TXzDecoder(TZipSource& source) : input_(source), lzma2_(input_) {}

  // True when the source starts as an .xz file does.
  static bool IsXz(TZipSource& source);
  // Reads the first stream header, from the first byte of the source;
  // called again, it decodes the file anew.
  [[nodiscard]] bool Start();
  // Up to size bytes of the content into buffer; got is 0 only at the end
  // of the last stream, once every index and footer has been checked.
  [[nodiscard]] bool Read(char* buffer, std::size_t size, std::size_t& got);
  const std::u16string& Failure() const { return failure_; }
  // The whole content, once it has been read to its end and checked, when
  // it was one block (of all streams) that fit its dictionary: it then lies
  // in the dictionary, valid until the next Start. False otherwise.
  [[nodiscard]] bool Whole(const unsigned char*& data, std::size_t& size) const;

 private:
  struct TBlock {
    std::uint64_t headerSize = 0;
    std::uint64_t dataStart = 0;
    std::uint64_t compressedSize = 0;  // as declared, or kUnknown
    std::uint64_t uncompressedSize = 0;
    std::uint64_t produced = 0;
    TCrc32 crc32;
    TCrc64 crc64;
  };
  static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};

  bool StartStream(const unsigned char* header);
  bool NextStream();
  bool NextBlock();
  bool ReadBlockHeader(unsigned char sizeByte);
  bool ReadFilters(const unsigned char*& p, const unsigned char* end, unsigned count);
  bool Produce();
  void Hash(const unsigned char* data, std::size_t size);
  bool FinishBlock();
  bool ReadIndex();
  bool ReadFooter(std::uint64_t indexSize);
  bool ReadVli(std::uint64_t& value, std::string& seen);
  bool Fail(const std::u16string& reason);
  bool Fail(const char* reason);  // an ASCII reason, widened here once

  TXzByteInput input_;
  TLzma2Decoder lzma2_;
  unsigned char flags_[2] = {};  // the current stream's
  unsigned check_ = 0;
  bool inBlock_ = false;
  bool ended_ = false;
  TBlock block_;
  // The current stream's blocks: unpadded and uncompressed sizes.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> records_;
  std::uint64_t blocks_ = 0;   // of all streams
  std::uint64_t content_ = 0;  // uncompressed bytes of all streams
  const unsigned char* pending_ = nullptr;
  std::size_t pendingSize_ = 0;
  std::u16string failure_;
};
