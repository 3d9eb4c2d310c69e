#include "plugin/zip_extractor.h"

#include "os/os.h"
#include "plugin/archive_names.h"
#include "plugin/entry_name.h"
#include "plugin/zip_reader.h"
#include "rtl/exception.h"
#include "rtl/folders.h"
#include "rtl/text.h"

namespace {

// The suffix of a file while it is being written.
constexpr char16_t kPartSuffix[] = u".yz1part";

}  // namespace

TZipExtractor::TZipExtractor(TZipReader& reader, std::u16string folder)
    : reader_(reader), folder_(std::move(folder)) {}

int TZipExtractor::ExtractAll() {
  CheckNames();
  MakeFolder(folder_, folder_);
  int files = 0;
  for (const TZipEntry& entry : reader_.Entries()) {
    const TEntryName name(entry.name);
    const std::u16string path = folder_ + name.LocalPath();
    if (name.Path().empty()) continue;
    if (name.IsFolder()) {
      MakeFolder(path, entry.name);
      continue;
    }
    MakeFolder(rtl::ExtractFilePath(path), entry.name);
    ExtractFile(entry, path);
    ++files;
  }
  return files;
}

void TZipExtractor::CheckNames() const {
  const TArchiveNames names(reader_.Entries());
  if (!names.Problem().empty()) throw Exception(names.Problem());
}

void TZipExtractor::MakeFolder(const std::u16string& path, const std::u16string& name) const {
  if (!rtl::ForceDirectories(path)) throw Exception(u"cannot create the folder for " + name);
}

void TZipExtractor::ExtractFile(const TZipEntry& entry, const std::u16string& path) {
  const std::u16string part = path + kPartSuffix;
  const os::FileHandle file = os::FileCreate(part);
  if (file == os::kNoFile) throw Exception(u"cannot create " + entry.name);
  try {
    reader_.Extract(entry, [&](const char* data, std::size_t size) {
      if (os::FileWrite(file, data, static_cast<std::int32_t>(size)) !=
          static_cast<std::int32_t>(size))
        throw Exception(u"cannot write " + entry.name);
    });
  } catch (...) {
    os::FileClose(file);
    os::RemoveFile(part);
    throw;
  }
  os::FileClose(file);
  if (!os::RenameFile(part, path)) {
    os::RemoveFile(part);
    throw Exception(u"cannot create " + entry.name);
  }
}
