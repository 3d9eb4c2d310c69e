#include "plugin/zip_extractor.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "os/os.h"
#include "zip/archive_names.h"
#include "zip/unpackable_entries.h"
#include "rtl/entry_name.h"
#include "zip/archive_reader.h"
#include "zip/zip_reader.h"
#include "rtl/small_division.h"
#include "rtl/text.h"

using namespace rtl::literals;

namespace {

// Files up to this size are unpacked and checked in memory, then written
// once under their final name: for many small files, a temporary name and a
// rename each cost more than the writing.
constexpr std::size_t kInMemory = 1 << 20;
// A file takes whole clusters of its volume: 4 KiB on NTFS volumes up to
// 16 TB and on most others. Counting each file in clusters keeps many small
// files from being counted short (a file that NTFS keeps in its directory
// record is counted over, which errs on the safe side).
constexpr std::uint64_t kCluster = 4096;
// Sizes in messages are in tenths of a megabyte (10^6 bytes).
constexpr std::uint64_t kTenthMegabyte = 100000;
// Names tried for a large file while it is written: "~0.yz1part" to
// "~15.yz1part" in the target folder.
constexpr int kPartNames = 16;

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
  for (const std::u16string& problem : problems) lines += (lines.empty() ? ""_w : "\n"_w) + problem;
  return lines;
}

// The folder as its user knows it, without the \\?\ prefix of long paths.
std::u16string ShownFolder(const std::u16string& folder) {
  if (folder.rfind(u"\\\\?\\UNC\\", 0) == 0) return "\\\\"_w + folder.substr(8);
  return folder.rfind(u"\\\\?\\", 0) == 0 ? folder.substr(4) : folder;
}

// Bytes in whole tenths of a megabyte: 100,000 is 32 times 3,125.
std::uint64_t Tenths(std::uint64_t bytes) {
  static_assert(kTenthMegabyte == 32 * 3125);
  return rtl::DivideSmall(bytes >> 5, 3125);
}

// Tenths of a megabyte as text, "6.1 MB"; beyond 214 TB as 214 TB.
std::u16string Megabytes(std::uint64_t tenths) {
  const auto shown = static_cast<std::int32_t>(std::min<std::uint64_t>(tenths, INT32_MAX));
  return rtl::Format("%d.%d MB"_w, shown / 10, shown % 10);
}

// A new file in folder for a large entry's bytes, its name in part. An
// entry may hold such a name too, but the file is made new (an entry
// written before is never written through) and renamed into place before
// the next entry is written. Short and in the target folder itself, it
// passes no limit of Windows that the entry's own name keeps.
os::FileHandle CreatePart(const std::u16string& folder, std::u16string& part) {
  for (int i = 0; i < kPartNames; ++i) {
    part = folder + "~"_w + rtl::ToWide(std::to_string(i)) + ".yz1part"_w;
    const os::FileHandle file = os::FileCreateNew(part).handle;
    if (file != os::kNoFile) return file;
  }
  return os::kNoFile;
}

}  // namespace

TZipExtractor::TZipExtractor(TArchiveReader& reader, std::u16string folder)
    : reader_(reader), folder_(std::move(folder)), lastFolder_(folder_),
      memory_(static_cast<char*>(std::malloc(kInMemory))) {}

TZipExtractor::~TZipExtractor() = default;

bool TZipExtractor::ExtractAll() {
  const TUnpackableEntries unpackable(reader_.Entries());
  if (!unpackable.Problems().empty()) return Fail(Lines(unpackable.Problems()));
  const TArchiveNames names(reader_.Entries());
  if (!names.Problem().empty()) return Fail(names.Problem());
  if (!rtl::CreateFolders(folder_)) return Fail("cannot create the folder for "_w + TEntryName::Shown(folder_));
  if (!CheckSpace()) return false;
  for (std::size_t i = 0; i < reader_.Entries().size(); ++i)
    if (!ExtractEntry(i)) {
      RemoveWritten(i);
      return false;
    }
  return true;
}

bool TZipExtractor::Fail(std::u16string message) {
  failure_ = std::move(message);
  return false;
}

// The files' bytes in clusters against the volume's free space; a volume
// that tells nothing is not refused.
bool TZipExtractor::CheckSpace() {
  std::uint64_t needed = 0, free = 0;
  for (const TZipEntry& entry : reader_.Entries()) needed += (entry.size + kCluster - 1) / kCluster * kCluster;
  if (!os::FreeSpace(folder_, free) || needed <= free) return true;
  return Fail("not enough space on "_w + ShownFolder(folder_) + " to unpack: needs "_w +
              Megabytes(Tenths(needed + kTenthMegabyte - 1)) + ", "_w + Megabytes(Tenths(free)) +
              " free"_w);
}

bool TZipExtractor::ExtractEntry(std::size_t index) {
  const TZipEntry& entry = reader_.Entries()[index];
  const TEntryName name(entry.name);
  if (name.Path().empty()) return true;
  const std::u16string path = folder_ + name.LocalPath();
  if (name.IsFolder()) return MakeFolders(path + os::kPathDelimiter, index, entry.name);
  if (!MakeFolders(rtl::ExtractFilePath(path), index, entry.name)) return false;
  const bool small = memory_ && entry.size <= kInMemory;
  if (!(small ? ExtractSmallFile(entry, path) : ExtractFile(entry, path))) return false;
  ++files_;
  return true;
}

// Entries come folder by folder, so the folders on the way to the one made
// last are known to exist; below them, folder's components are made one by
// one, each through one growing path, so that a deep path costs its length
// once. Those this run creates are recorded for RemoveWritten.
bool TZipExtractor::MakeFolders(const std::u16string& folder, std::size_t index, const std::u16string& name) {
  if (folder == lastFolder_) return true;
  const auto same = static_cast<std::size_t>(
      std::mismatch(folder.begin(), folder.end(), lastFolder_.begin(), lastFolder_.end()).first - folder.begin());
  std::u16string part = folder.substr(0, folder.rfind(os::kPathDelimiter, same - 1) + 1);
  while (part.size() < folder.size()) {
    part.append(folder, part.size(), folder.find(os::kPathDelimiter, part.size()) - part.size());
    if (os::MakeDirectory(part))
      madeFolders_.emplace_back(index, part.size());
    else if (!os::DirectoryExists(part))
      return Fail("cannot create the folder for "_w + TEntryName::Shown(name));
    part += os::kPathDelimiter;
  }
  lastFolder_ = folder;
  return true;
}

// Unpacked and checked in memory, then written under its final name; a
// failed write removes what it wrote.
bool TZipExtractor::ExtractSmallFile(const TZipEntry& entry, const std::u16string& path) {
  TMemorySink memory{memory_.get(), 0, kInMemory};
  const std::u16string shown = TEntryName::Shown(entry.name);
  if (!reader_.Extract(entry, AppendToMemory, &memory))
    return Fail(reader_.Failure().empty() ? "damaged data: "_w + shown : reader_.Failure());
  const os::FileHandle file = os::FileCreate(path).handle;
  if (file == os::kNoFile) return Fail("cannot create "_w + shown);
  const auto size = static_cast<std::int32_t>(memory.size);
  const bool written = size == 0 || os::FileWrite(file, memory.data, size) == size;
  os::FileClose(file);
  if (written) return true;
  os::RemoveFile(path);
  return Fail("cannot write "_w + shown);
}

// Written under a temporary name, renamed into place once complete.
bool TZipExtractor::ExtractFile(const TZipEntry& entry, const std::u16string& path) {
  std::u16string part;
  TFileSink sink{CreatePart(folder_, part), false};
  const std::u16string shown = TEntryName::Shown(entry.name);
  if (sink.file == os::kNoFile) return Fail("cannot create "_w + shown);
  const bool written = reader_.Extract(entry, WriteToFile, &sink);
  os::FileClose(sink.file);
  if (written && os::RenameFile(part, path)) return true;
  os::RemoveFile(part);
  if (!written) return Fail(sink.failed ? "cannot write "_w + shown : reader_.Failure());
  return Fail("cannot create "_w + shown);
}

// After a failure at entry number entries: the files of the entries before
// it, then the folders this run created, the deepest first (each was made
// after the folder that holds it). A folder that holds something else stays.
void TZipExtractor::RemoveWritten(std::size_t entries) {
  const std::vector<TZipEntry>& all = reader_.Entries();
  for (std::size_t i = 0; i < entries; ++i) {
    const TEntryName name(all[i].name);
    if (!name.IsFolder() && !name.Path().empty()) os::RemoveFile(folder_ + name.LocalPath());
  }
  std::size_t index = all.size();
  std::u16string path;
  for (auto made = madeFolders_.rbegin(); made != madeFolders_.rend(); ++made) {
    if (made->first != index) path = folder_ + TEntryName(all[index = made->first].name).LocalPath();
    path.resize(made->second);
    os::RemoveFolder(path);
  }
}
