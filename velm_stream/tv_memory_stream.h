// TVMemoryStream: a stream over one contiguous, movable memory block that
// stays locked while held. Positions and sizes are 32-bit inside: 64-bit
// arguments are cut to their low 32 bits and results are sign-extended.
#pragma once

#include <string>

#include "velm_stream/tv_stream.h"

class TVMemoryStream : public TVStream {
 public:
  TVMemoryStream() = default;
  ~TVMemoryStream() override;
  TVMemoryStream(const TVMemoryStream&) = delete;
  TVMemoryStream& operator=(const TVMemoryStream&) = delete;

  void SetSize(std::int64_t newSize) override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  std::int64_t Seek(std::int64_t offset, int origin) override;
  // Raises the capacity to the position plus count; beyond 32-bit sizes
  // raises EOutOfMemory. Size and position stay.
  void Reserve(std::int64_t count) override;
  // Returns the block to use for newCapacity, which it may raise to a
  // multiple of kBlockStep. Raises EOutOfMemory and keeps the block when
  // memory cannot be had.
  virtual void* Realloc(std::int32_t& newCapacity);

  void SetCapacity(std::int32_t newCapacity);
  void SetPointer(void* ptr, std::int32_t newSize);
  void Clear();
  void SaveToStream(TVStream& stream);
  void SaveToFile(const std::string& fileName);

  // The block may be changed in place by clients, GetSize() bytes of it.
  char* Memory() const { return memory_; }
  std::int32_t Size() const { return size_; }
  std::int32_t Position() const { return position_; }
  std::int32_t Capacity() const { return capacity_; }

  static constexpr std::int32_t kBlockStep = 8192;

 private:
  char* memory_ = nullptr;
  std::int32_t size_ = 0;
  std::int32_t position_ = 0;
  std::int32_t capacity_ = 0;
};
