#include "velm_stream/tv_memory_stream.h"

#include <cstring>
#include <limits>

#include "os/os.h"
#include "rtl/exception.h"
#include "velm_stream/tv_file_stream.h"

namespace {

constexpr std::int64_t kMaxSize = std::numeric_limits<std::int32_t>::max();

[[noreturn]] void OutOfMemory() { throw EOutOfMemory(u"メモリの再確保に失敗"); }

}  // namespace

TVMemoryStream::~TVMemoryStream() {
  if (memory_) os::BlockFree(memory_);
}

void TVMemoryStream::SetSize(std::int64_t newSize) {
  if (newSize < 0 || newSize > kMaxSize) OutOfMemory();
  const std::int32_t oldPosition = position_;
  const std::int32_t size = static_cast<std::int32_t>(newSize);
  SetCapacity(size);
  size_ = size;
  if (oldPosition > size) Seek(0, 2);
}

std::int32_t TVMemoryStream::Read(void* buffer, std::int32_t count) {
  if (position_ < 0 || count < 0 || position_ >= size_) return 0;
  std::int32_t n = count < size_ - position_ ? count : size_ - position_;
  std::memcpy(buffer, memory_ + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int32_t TVMemoryStream::Write(const void* buffer, std::int32_t count) {
  const std::int64_t end = static_cast<std::int64_t>(position_) + count;
  if (position_ < 0 || count < 0 || end <= 0) return 0;
  if (end > kMaxSize) OutOfMemory();
  if (end > size_) {
    if (end > capacity_) SetCapacity(static_cast<std::int32_t>(end));
    size_ = static_cast<std::int32_t>(end);
  }
  if (count > 0) std::memcpy(memory_ + position_, buffer, static_cast<std::size_t>(count));
  position_ = static_cast<std::int32_t>(end);
  return count;
}

std::int64_t TVMemoryStream::Seek(std::int64_t offset, int origin) {
  const std::uint32_t delta = static_cast<std::uint32_t>(offset);
  switch (origin) {
    case 0: position_ = static_cast<std::int32_t>(delta); break;
    case 1: position_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(position_) + delta); break;
    case 2: position_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(size_) + delta); break;
    default: break;
  }
  return position_;
}

void TVMemoryStream::Reserve(std::int64_t count) {
  const std::int64_t needed = static_cast<std::int64_t>(position_) + count;
  if (position_ < 0 || count <= 0 || needed <= capacity_) return;
  if (needed > kMaxSize) OutOfMemory();
  SetCapacity(static_cast<std::int32_t>(needed));
}

void* TVMemoryStream::Realloc(std::int32_t& newCapacity) {
  std::int32_t wanted = newCapacity;
  if (wanted < 0) OutOfMemory();
  if (wanted > 0 && wanted != size_) {
    if (wanted > kMaxSize - (kBlockStep - 1)) OutOfMemory();
    wanted = (wanted + (kBlockStep - 1)) & ~(kBlockStep - 1);
  }
  if (wanted == capacity_) {
    newCapacity = wanted;
    return memory_;
  }
  void* block = nullptr;
  if (wanted == 0) {
    os::BlockFree(memory_);
  } else {
    block = capacity_ == 0 ? os::BlockAlloc(static_cast<std::size_t>(wanted))
                           : os::BlockResize(memory_, static_cast<std::size_t>(wanted));
    if (!block) OutOfMemory();
  }
  newCapacity = wanted;
  return block;
}

void TVMemoryStream::SetCapacity(std::int32_t newCapacity) {
  void* block = Realloc(newCapacity);
  SetPointer(block, size_);
  capacity_ = newCapacity;
}

void TVMemoryStream::SetPointer(void* ptr, std::int32_t newSize) {
  memory_ = static_cast<char*>(ptr);
  size_ = newSize;
}

void TVMemoryStream::Clear() {
  SetCapacity(0);
  size_ = 0;
  position_ = 0;
}

void TVMemoryStream::SaveToStream(TVStream& stream) {
  if (size_ != 0) stream.WriteBuffer(memory_, size_);
}

void TVMemoryStream::SaveToFile(const std::string& fileName) {
  TVFileStream file(fileName, TVFileStream::kCreate);
  SaveToStream(file);
}
