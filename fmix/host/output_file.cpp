#include "fmix/host/output_file.h"

#include <algorithm>
#include <random>

#include "fmix/report/cli_error.h"
#include "rtl/text.h"

namespace {

// Writes smaller than this are gathered; the most one system call takes.
constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::size_t kWriteChunk = std::size_t{1} << 30;

}  // namespace

TOutputFile::TOutputFile(const std::string& target) : target_(target) {
  std::random_device seed;
  std::uint32_t failure = 0;
  for (int attempt = 0; attempt < 100 && file_ == os::kNoFile; ++attempt) {
    temp_ = target + ".tmp" + std::to_string(seed() % 1000000);
    const os::Opened created = os::FileCreateNew(rtl::ToWide(temp_));
    file_ = created.handle;
    failure = created.failure;
  }
  if (file_ == os::kNoFile) throw FileError(target, "cannot create the output file", os::FailureText(failure));
}

TOutputFile::~TOutputFile() {
  if (committed_) return;
  if (file_ != os::kNoFile) os::FileClose(file_);
  os::RemoveFile(rtl::ToWide(temp_));
}

void TOutputFile::Write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  if (buffer_.size() + size > kBufferSize) {
    WriteThrough(buffer_.data(), buffer_.size());
    buffer_.clear();
  }
  if (size < kBufferSize)
    buffer_.append(bytes, size);
  else
    WriteThrough(bytes, size);
  written_ += size;
}

void TOutputFile::WriteThrough(const char* bytes, std::size_t size) {
  for (std::size_t done = 0; done < size;) {
    const auto chunk = static_cast<std::int32_t>(std::min(size - done, kWriteChunk));
    const std::int32_t written = file_ == os::kNoFile ? 0 : os::FileWrite(file_, bytes + done, chunk);
    if (written <= 0) throw FileError(target_, "write failed");
    done += static_cast<std::size_t>(written);
  }
}

void TOutputFile::Close() {
  if (file_ == os::kNoFile) return;
  WriteThrough(buffer_.data(), buffer_.size());
  buffer_.clear();
  os::FileClose(file_);
  file_ = os::kNoFile;
}

void TOutputFile::Commit() {
  Close();
  const os::Done renamed = os::RenameFile(rtl::ToWide(temp_), rtl::ToWide(target_));
  if (!renamed) throw FileError(target_, "cannot rename into place", os::FailureText(renamed.failure));
  committed_ = true;
}
