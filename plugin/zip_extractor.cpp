#include "plugin/zip_extractor.h"

#include <cstring>
#include <new>

#include "os/os.h"
#include "zip/archive_names.h"
#include "zip/unpackable_entries.h"
#include "rtl/entry_name.h"
#include "zip/archive_reader.h"
#include "zip/zip_reader.h"
#include "rtl/text.h"

namespace {

// The suffix of a file while it is being written.
constexpr char16_t kPartSuffix[] = u".yz1part";
// Files up to this size are unpacked and checked in memory, then written
// once under their final name: for many small files, a temporary name and a
// rename each cost more than the writing.
constexpr std::size_t kInMemory = 1 << 20;

// The sink that writes an entry's bytes to a file; failed tells a refused
// write from a failure of the reader's.
struct TFileSink {
  os::FileHandle file;
  bool failed;
};

bool WriteToFile(void* context, const char* data, std::size_t size) {
  TFileSink& sink = *static_cast<TFileSink*>(context);
  sink.failed = os::FileWrite(sink.file, data, static_cast<std::int32_t>(size)) != static_cast<std::int32_t>(size);
  return !sink.failed;
}

// The sink that gathers a small entry's bytes in memory.
struct TMemorySink {
  char* data;
  std::size_t size;
  std::size_t capacity;
};

bool AppendToMemory(void* context, const char* data, std::size_t size) {
  TMemorySink& sink = *static_cast<TMemorySink*>(context);
  if (size > sink.capacity - sink.size) return false;
  std::memcpy(sink.data + sink.size, data, size);
  sink.size += size;
  return true;
}

// Problems one to a line.
std::u16string Lines(const std::vector<std::u16string>& problems) {
  std::u16string lines;
  for (const std::u16string& problem : problems) lines += (lines.empty() ? u"" : u"\n") + problem;
  return lines;
}

}  // namespace

TZipExtractor::TZipExtractor(TArchiveReader& reader, std::u16string folder)
    : reader_(reader), folder_(std::move(folder)), memory_(new (std::nothrow) char[kInMemory]) {}

TZipExtractor::~TZipExtractor() = default;

bool TZipExtractor::ExtractAll() {
  const TUnpackableEntries unpackable(reader_.Entries());
  if (!unpackable.Problems().empty()) return Fail(Lines(unpackable.Problems()));
  const TArchiveNames names(reader_.Entries());
  if (!names.Problem().empty()) return Fail(names.Problem());
  if (!MakeFolder(folder_, folder_)) return false;
  for (const TZipEntry& entry : reader_.Entries()) {
    const TEntryName name(entry.name);
    const std::u16string path = folder_ + name.LocalPath();
    if (name.Path().empty()) continue;
    if (name.IsFolder()) {
      if (!MakeFolder(path, entry.name)) return false;
      continue;
    }
    if (!MakeFolder(rtl::ExtractFilePath(path), entry.name)) return false;
    const bool small = memory_ && entry.size <= kInMemory;
    if (!(small ? ExtractSmallFile(entry, path) : ExtractFile(entry, path))) return false;
    ++files_;
  }
  return true;
}

bool TZipExtractor::Fail(std::u16string message) {
  failure_ = std::move(message);
  return false;
}

// Entries come folder by folder, so the folder last made is remembered
// rather than looked up again for each file in it.
bool TZipExtractor::MakeFolder(const std::u16string& path, const std::u16string& name) {
  if (path == lastFolder_) return true;
  if (!rtl::CreateFolders(path)) return Fail(u"cannot create the folder for " + TEntryName::Shown(name));
  lastFolder_ = path;
  return true;
}

// Unpacked and checked in memory, then written under its final name; a
// failed write removes what it wrote.
bool TZipExtractor::ExtractSmallFile(const TZipEntry& entry, const std::u16string& path) {
  TMemorySink memory{memory_.get(), 0, kInMemory};
  const std::u16string shown = TEntryName::Shown(entry.name);
  if (!reader_.Extract(entry, AppendToMemory, &memory))
    return Fail(reader_.Failure().empty() ? u"damaged data: " + shown : reader_.Failure());
  const os::FileHandle file = os::FileCreate(path).handle;
  if (file == os::kNoFile) return Fail(u"cannot create " + shown);
  const auto size = static_cast<std::int32_t>(memory.size);
  const bool written = size == 0 || os::FileWrite(file, memory.data, size) == size;
  os::FileClose(file);
  if (written) return true;
  os::RemoveFile(path);
  return Fail(u"cannot write " + shown);
}

// Written under a temporary name, renamed into place once complete.
bool TZipExtractor::ExtractFile(const TZipEntry& entry, const std::u16string& path) {
  const std::u16string part = path + kPartSuffix;
  TFileSink sink{os::FileCreate(part).handle, false};
  const std::u16string shown = TEntryName::Shown(entry.name);
  if (sink.file == os::kNoFile) return Fail(u"cannot create " + shown);
  const bool written = reader_.Extract(entry, WriteToFile, &sink);
  os::FileClose(sink.file);
  if (written && os::RenameFile(part, path)) return true;
  os::RemoveFile(part);
  if (!written) return Fail(sink.failed ? u"cannot write " + shown : reader_.Failure());
  return Fail(u"cannot create " + shown);
}
