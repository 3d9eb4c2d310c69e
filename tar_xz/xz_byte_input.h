// TXzByteInput: the bytes of a TZipSource read front to back through a
// buffer, as the xz decoder consumes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TZipSource;

class TXzByteInput {
 public:
  explicit TXzByteInput(TZipSource& source) : source_(source), buffer_(kBufferSize) {}

  // Back to the first byte.
  void Rewind();
  // The next size bytes; false when the source ends first or cannot be read.
  [[nodiscard]] bool Read(void* out, std::size_t size);
  // How many bytes were consumed.
  std::uint64_t Position() const { return bufferStart_ + used_; }
  bool AtEnd() const;

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;
  bool Refill();

  TZipSource& source_;
  std::vector<unsigned char> buffer_;
  std::uint64_t bufferStart_ = 0;  // where the buffer's first byte lies in the source
  std::size_t filled_ = 0;
  std::size_t used_ = 0;
};
