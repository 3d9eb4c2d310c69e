#include "tar_xz/xz_byte_input.h"

#include <algorithm>
#include <cstring>

#include "zip/zip_source.h"

void TXzByteInput::Rewind() {
  bufferStart_ = 0;
  filled_ = used_ = 0;
}

bool TXzByteInput::AtEnd() const {
  return static_cast<std::int64_t>(Position()) >= source_.Size();
}

bool TXzByteInput::Refill() {
  bufferStart_ += filled_;
  used_ = filled_ = 0;
  const std::int64_t left = source_.Size() - static_cast<std::int64_t>(bufferStart_);
  if (left <= 0) return false;
  const std::size_t size = static_cast<std::size_t>(std::min<std::int64_t>(left, kBufferSize));
  if (!source_.ReadAt(static_cast<std::int64_t>(bufferStart_), buffer_.data(), size)) return false;
  filled_ = size;
  return true;
}

bool TXzByteInput::Read(void* out, std::size_t size) {
  auto* to = static_cast<unsigned char*>(out);
  while (size > 0) {
    if (used_ == filled_ && !Refill()) return false;
    const std::size_t n = std::min(size, filled_ - used_);
    std::memcpy(to, buffer_.data() + used_, n);
    used_ += n;
    to += n;
    size -= n;
  }
  return true;
}
