// TZipFileSource: an archive file read through the platform's file calls,
// named in messages as given (system code page).
#pragma once

#include <string>

#include "os/os.h"
#include "zip/zip_source.h"

class TZipFileSource : public TZipSource {
 public:
  explicit TZipFileSource(const std::string& fileName);
  ~TZipFileSource() override;

  // Opens the file read-only, letting others read but not write meanwhile;
  // false with the reason in reason when it cannot be opened.
  [[nodiscard]] bool Open(std::u16string& reason);
  std::int64_t Size() const override { return size_; }
  bool ReadAt(std::int64_t offset, void* buffer, std::size_t size) override;

 private:
  std::string fileName_;
  os::FileHandle file_ = os::kNoFile;
  std::int64_t size_ = 0;
};
