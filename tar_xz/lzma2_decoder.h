// TLzma2Decoder: the chunk layer of LZMA2, as xz blocks carry it, over the
// LZMA decoder of the LZMA SDK (LzmaDec.c). A chunk is either stored bytes
// or LZMA data with its own sizes; its control byte says whether the
// dictionary, the coder's state or its properties start afresh. Decoded
// bytes are handed out from the dictionary itself, a ring buffer as large as
// the block's dictionary size; a block no larger than that stays whole in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TXzByteInput;

class TLzma2Decoder {
 public:
  explicit TLzma2Decoder(TXzByteInput& input);
  ~TLzma2Decoder();
  TLzma2Decoder(const TLzma2Decoder&) = delete;
  TLzma2Decoder& operator=(const TLzma2Decoder&) = delete;

  // Starts the data of a block whose filter gives dictionarySize; false
  // when that much memory cannot be had.
  [[nodiscard]] bool Start(std::uint32_t dictionarySize);
  // The next decoded bytes, valid until the next call; size 0 once the end
  // of the block's LZMA2 data has been read. False on damaged data, with the
  // reason in Failure().
  [[nodiscard]] bool Next(const unsigned char*& data, std::size_t& size);
  const char* Failure() const { return failure_; }
  // The dictionary's bytes up to where the next decoded byte goes: all that
  // was decoded since Start, in order, while that fits the dictionary.
  const unsigned char* Dictionary(std::size_t& filled) const;

 private:
  struct TState;
  bool ReadControl();
  bool StartLzmaChunk(unsigned control);
  bool SetProperties(unsigned char properties);
  bool DecodeLzma(std::size_t& size);
  bool CopyStored(std::size_t& size);
  std::size_t Room();
  bool Fail(const char* reason);

  TXzByteInput& input_;
  std::unique_ptr<TState> state_;
  std::uint32_t dictionarySize_ = 0;
  std::vector<unsigned char> packed_;  // the current LZMA chunk's input
  std::size_t packedUsed_ = 0;
  std::uint32_t unpackedLeft_ = 0;  // of the current chunk
  bool stored_ = false;              // the current chunk holds stored bytes
  bool needDictionaryReset_ = true;
  bool needProperties_ = true;
  const char* failure_ = "";
};
