#include "fmix/host/pack_source.h"

#include <algorithm>
#include <cstring>

#include "fmix/report/cli_error.h"
#include "fmix/report/hex_bytes.h"
#include "fmix/host/output_file.h"
#include "os/os.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "unit_pack_files/file_mix_directory.h"
#include "unit_pack_files/file_mix_records.h"
#include "unit_pack_files/pack_locator.h"
#include "velm_stream/tv_file_stream.h"
#include "velm_stream/tv_memory_stream.h"

namespace {

bool IsPack(const char* head, std::uint64_t size) {
  return size >= sizeof kFileMixMagic && std::memcmp(head, kFileMixMagic, sizeof kFileMixMagic) == 0;
}

}  // namespace

TPackSource::TPackSource(const std::string& fileName) : fileName_(fileName) {
  if (!rtl::FileExists(rtl::ToWide(fileName))) throw FileError(fileName, "no such file");
  if (!CheckPackFile()) LoadAppended();
}

// A pack file is checked here and read by Reader() on first use.
bool TPackSource::CheckPackFile() {
  const std::unique_ptr<TVFileStream> file = OpenFile();
  const std::int64_t size = file->GetSize();
  if (size < 0) throw FileError(fileName_, "cannot be opened for reading");
  char head[sizeof kFileMixMagic] = {};
  file->Read(head, sizeof head);
  if (!IsPack(head, static_cast<std::uint64_t>(size))) return false;
  CheckDirectory(*file);
  packSize_ = static_cast<std::uint64_t>(size);
  return true;
}

TFileMixReader& TPackSource::Reader() {
  if (!reader_) reader_ = std::make_unique<TFileMixReader>(fileName_);
  return *reader_;
}

void TPackSource::WriteTo(TOutputFile& out) const {
  if (copy_)
    out.Write(copy_->Memory(), static_cast<std::size_t>(copy_->Size()));
  else
    CopyPackFile(out);
}

std::unique_ptr<TVFileStream> TPackSource::OpenFile() const {
  TVFileStream::Opened opened = TVFileStream::TryOpen(fileName_, TVFileStream::kOpenShareRead);
  if (!opened.stream) throw FileError(fileName_, "cannot be opened for reading", os::FailureText(opened.failure));
  return std::move(opened.stream);
}

void TPackSource::CopyPackFile(TOutputFile& out) const {
  const std::unique_ptr<TVFileStream> in = OpenFile();
  const std::int64_t size = in->GetSize();
  std::unique_ptr<char[]> buffer(new char[TVStream::kCopyChunk]);
  std::int64_t copied = 0;
  while (std::int32_t n = in->Read(buffer.get(), TVStream::kCopyChunk)) {
    out.Write(buffer.get(), static_cast<std::size_t>(n));
    copied += n;
  }
  if (copied != size) throw FileError(fileName_, "read failed");
}

// The reader is made at once and keeps the copy: no file stays open for it.
void TPackSource::LoadAppended() {
  auto copy = std::make_unique<TVMemoryStream>();
  bool found = false;
  try {
    found = LoadAppendedPack(rtl::ToWide(fileName_), *copy, true);
  } catch (const EInOutError&) {
    // Too short for the header fields of an image.
  }
  if (!found) throw FileError(fileName_, "neither a pack nor an executable with a pack appended");
  const std::uint64_t size = static_cast<std::uint64_t>(copy->Size());
  if (!IsPack(copy->Memory(), size))
    throw FileError(fileName_, "the data after the image's last section is no pack: it begins " +
                                   HexBytes(copy->Memory(), static_cast<std::size_t>(std::min<std::uint64_t>(size, 8))) + ", not \"fMix\"");
  CheckDirectory(*copy);
  copy_ = copy.get();
  packSize_ = size;
  reader_ = std::make_unique<TFileMixReader>(std::move(copy), fileName_);
}

// A pack cut off inside its header or directory is refused here, with the
// reason, rather than by the reader's format error.
void TPackSource::CheckDirectory(TVStream& pack) const {
  TFileMixDirectory directory(pack);
  for (TFileMixEntry record; directory.Next(record);) continue;  // read, not kept: only their count matters
  if (directory.Found() == TFileMixDirectory::State::kHeaderCut)
    throw FileError(fileName_, "the pack is cut off inside its header");
  if (directory.Found() == TFileMixDirectory::State::kRecordsCut)
    throw FileError(fileName_, "the pack is cut off inside its directory of " +
                                   std::to_string(directory.Declared()) + " entries");
}
