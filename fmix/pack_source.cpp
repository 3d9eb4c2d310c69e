#include "fmix/pack_source.h"

#include <algorithm>
#include <cstring>

#include "fmix/cli_error.h"
#include "fmix/hex_bytes.h"
#include "os/os.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "unit_pack_files/file_mix_records.h"
#include "unit_pack_files/pack_locator.h"
#include "velm_stream/tv_file_stream.h"
#include "velm_stream/tv_memory_stream.h"

namespace {

// Open mode: read access, others may read but not write.
constexpr std::uint16_t kOpenShareRead = 32;

bool IsPack(const char* head, std::uint64_t size) {
  return size >= sizeof kFileMixMagic && std::memcmp(head, kFileMixMagic, sizeof kFileMixMagic) == 0;
}

}  // namespace

TPackSource::TPackSource(const std::string& fileName) {
  if (!rtl::FileExists(rtl::ToWide(fileName))) throw FileError(fileName, "no such file");
  char head[sizeof(TFileMixHeader)] = {};
  std::int64_t size = -1;
  try {
    TVFileStream file(fileName, kOpenShareRead);
    size = file.GetSize();
    file.Read(head, sizeof head);
  } catch (const Exception&) {
  }
  if (size < 0) throw FileError(fileName, "cannot be opened for reading", os::LastFailure());
  if (IsPack(head, static_cast<std::uint64_t>(size))) {
    CheckDirectory(fileName, head, static_cast<std::uint64_t>(size));
    packFile_ = fileName;
    packSize_ = static_cast<std::uint64_t>(size);
  } else {
    LoadAppended(fileName);
  }
}

TFileMixReader& TPackSource::Reader() {
  if (!reader_) reader_ = std::make_unique<TFileMixReader>(packFile_);
  return *reader_;
}

void TPackSource::LoadAppended(const std::string& fileName) {
  TVMemoryStream copy;
  bool found = false;
  try {
    found = LoadAppendedPack(rtl::ToWide(fileName), copy, true);
  } catch (const EInOutError&) {
    // Too short for the header fields of an image.
  }
  if (!found) throw FileError(fileName, "neither a pack nor an executable with a pack appended");
  const std::uint64_t size = static_cast<std::uint64_t>(copy.Size());
  if (!IsPack(copy.Memory(), size))
    throw FileError(fileName, "the data after the image's last section is no pack: it begins " +
                                  HexBytes(copy.Memory(), static_cast<std::size_t>(std::min<std::uint64_t>(size, 8))) + ", not \"fMix\"");
  CheckDirectory(fileName, copy.Memory(), size);
  temp_ = std::make_unique<TTempFile>(".pack");
  copy.SaveToFile(temp_->Name());
  packFile_ = temp_->Name();
  packSize_ = size;
}

// A pack cut off inside its header or directory is refused here, with the
// reason, rather than by the reader's format error.
void TPackSource::CheckDirectory(const std::string& fileName, const char* head,
                                 std::uint64_t size) {
  TFileMixHeader header;
  if (size < sizeof header) throw FileError(fileName, "the pack is cut off inside its header");
  std::memcpy(&header, head, sizeof header);
  if (size < sizeof header + std::uint64_t{sizeof(TFileMixEntry)} * header.EntryCount)
    throw FileError(fileName, "the pack is cut off inside its directory of " +
                                  std::to_string(header.EntryCount) + " entries");
}
