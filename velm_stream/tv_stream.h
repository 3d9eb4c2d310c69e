// TVStream: an abstract byte stream with 64-bit positions, exact-length reads
// and writes, and copying through a bounded buffer.
#pragma once

#include <cstdint>

class TVStream {
 public:
  virtual ~TVStream() = default;

  // Size through three seeks; the position is unchanged afterwards.
  virtual std::int64_t GetSize();
  virtual void SetSize(std::int64_t newSize) = 0;
  // Return the number of bytes moved; never raise.
  virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
  virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;
  // Origin: 0 from the beginning, 1 from the current position, 2 from the end.
  virtual std::int64_t Seek(std::int64_t offset, int origin) = 0;
  // Makes room at once for count more bytes from the position where a stream
  // keeps its bytes in one block (the memory stream), so that the block does
  // not move again and again during a long copy, and a copy that cannot fit
  // fails (EOutOfMemory) before anything is read. Other streams ignore it.
  virtual void Reserve(std::int64_t count) { static_cast<void>(count); }

  void SetPosition(std::int64_t pos);
  // Raise EInOutError when fewer than count bytes move.
  void ReadBuffer(void* buffer, std::int32_t count);
  void WriteBuffer(const void* buffer, std::int32_t count);
  // Copies count bytes from source's position (count 0: the whole source from
  // its start) through a buffer of at most kCopyChunk bytes.
  std::int64_t CopyFrom(TVStream& source, std::int64_t count);
  // The EInOutError of a read that moves fewer bytes than demanded.
  [[noreturn]] static void ReadError();

  static constexpr std::int32_t kCopyChunk = 61440;
};
