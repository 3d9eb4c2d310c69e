#include "zip/zip_file_source.h"

#include "rtl/text.h"

using namespace rtl::literals;

TZipFileSource::TZipFileSource(const std::string& fileName)
    : TZipSource(rtl::ToWide(fileName)), fileName_(fileName) {}

TZipFileSource::~TZipFileSource() {
  if (file_ != os::kNoFile) os::FileClose(file_);
}

// The name must convert exactly: a near match would be another file.
bool TZipFileSource::Open(std::u16string& reason) {
  reason = "archive not found"_w;
  if (!os::FileExists(Name())) return false;
  reason = "cannot open the archive"_w;
  std::u16string exact;
  if (rtl::ToWideExact(fileName_, exact))
    file_ = os::FileOpen(exact, os::Access::Read, os::Share::Read).handle;
  if (file_ == os::kNoFile) return false;
  size_ = os::FileSeek(file_, 0, 2);
  return size_ >= 0;
}

bool TZipFileSource::ReadAt(std::int64_t offset, void* buffer, std::size_t size) {
  const auto count = static_cast<std::int32_t>(size);
  return os::FileSeek(file_, offset, 0) == offset && os::FileRead(file_, buffer, count) == count;
}
