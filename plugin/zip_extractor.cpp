#include "plugin/zip_extractor.h"

#include "os/os.h"
#include "zip/archive_names.h"
#include "zip/unpackable_entries.h"
#include "unit_pack_files/entry_name.h"
#include "zip/archive_reader.h"
#include "zip/zip_reader.h"
#include "rtl/text.h"

namespace {

// The suffix of a file while it is being written.
constexpr char16_t kPartSuffix[] = u".yz1part";

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

// Problems one to a line.
std::u16string Lines(const std::vector<std::u16string>& problems) {
  std::u16string lines;
  for (const std::u16string& problem : problems) lines += (lines.empty() ? u"" : u"\n") + problem;
  return lines;
}

}  // namespace

TZipExtractor::TZipExtractor(TArchiveReader& reader, std::u16string folder)
    : reader_(reader), folder_(std::move(folder)) {}

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
    if (!MakeFolder(rtl::ExtractFilePath(path), entry.name) || !ExtractFile(entry, path)) return false;
    ++files_;
  }
  return true;
}

bool TZipExtractor::Fail(std::u16string message) {
  failure_ = std::move(message);
  return false;
}

bool TZipExtractor::MakeFolder(const std::u16string& path, const std::u16string& name) {
  return rtl::CreateFolders(path) || Fail(u"cannot create the folder for " + TEntryName::Shown(name));
}

// Written under a temporary name, renamed into place once complete.
bool TZipExtractor::ExtractFile(const TZipEntry& entry, const std::u16string& path) {
  const std::u16string part = path + kPartSuffix;
  TFileSink sink{os::FileCreate(part), false};
  const std::u16string shown = TEntryName::Shown(entry.name);
  if (sink.file == os::kNoFile) return Fail(u"cannot create " + shown);
  const bool written = reader_.Extract(entry, WriteToFile, &sink);
  os::FileClose(sink.file);
  if (written && os::RenameFile(part, path)) return true;
  os::RemoveFile(part);
  if (!written) return Fail(sink.failed ? u"cannot write " + shown : reader_.Failure());
  return Fail(u"cannot create " + shown);
}
