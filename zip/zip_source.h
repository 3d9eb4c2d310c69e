// TZipSource: the bytes a TZipReader reads an archive from, by offset, and
// the name its messages give the archive. Nothing raises, so that the
// plug-in's reader builds without exceptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

class TZipSource {
 public:
  explicit TZipSource(std::u16string name) : name_(std::move(name)) {}
  virtual ~TZipSource() = default;
  TZipSource(const TZipSource&) = delete;
  TZipSource& operator=(const TZipSource&) = delete;

  const std::u16string& Name() const { return name_; }
  virtual std::int64_t Size() const = 0;
  // Reads size bytes at offset; false when not all of them can be read.
  virtual bool ReadAt(std::int64_t offset, void* buffer, std::size_t size) = 0;

 private:
  std::u16string name_;
};
