// TZipMemorySource: an archive held in memory by the caller, which keeps
// the bytes for as long as the source is read.
#pragma once

#include <string>

#include "zip/zip_source.h"

class TZipMemorySource : public TZipSource {
 public:
  TZipMemorySource(const char* data, std::size_t size, std::u16string name);

  std::int64_t Size() const override { return static_cast<std::int64_t>(size_); }
  bool ReadAt(std::int64_t offset, void* buffer, std::size_t size) override;

 private:
  const char* data_;
  std::size_t size_;
};
