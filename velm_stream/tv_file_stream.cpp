#include "velm_stream/tv_file_stream.h"

#include "rtl/exception.h"
#include "rtl/text.h"

namespace {

// Translates an open mode into the platform's access and sharing; false for
// the modes that have no meaning (access bits 3, sharing bits above 4).
bool DecodeMode(std::uint16_t mode, os::Access& access, os::Share& share) {
  static const os::Access kAccess[] = {os::Access::Read, os::Access::Write, os::Access::ReadWrite};
  static const os::Share kShare[] = {os::Share::None, os::Share::None, os::Share::Read,
                                     os::Share::Write, os::Share::ReadWrite};
  unsigned accessBits = mode & 0x3;
  unsigned shareBits = (mode & 0xF0) >> 4;
  if (accessBits == 3 || shareBits > 4) return false;
  access = kAccess[accessBits];
  share = kShare[shareBits];
  return true;
}

[[noreturn]] void OpenError(const std::u16string& name) {
  throw EInOutError(rtl::Format(u"ファイル『%s』の生成エラー", name));
}

}  // namespace

TVFileStream::TVFileStream(const std::string& fileName, std::uint16_t mode) {
  std::u16string name;
  if (!rtl::ToWideExact(fileName, name)) OpenError(name);
  handle_ = OpenHandle(name, mode).handle;
  if (handle_ < 0) OpenError(name);
}

TVFileStream::TVFileStream(const std::u16string& fileName, std::uint16_t mode)
    : handle_(OpenHandle(fileName, mode).handle) {
  if (handle_ < 0) OpenError(fileName);
}

// The stream is made first, so that no handle is left open when memory runs
// out.
TVFileStream::Opened TVFileStream::TryOpen(const std::string& fileName, std::uint16_t mode) {
  std::u16string name;
  if (!rtl::ToWideExact(fileName, name)) return {nullptr, 0};
  return TryOpen(name, mode);
}

TVFileStream::Opened TVFileStream::TryOpen(const std::u16string& fileName, std::uint16_t mode) {
  std::unique_ptr<TVFileStream> stream(new TVFileStream());
  const os::Opened opened = OpenHandle(fileName, mode);
  if (opened.handle < 0) return {nullptr, opened.failure};
  stream->handle_ = opened.handle;
  return {std::move(stream), 0};
}

os::Opened TVFileStream::OpenHandle(const std::u16string& name, std::uint16_t mode) {
  os::Access access;
  os::Share share;
  if (mode == kCreate) return os::FileCreate(name);
  if (mode == kCreateNew) return os::FileCreateNew(name);
  if (DecodeMode(mode, access, share)) return os::FileOpen(name, access, share);
  return {os::kNoFile, 0};
}

TVFileStream::~TVFileStream() {
  if (handle_ >= 0) os::FileClose(handle_);
}

void TVFileStream::SetSize(std::int64_t newSize) {
  Seek(newSize, 0);
  os::FileTruncate(handle_);
}

std::int32_t TVFileStream::Read(void* buffer, std::int32_t count) {
  return os::FileRead(handle_, buffer, count);
}

std::int32_t TVFileStream::Write(const void* buffer, std::int32_t count) {
  return os::FileWrite(handle_, buffer, count);
}

std::int64_t TVFileStream::Seek(std::int64_t offset, int origin) {
  return os::FileSeek(handle_, offset, origin);
}
