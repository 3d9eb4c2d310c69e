// TSetupVerifier's checks of the archive ARC.YZ1, read with the plug-in's own
// readers: its names, its files' CRCs or xz check, and its size.

#include "fmix/verify/setup_verifier.h"

#include <algorithm>
#include <memory>

#include "fmix/verify/setup_verifier_paths.h"
#include "rtl/entry_name.h"
#include "tar_xz/archive_format.h"
#include "tar_xz/tar_reader.h"
#include "zip/archive_names.h"
#include "zip/unpackable_entries.h"
#include "zip/zip_memory_source.h"
#include "zip/zip_name_decoder.h"
#include "zip/zip_reader.h"

namespace {

// How many names a line shows before "and N more".
constexpr std::size_t kNamesShown = 3;

// Names of one kind: how many, and the first kNamesShown of them, so that a
// million entries cost no more than their count.
struct NameSample {
  std::size_t count = 0;
  std::vector<std::u16string> first;
  void Add(const std::u16string& name) {
    if (++count <= kNamesShown) first.push_back(name);
  }
};

// "N entries" or "1 entry", then the first few names.
std::string NameList(const NameSample& names) {
  std::string list = std::to_string(names.count) + (names.count == 1 ? " entry (" : " entries (");
  for (std::size_t i = 0; i < names.first.size(); ++i) list += (i ? ", " : "") + Quoted(names.first[i]);
  if (names.count > kNamesShown) list += " and " + std::to_string(names.count - kNamesShown) + " more";
  return list + ")";
}

// A payload far larger than its archive, by both a ratio and a size, is
// most likely a decompression bomb (deflate reaches about 1000:1, xz some
// 7000:1, on nothing but runs of one byte); one larger than kDiskSize fills
// more than a system disk is likely to have free.
constexpr std::uint64_t kBombRatio = 1000;
constexpr std::uint64_t kBombSize = std::uint64_t{1} << 30;
constexpr std::uint64_t kDiskSize = std::uint64_t{256} << 30;
// Of such a payload in a ZIP, verify decodes no more than this to check
// CRCs, so that a bomb costs seconds, not minutes.
constexpr std::uint64_t kBombCheck = std::uint64_t{1} << 30;

std::string Megabytes(std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

// Files and folders that macOS's Archive Utility adds: resource forks and
// Finder data under __MACOSX/, and "._" files beside the files.
bool IsMacMetadata(const TEntryName& name) {
  const std::u16string& path = name.Path();
  const std::size_t slash = path.rfind(u'/');
  return path.rfind(u"__MACOSX/", 0) == 0 || path == u"__MACOSX" ||
         path.compare(slash == std::u16string::npos ? 0 : slash + 1, 2, u"._") == 0;
}

}  // namespace

void TSetupVerifier::CheckArchive() {
  const TFileMixEntry* entry =
      Unpacked(u"ARC.YZ1", "archive", "no entry arc.yz1: the launcher shows the box \"ERROR\"");
  if (!entry) return;
  const std::string data = Data(*entry);
  if (ourPlugin_ || data.compare(0, 2, "PK") == 0)
    CheckContent(data);
  else
    Add(Kind::kWarn, "archive", "\"" + Shown(*entry) + "\" is no ZIP archive; its content is not checked");
}

// The archive read by the plug-in's own choice of reader and name rule: its
// names must pass the plug-in's checks and every entry must unpack with a
// matching CRC (ZIP) or within a stream whose xz check holds (the solid
// format). Our plug-in of before the solid format reads nothing but ZIP.
void TSetupVerifier::CheckContent(const std::string& data) {
  TZipMemorySource archive(data.data(), data.size(), u"ARC.YZ1");
  const bool solid = TTarReader::Recognises(archive);
  if (solid && !solidPlugin_) {
    Add(Kind::kFail, "archive", "ARC.YZ1 is an xz-compressed tar (the solid format), which this plug-in does "
                                "not read: take yz1.dll from a newer fmix");
    return;
  }
  const std::unique_ptr<TArchiveReader> owned = MakeArchiveReader(archive);
  TArchiveReader& reader = *owned;
  if (!reader.Open(archive, TZipNameDecoder(codePage_.Number(), codePage_.Oem()))) {
    Add(Kind::kFail, "archive", Printable(reader.Failure()));
    return;
  }
  if (reader.BytesBefore() != 0)
    Add(Kind::kNote, "archive", std::to_string(reader.BytesBefore()) +
                                    " bytes before the archive; offsets adjusted, as the plug-in reads them");
  const TUnpackableEntries unpackable(reader.Entries());
  for (const std::u16string& problem : unpackable.Problems()) Add(Kind::kFail, "archive", Printable(problem));
  const TArchiveNames names(reader.Entries());
  if (!names.Problem().empty()) Add(Kind::kFail, "archive", Printable(names.Problem()));
  if (!unpackable.Problems().empty() || !names.Problem().empty()) return;
  NoteNames(reader.Entries());
  CheckFiles(reader, solid, PayloadBudget(reader.Entries(), data.size(), solid));
}

// The CRC of each file, in archive order, as long as the budget of bytes
// lasts. A solid archive's reader decoded the whole stream on opening and
// checked it there: its files are not decoded again.
void TSetupVerifier::CheckFiles(TArchiveReader& reader, bool solid, std::uint64_t budget) {
  bool passed = true, decoding = !solid;
  std::size_t undecoded = 0;
  for (const TZipEntry& entry : reader.Entries()) {
    const TEntryName name(entry.name);
    if (name.IsFolder()) continue;
    decoding = decoding && entry.size <= budget;
    if (decoding) {
      budget -= entry.size;
      if (!reader.Extract(entry, [](void*, const char*, std::size_t) { return true; }, nullptr)) {
        Add(Kind::kFail, "archive", Printable(reader.Failure()));
        passed = false;
        continue;
      }
    } else if (!solid) {
      ++undecoded;
    }
    zipFiles_.insert(PathKey(name.Path()));
  }
  zipChecked_ = true;
  if (!passed) return;
  const std::string count = std::to_string(reader.Entries().size()) + " entries";
  if (solid)
    Add(Kind::kOk, "archive", "xz-compressed tar of " + count + ", the xz check holds");
  else if (undecoded)
    Add(Kind::kOk, "archive", "ZIP archive of " + count + ", the CRCs of the files decoded check (" +
                                  std::to_string(undecoded) + (undecoded == 1 ? " file" : " files") + " not decoded)");
  else
    Add(Kind::kOk, "archive", "ZIP archive of " + count + ", every CRC checks");
}

// A warning for a payload far larger than its archive or than a disk;
// returns how many of a ZIP's bytes verify decodes: all of an ordinary one.
std::uint64_t TSetupVerifier::PayloadBudget(const std::vector<TZipEntry>& entries, std::uint64_t archiveSize,
                                            bool solid) {
  std::uint64_t payload = 0;
  for (const TZipEntry& entry : entries) payload += entry.size;
  const bool bomb = payload > kBombSize && payload / kBombRatio > archiveSize;
  if (!bomb && payload <= kDiskSize) return payload;
  std::string text = "its files add up to " + Megabytes(payload);
  text += bomb ? ", " + std::to_string(payload / std::max<std::uint64_t>(archiveSize, 1)) + " times the " +
                     std::to_string(archiveSize) + " bytes of the archive (a decompression bomb?)"
               : ", more than a system disk is likely to have free";
  text += ": the plug-in needs that much free space in the temporary folder";
  Add(Kind::kWarn, "archive", solid ? text : text + "; verify decodes the first " + Megabytes(kBombCheck) +
                                                 " of them to check CRCs");
  return solid ? payload : kBombCheck;
}

// macOS metadata is unpacked like any file; paths that pass MAX_PATH under
// a real user's unpack folder are written (the plug-in takes long paths),
// but an installer that opens its files by such paths fails.
void TSetupVerifier::NoteNames(const std::vector<TZipEntry>& entries) {
  NameSample metadata, longPaths;
  std::size_t longest = 0;
  for (const TZipEntry& entry : entries) {
    const TEntryName name(entry.name);
    if (IsMacMetadata(name)) metadata.Add(entry.name);
    if (kTempFolderLength + name.Path().size() < kMaxPath) continue;
    longPaths.Add(entry.name);
    longest = std::max(longest, kTempFolderLength + name.Path().size());
  }
  if (metadata.count)
    Add(Kind::kNote, "archive", NameList(metadata) + " are macOS metadata, unpacked as files");
  if (longPaths.count)
    Add(Kind::kWarn, "archive", "under a temporary folder of " + std::to_string(kTempFolderLength) +
                                    " characters the paths of " + NameList(longPaths) + " reach up to " +
                                    std::to_string(longest) + " characters, past MAX_PATH (" +
                                    std::to_string(kMaxPath) + "): the plug-in writes them, the installer may "
                                    "not cope; shorten the folders");
}

bool TSetupVerifier::IsZipFile(const std::u16string& path) const {
  return zipFiles_.count(PathKey(path)) != 0;
}
