// TInflater: decodes raw deflate streams (RFC 1951): stored, fixed and
// dynamic Huffman blocks over a 32 KiB window. A source supplies the stream
// in pieces of any size, a sink takes the bytes in pieces of up to 96 KiB;
// the inflater stops right after the last block and asks for no input
// beyond it. A stream is damaged, as zlib finds it, when it has a block of
// type 3, a stored block whose length and its complement disagree, more
// than 286 literal/length or 30 distance codes, a set of code lengths that
// is over-subscribed or incomplete (but for an empty or one-bit distance or
// literal/length code, whose unused bits are then invalid), a repeat of no
// previous length or past the last one, no end-of-block code, a symbol that
// has no code or no meaning (literal/length 286 and 287, distance 30 and
// 31), a distance beyond the bytes made so far, or when the input ends
// before its last block does. Nothing it hands out comes from beyond the
// input's end. One inflater decodes one stream at a time, any number in turn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "inflate/huffman_table.h"

class TInflater {
 public:
  // Puts up to capacity next bytes of the stream into buffer and sets size
  // to their count, 0 where the input ends; false stops the inflation.
  using Source = bool (*)(void* context, unsigned char* buffer, std::size_t capacity, std::size_t& size);
  // Takes the next bytes inflated; false stops the inflation.
  using Sink = bool (*)(void* context, const char* data, std::size_t size);
  enum class TResult { kDone, kDamaged, kStopped };

  TInflater();
  ~TInflater();
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // Inflates one stream, with context passed to source and sink. kStopped
  // when either of them returned false; kDamaged also when the stream makes
  // more than maxSize bytes (before any of them reach sink).
  TResult Inflate(Source source, Sink sink, void* context, std::uint64_t maxSize = ~std::uint64_t{0});
  // How many bytes the last Inflate handed to its sink.
  std::uint64_t Produced() const { return produced_; }

 private:
  enum class TStep { kBlockEnd, kLimit, kBroken };

  bool Fill();
  unsigned char* OutputEnd() const;
  bool Readable() const;
  unsigned Take(unsigned count);
  bool Fetch();
  bool Overrun() const;
  bool Flush();
  bool ReadBlock(unsigned type);
  bool CopyStored();
  void UseFixedCodes();
  bool ReadCodes();
  bool DecodeCodedBlock();
  TStep DecodeSymbols();

  std::unique_ptr<unsigned char[]> input_, window_;
  THuffmanTable literals_, distances_, codeLengths_;
  bool fixed_ = false;  // the tables hold the fixed codes
  Source source_ = nullptr;
  Sink sink_ = nullptr;
  void* context_ = nullptr;
  std::uint64_t maxSize_ = 0, produced_ = 0;
  TResult failure_ = TResult::kDamaged;  // why the last step failed
  // The bit buffer: count_ bits of the stream, lowest first, taken from the
  // bytes before in_ (bits above them are the stream's next, or zero).
  std::size_t bits_ = 0;
  unsigned count_ = 0;
  const unsigned char* in_ = nullptr;
  const unsigned char* inEnd_ = nullptr;    // the input's bytes end here
  const unsigned char* readEnd_ = nullptr;  // readable bytes end here: inEnd_, or its zero padding at the end
  bool atEnd_ = false;                      // the source has no more
  unsigned char* out_ = nullptr;            // the next byte of the window to make
  unsigned char* flushed_ = nullptr;        // the window's bytes before this went to the sink
};
