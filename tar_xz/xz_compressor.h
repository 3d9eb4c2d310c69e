// TXzCompressor: compresses a byte stream into one .xz stream for the
// solid archive: LZMA2 at preset 9 (not extreme, which made 40 MB of
// Windows DLLs 0.5% larger and took longer), a CRC-64 check, and a
// dictionary no larger than the data (at least 4 KiB) and at most
// kMaxDictionary, which is all the plug-in's decoder then needs. The same
// bytes in give the same bytes out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class TXzCompressor {
 public:
  static constexpr std::uint32_t kMaxDictionary = 64u << 20;
  // Receives the compressed bytes; raises when they cannot be written.
  using Output = std::function<void(const char* data, std::size_t size)>;

  // size: how many bytes Write will be given in all. Raises EInOutError
  // where this build of fmix has no xz compressor.
  TXzCompressor(Output out, std::uint64_t size);
  ~TXzCompressor();
  TXzCompressor(const TXzCompressor&) = delete;
  TXzCompressor& operator=(const TXzCompressor&) = delete;

  void Write(const char* data, std::size_t size);
  // Writes the rest of the stream.
  void Finish();

 private:
  struct TStream;
  void Run(bool finish);

  Output out_;
  std::unique_ptr<TStream> stream_;
};
