#include "zip/zip_memory_source.h"

#include <cstring>

TZipMemorySource::TZipMemorySource(const char* data, std::size_t size, std::u16string name)
    : TZipSource(std::move(name)), data_(data), size_(size) {}

bool TZipMemorySource::ReadAt(std::int64_t offset, void* buffer, std::size_t size) {
  if (offset < 0 || static_cast<std::uint64_t>(offset) > size_ || size > size_ - static_cast<std::size_t>(offset))
    return false;
  if (size != 0) std::memcpy(buffer, data_ + offset, size);
  return true;
}
