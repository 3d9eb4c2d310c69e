#include "fmix/verify/setup_verifier.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "fmix/image/authenticode.h"
#include "fmix/host/host_files.h"
#include "fmix/report/hex_bytes.h"
#include "fmix/verify/latin_decomposition.h"
#include "fmix/image/image_identity.h"
#include "fmix/image/pe_image.h"
#include "fmix/report/printable.h"
#include "fmix/verify/record_overlap.h"
#include "os/os.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "rtl/entry_name.h"
#include "unit_pack_files/file_mix_directory.h"
#include "unit_pack_files/file_mix_writer.h"
#include "unit_pack_files/pack_locator.h"
#include "unit_pack_files/scramble.h"
#include "rtl/name_case.h"
#include "velm_stream/tv_file_stream.h"
#include "tar_xz/archive_format.h"
#include "tar_xz/tar_reader.h"
#include "zip/archive_names.h"
#include "zip/unpackable_entries.h"
#include "zip/zip_memory_source.h"
#include "zip/zip_name_decoder.h"
#include "zip/zip_reader.h"

namespace {

using Kind = TSetupVerifier::Kind;

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

// The image headers lie in the first pages of the file; the pack behind
// them is read once, by the launcher's locator.
constexpr std::size_t kHeadBytes = 64 * 1024;

// The first kHeadBytes of the file (all of a smaller one) and its size.
bool ReadHead(const std::string& name, std::string& head, std::uint64_t& size) {
  const std::unique_ptr<TVFileStream> file = OpenForReading(name);
  const std::int64_t length = file ? file->GetSize() : -1;
  if (length < 0) return false;
  size = static_cast<std::uint64_t>(length);
  head.assign(static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeadBytes)), '\0');
  return ReadFully(*file, head);
}

// DLLs that every Windows the launcher runs on carries in its system folder,
// the only folder the launcher's process searches for a DLL by name.
const char* const kSystemDlls[] = {
    "advapi32.dll", "bcrypt.dll",   "comctl32.dll", "comdlg32.dll", "crypt32.dll",  "gdi32.dll",
    "imm32.dll",    "kernel32.dll", "msvcrt.dll",   "ntdll.dll",    "ole32.dll",    "oleaut32.dll",
    "rpcrt4.dll",   "secur32.dll",  "setupapi.dll", "shell32.dll",  "shlwapi.dll",  "user32.dll",
    "userenv.dll",  "uxtheme.dll",  "version.dll",  "wininet.dll",  "winmm.dll",    "ws2_32.dll"};

bool IsSystemDll(const std::string& name) {
  const std::string lower = rtl::LowerCaseAnsi(name);
  if (lower.rfind("api-ms-win-", 0) == 0) return true;  // API sets, resolved by the loader
  return std::find_if(std::begin(kSystemDlls), std::end(kSystemDlls),
                      [&](const char* dll) { return lower == dll; }) != std::end(kSystemDlls);
}

// How many of a plug-in's foreign imports a report line names.
constexpr std::size_t kShownImports = 8;

// The imports of dll that are no system DLL, joined by ", ", the first
// kShownImports of them; empty when none.
std::string ForeignImports(const TPeImage& dll) {
  std::string foreign;
  std::size_t count = 0;
  for (const std::string& name : dll.Imports())
    if (!IsSystemDll(name) && ++count <= kShownImports)
      foreign += (foreign.empty() ? "" : ", ") + Printable(name);
  if (count > kShownImports) foreign += " and " + std::to_string(count - kShownImports) + " more";
  return foreign;
}

// Within a tenth of one of the format's own limits (an entry's size, the
// pack's 32-bit offsets and size), where a larger payload would not fit.
bool NearLimit(std::uint64_t size, std::uint64_t limit) { return size > limit - limit / 10; }

// The exports by which our own plug-in makes itself known, and tells that
// it reads the solid format too.
const char kOurPluginExport[] = "VelmZipReaderVersion";
const char kSolidReaderExport[] = "VelmSolidReader";

// A report shows at most this many lines of one topic, then how many it
// left out: a hostile pack of 65,535 entries gets a few lines, not a line
// per entry.
constexpr std::size_t kMaxTopicLines = 16;

std::string Quoted(const std::u16string& text) { return "\"" + Printable(text) + "\""; }

// The path with forward slashes, as a case-blind Windows volume compares it.
std::u16string PathKey(std::u16string path) {
  std::replace(path.begin(), path.end(), u'\\', u'/');
  return TNameCase::Key(path);
}

// A real user's unpack folder, C:\Users\<name>\AppData\Local\Temp\vlkABCD.tmp_dir\,
// is about 61 characters; paths are judged under one of 70.
constexpr std::size_t kTempFolderLength = 70;
// MAX_PATH counts the terminating NUL: a path of 260 characters passes it.
constexpr std::size_t kMaxPath = 260;

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

std::string ScrambleText(std::uint8_t mode) {
  if (mode == 1 || mode == 2) return "scrambled in mode " + std::to_string(mode);
  return mode == 0 ? "stored plain (mode 0)" : "mode " + std::to_string(mode) + ", read as stored plain";
}

}  // namespace

std::string TSetupVerifier::Line::Text() const {
  static const char* const kLabels[] = {"ok   ", "note ", "warn ", "FAIL "};
  return std::string(kLabels[static_cast<int>(kind)]) + " " + topic + ": " + message;
}

TSetupVerifier::TSetupVerifier(const std::string& fileName, const std::string& runName,
                               const TCodePage& codePage)
    : fileName_(fileName), codePage_(codePage) {
  if (CheckImage()) {
    CheckPack();
    CheckIdentity();
    if (certificateSize_ != 0) CheckSignature();
    CheckConfig();
    CheckPlugin();
    CheckArchive();
    CheckInstaller();
    NoteCodePage();
    NoteScrambling();
  }
  NoteMark(runName);
  NoteLinesLeftOut();
}

bool TSetupVerifier::Passed() const {
  return failuresLeftOut_ == 0 && std::none_of(lines_.begin(), lines_.end(),
                                               [](const Line& line) { return line.kind == Kind::kFail; });
}

std::string TSetupVerifier::Verdict() const {
  const auto count = [this](Kind kind) {
    return std::count_if(lines_.begin(), lines_.end(),
                         [kind](const Line& line) { return line.kind == kind; });
  };
  const auto failures = count(Kind::kFail) + failuresLeftOut_;
  if (failures)
    return "verdict: FAIL (" + std::to_string(failures) + (failures == 1 ? " problem" : " problems") +
           "): the setup will not reach its installer";
  const auto warnings = count(Kind::kWarn);
  return "verdict: ok" + (warnings ? " (" + std::to_string(warnings) + " unchecked)" : std::string()) +
         ": the setup will reach its installer";
}

void TSetupVerifier::Add(Kind kind, const std::string& topic, const std::string& message) {
  if (++topicLines_[topic] <= kMaxTopicLines)
    lines_.push_back({kind, topic, message});
  else if (kind == Kind::kFail)
    ++failuresLeftOut_;
}

void TSetupVerifier::NoteLinesLeftOut() {
  for (const auto& [topic, count] : topicLines_)
    if (count > kMaxTopicLines)
      lines_.push_back({Kind::kNote, topic,
                        std::to_string(count - kMaxTopicLines) + " more lines of this topic left out"});
}

// The image must be a 32-bit PE image, and the launcher's locator must find
// the pack's "fMix" right where the last section's raw data ends.
bool TSetupVerifier::CheckImage() {
  std::string head;
  if (!ReadHead(fileName_, head, fileSize_) || head.empty()) {
    Add(Kind::kFail, "image", "cannot read " + Printable(fileName_));
    return false;
  }
  const TPeImage image(head);
  if (!image.Valid() || !image.Is32Bit()) {
    Add(Kind::kFail, "image", "not a 32-bit Windows executable");
    return false;
  }
  packStart_ = image.EndOfSections();
  certificateOffset_ = image.CertificateOffset();
  certificateSize_ = image.CertificateSize();
  return StagePack() && CheckPackStart();
}

// Copies out what the launcher copies, with the launcher's own locator.
bool TSetupVerifier::StagePack() {
  bool found = false;
  try {
    found = LoadAppendedPack(rtl::ToWide(fileName_), packCopy_, true);
  } catch (const Exception& e) {
    Add(Kind::kFail, "image", "the launcher cannot read it: " + Printable(e.Message()));
    return false;
  }
  pack_ = std::string_view(packCopy_.Memory(), static_cast<std::size_t>(packCopy_.Size()));
  if (!found || packStart_ >= fileSize_) {
    Add(Kind::kFail, "image", "nothing the launcher takes for a pack follows the last section (ends at " +
                                  Hex(packStart_) + "; the file has " + std::to_string(fileSize_) + " bytes)");
    return false;
  }
  if (pack_.size() != fileSize_ - packStart_) {
    Add(Kind::kFail, "image", "the launcher reads the section table at a fixed place and finds a different "
                              "end of the sections than " + Hex(packStart_));
    return false;
  }
  return true;
}

bool TSetupVerifier::CheckPackStart() {
  if (pack_.compare(0, 4, "fMix", 4) == 0) {
    Add(Kind::kOk, "image", "32-bit PE image; the pack follows its last section at " + Hex(packStart_));
    return true;
  }
  const std::size_t magic = pack_.find("fMix");
  Add(Kind::kFail, "image",
      magic == std::string_view::npos
          ? "the data after the last section begins " + HexBytes(pack_.data(), std::min<std::size_t>(pack_.size(), 8)) + ", not \"fMix\""
          : std::to_string(magic) + " bytes lie between the last section's end (" +
                Hex(packStart_) + ") and the pack (a symbol table? link the stub with -s)");
  return false;
}

// A certificate table of a signed setup lies behind the pack; the launcher
// copies it along with the pack and the reader never reaches it.
void TSetupVerifier::CheckSignature() {
  std::uint64_t packEnd = sizeof(TFileMixHeader) + sizeof(TFileMixEntry) * entries_.size();
  for (const TFileMixEntry& entry : entries_)
    packEnd = std::max(packEnd, std::uint64_t{entry.DataOffset} + entry.DataSize);
  packEnd += packStart_;
  const std::string where = "certificate table of " + std::to_string(certificateSize_) + " bytes at " +
                            Hex(certificateOffset_);
  if (certificateOffset_ < packEnd || certificateOffset_ + std::uint64_t{certificateSize_} > fileSize_) {
    Add(Kind::kFail, "signature", where + " overlaps the pack or passes the end of the file");
    return;
  }
  Add(Kind::kNote, "signature", where + ", after the pack (a signed setup)");
  const TAuthenticode signature(fileName_, certificateOffset_, certificateSize_);
  static const Kind kKinds[] = {Kind::kOk, Kind::kFail, Kind::kFail, Kind::kNote};
  Add(kKinds[static_cast<int>(signature.Result())], "signature", signature.Message());
}

// The icon and version information Explorer shows, when the image has any.
void TSetupVerifier::CheckIdentity() {
  const TImageIdentity identity(fileName_, packStart_);
  const Kind kind = !identity.Checked() ? Kind::kWarn : identity.Valid() ? Kind::kOk : Kind::kFail;
  if (!identity.Message().empty()) Add(kind, "identity", identity.Message());
}

void TSetupVerifier::CheckPack() {
  TFileMixDirectory directory(packCopy_);
  for (TFileMixEntry entry; directory.Next(entry);) entries_.push_back(entry);
  if (directory.Found() == TFileMixDirectory::State::kHeaderCut) {
    Add(Kind::kFail, "pack", "cut off inside its header");
    return;
  }
  const std::size_t failures = lines_.size();
  if (directory.Found() == TFileMixDirectory::State::kRecordsCut)
    Add(Kind::kFail, "pack", "cut off inside its directory: " + std::to_string(directory.Records()) + " of " +
                                 std::to_string(directory.Declared()) + " records are complete");
  CheckMergedNames();
  CheckOverlap();
  for (const TFileMixEntry& entry : entries_) {
    if (!Inside(entry))
      Add(Kind::kFail, "pack", "the data of \"" + Shown(entry) + "\" reaches past the end of the file (" +
                                   std::to_string(std::uint64_t{entry.DataOffset} + entry.DataSize -
                                                  pack_.size()) + " bytes missing)");
    CheckEntryName(entry);
  }
  if (lines_.size() == failures)
    Add(Kind::kOk, "pack", std::to_string(entries_.size()) +
                               " entries, all data inside the file, every name can be written");
  for (const TFileMixEntry& entry : entries_)
    if (NearLimit(entry.DataSize, TFileMixWriter::kMaxEntrySize))
      Add(Kind::kNote, "pack", "\"" + Shown(entry) + "\" has " + std::to_string(entry.DataSize) +
                                   " bytes, near the format's limit of " +
                                   std::to_string(TFileMixWriter::kMaxEntrySize) + " per entry");
  if (NearLimit(pack_.size(), TFileMixWriter::kMaxPackSize))
    Add(Kind::kNote, "pack", std::to_string(pack_.size()) + " bytes, near the format's limit of " +
                                 std::to_string(TFileMixWriter::kMaxPackSize) + " (4 GiB - 1: 32-bit offsets)");
}

// Windows makes one file of names equal but for case or for trailing dots
// and blanks: the later entry would overwrite the earlier one.
void TSetupVerifier::CheckMergedNames() {
  std::map<std::u16string, const TFileMixEntry*> seen;
  for (const TFileMixEntry& entry : entries_) {
    std::u16string key = TNameCase::Key(Decode(EntryName(entry)));
    key.erase(key.find_last_not_of(u". ") + 1);
    const auto inserted = seen.emplace(key, &entry);
    if (!inserted.second)
      Add(Kind::kFail, "pack", "entries \"" + Shown(*inserted.first->second) + "\" and \"" + Shown(entry) +
                                   "\" would be one file on Windows");
  }
}

// Records that share data unpack into more than the pack holds: a pack bomb.
void TSetupVerifier::CheckOverlap() {
  std::vector<const TFileMixEntry*> records;
  for (const TFileMixEntry& entry : entries_) records.push_back(&entry);
  const TRecordOverlap overlap = FindOverlap(records);
  if (overlap.records)
    Add(Kind::kFail, "pack", "the data of \"" + Shown(*overlap.first) + "\" and \"" + Shown(*overlap.second) +
                                 "\" overlap (" + std::to_string(overlap.records) +
                                 " records begin inside another's data): unpacked, the pack grows past its size");
}

// ExtractAll writes each entry under its stored name into the unpack folder,
// which it creates alone: a name with a folder part fails, and one that
// leaves the folder is hostile.
void TSetupVerifier::CheckEntryName(const TFileMixEntry& entry) {
  bool valid = true;
  const TEntryName name(Decode(EntryName(entry), &valid));
  const TEntryName::Fault fault = name.WriteFault();
  const std::string shown = "entry \"" + Shown(entry) + "\" ";
  if (!valid)
    Add(Kind::kFail, "pack", shown + "would fail to be written: its name is no text in code page " +
                                 std::to_string(codePage_.Number()) + " (--codepage=N)");
  else if (!name.IsSafe())
    Add(Kind::kFail, "pack", shown + "has an unsafe name: it " + TEntryName::FaultText(fault));
  else if (name.Text().find_first_of(u"\\/") != std::u16string::npos)
    Add(Kind::kFail, "pack", shown + "would fail to be written: its folder will not exist");
  else if (fault == TEntryName::Fault::kTrailingDotOrBlank)
    Add(Kind::kFail, "pack", shown + "would be written under another name: Windows drops trailing dots and blanks");
  else if (fault != TEntryName::Fault::kNone)
    Add(Kind::kFail, "pack", shown + "would fail to be written: its name " + TEntryName::FaultText(fault));
}

// CONFIG.TXT as the launcher reads it: the first entry of that name, its
// whole content trimmed, appended to the unpack folder.
void TSetupVerifier::CheckConfig() {
  const TFileMixEntry* entry = Find(u"CONFIG.TXT", Match::kFirst);
  if (!entry || !Inside(*entry)) {
    Add(Kind::kFail, "config", entry ? "the data of config.txt cannot be read"
                                     : "no entry config.txt: the launcher has no installer to start");
    return;
  }
  bool valid = true;
  const std::u16string path = rtl::Trim(Decode(Data(*entry), &valid));
  const TEntryName::Fault fault = TEntryName(path).WriteFault();
  if (!valid)
    Add(Kind::kFail, "config", "config.txt is no text in code page " + std::to_string(codePage_.Number()) +
                                   " (--codepage=N)");
  else if (path.empty())
    Add(Kind::kFail, "config", "config.txt is empty: the launcher has no installer to start");
  else if (!TEntryName(path).IsSafe())
    Add(Kind::kFail, "config", Quoted(path) + " is no path relative to the unpack folder");
  else if (fault != TEntryName::Fault::kNone)
    Add(Kind::kFail, "config", Quoted(path) + " " + TEntryName::FaultText(fault));
  else
    installer_ = path;
  if (!installer_.empty()) Add(Kind::kOk, "config", "installer path " + Quoted(installer_));
}

// The launcher loads the plug-in from the unpack folder and calls its entry Yz1.
void TSetupVerifier::CheckPlugin() {
  const TFileMixEntry* entry =
      Unpacked(u"YZ1.DLL", "plugin", "no entry yz1.dll: the run ends silently unless Windows finds one elsewhere");
  if (!entry) return;
  const TPeImage dll(Data(*entry));
  const std::string name = "\"" + Shown(*entry) + "\" ";
  ourPlugin_ = dll.Valid() && dll.Exports(kOurPluginExport);
  solidPlugin_ = ourPlugin_ && dll.Exports(kSolidReaderExport);
  if (!dll.Valid() || !dll.Is32Bit() || !dll.IsDll())
    Add(Kind::kFail, "plugin", name + "is no 32-bit Windows DLL");
  else if (!dll.ImportsRead())
    Add(Kind::kFail, "plugin", name + "has an import directory that is damaged or passes fmix's bounds "
                                      "(DLL names of 255 bytes, 256 DLLs, 96 sections)");
  else if (!dll.Exports("Yz1"))
    Add(Kind::kFail, "plugin", name + "does not export Yz1: the run ends silently");
  else if (const std::string foreign = ForeignImports(dll); !foreign.empty())
    Add(Kind::kFail, "plugin", name + "imports DLLs that are not part of Windows (" + foreign +
                                   "): the run ends silently where they are missing");
  else
    Add(Kind::kOk, "plugin", name + "is a 32-bit DLL exporting Yz1" + PluginKind());
}

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

std::string TSetupVerifier::PluginKind() const {
  if (solidPlugin_) return " (our plug-in: ZIP and the solid format)";
  return ourPlugin_ ? " (our ZIP plug-in)" : "";
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

namespace {

// How the shell starts an installer: a program (.exe, .com) by itself;
// batch files and Windows Installer packages and patches by the
// associations every Windows registers for them; any other extension only
// by whatever the user's machine associates with it, if anything.
struct Association {
  const char16_t* extension;  // as TNameCase::Key gives it
  const char* how;            // null for a program
};
constexpr Association kAssociations[] = {
    {u".EXE", nullptr},
    {u".COM", nullptr},
    {u".BAT", "cmd.exe runs it"},
    {u".CMD", "cmd.exe runs it"},
    {u".MSI", "msiexec (Windows Installer) installs it"},
    {u".MSP", "msiexec (Windows Installer) applies the patch"}};

// A note on how the shell starts the installer at path, a warning when
// Windows does not run files of its extension, nothing for a program.
std::optional<TSetupVerifier::Line> ShellStart(const std::u16string& path) {
  const std::size_t name = path.find_last_of(u"\\/") + 1;  // 0 when there is no folder
  const std::size_t dot = path.rfind(u'.');
  const std::u16string extension =
      dot == std::u16string::npos || dot < name ? u"" : TNameCase::Key(path.substr(dot));
  const std::string shown = Printable(rtl::LowerCase(extension));
  for (const Association& association : kAssociations)
    if (extension == association.extension) {
      if (!association.how) return std::nullopt;
      return TSetupVerifier::Line{Kind::kNote, "installer",
                                  Quoted(path) + " is no program: the shell starts it by the association Windows "
                                                 "has for " + shown + ": " + association.how};
    }
  return TSetupVerifier::Line{
      Kind::kWarn, "installer",
      Quoted(path) + (extension.empty() ? " has no extension" : " ends in " + shown) +
          ", which Windows does not run as a program: the shell opens it with whatever the user's machine "
          "associates with it, if anything; make the installer a program (.exe, .com), a batch file "
          "(.bat, .cmd) or a Windows Installer file (.msi, .msp)"};
}

}  // namespace

// The installer must be a file that the plug-in unpacks or an entry of the
// pack itself, by a path that the shell takes; an archive that holds it only
// decomposed (macOS) is named as the cause. How the shell starts it follows.
void TSetupVerifier::CheckInstaller() {
  if (installer_.empty()) return;
  const std::string path = Quoted(installer_);
  CheckInstallerLength();
  installerFound_ = IsZipFile(installer_) || Find(installer_, Match::kFirst);
  if (IsZipFile(installer_))
    Add(Kind::kOk, "installer", path + " is a file of the archive");
  else if (Find(installer_, Match::kFirst))
    Add(Kind::kOk, "installer", path + " is an entry of the pack");
  else if (IsZipFile(TLatinDecomposition::Decompose(installer_)))
    Add(Kind::kFail, "installer", path + " is a file of the archive only in decomposed form (NFD, as macOS "
                                         "stores names), which Windows takes for another name: rename it in "
                                         "composed form (NFC) and zip it again, or name it without accents");
  else if (zipChecked_)
    Add(Kind::kFail, "installer", path + " is neither a file of the archive nor an entry of the pack");
  else
    Add(Kind::kWarn, "installer", path + " is no entry of the pack; the archive could not be looked into");
  if (const std::optional<Line> start = ShellStart(installer_)) Add(start->kind, start->topic, start->message);
}

// The launcher hands the installer's full path to ShellExecuteExA, which
// takes no path past MAX_PATH.
void TSetupVerifier::CheckInstallerLength() {
  const std::size_t length = kTempFolderLength + installer_.size();
  if (length >= kMaxPath)
    Add(Kind::kFail, "installer", Quoted(installer_) + " makes a path of " + std::to_string(length) +
                                      " characters under a temporary folder of " + std::to_string(kTempFolderLength) +
                                      " characters, past MAX_PATH (" + std::to_string(kMaxPath) +
                                      "): ShellExecuteExA cannot start it; shorten its folders");
}

bool TSetupVerifier::IsZipFile(const std::u16string& path) const {
  return zipFiles_.count(PathKey(path)) != 0;
}

// CONFIG.TXT's bytes name the installer in one ANSI code page only. When
// they name none in the code page given, another code page in which they
// decode cleanly to a file of the setup is the likely target.
void TSetupVerifier::NoteCodePage() {
  static const unsigned kCodePages[] = {932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 874};
  const TFileMixEntry* entry = Find(u"CONFIG.TXT", Match::kFirst);
  if (!entry || !Inside(*entry)) return;
  const std::string bytes = Data(*entry);
  if (installerFound_) {
    const std::string note = codePage_.InstallerPathNote(installer_);
    if (!note.empty()) Add(Kind::kNote, "config", note);
    return;
  }
  for (unsigned number : kCodePages) {
    std::u16string path;
    if (number == codePage_.Number() || !os::CodePageToWide(number, bytes, path)) continue;
    path = rtl::Trim(path);
    if (path.empty() || (!IsZipFile(path) && !Find(path, Match::kFirst))) continue;
    Add(Kind::kNote, "config", "in code page " + std::to_string(number) + " config.txt names " + Quoted(path) +
                                   ", a file of the setup: try --codepage=" + std::to_string(number));
    return;
  }
}

void TSetupVerifier::NoteScrambling() {
  for (const TFileMixEntry& entry : entries_)
    Add(Kind::kNote, "scramble", "\"" + Shown(entry) + "\" " + ScrambleText(entry.Scramble));
}

// The launcher marks its own full path in the Program Compatibility
// Assistant when it holds "setup" or "install", exactly in that case.
void TSetupVerifier::NoteMark(const std::string& runName) {
  const std::u16string path = rtl::ToWide(runName);
  const std::u16string name = path.substr(path.find_last_of(os::kFolderPartEnds) + 1);
  for (const char16_t* word : {u"setup", u"install"})
    if (rtl::Pos(word, name) != 0) {
      Add(Kind::kNote, "mark", "the file name holds \"" + rtl::ToAnsi(word) +
                                   "\": Windows will not ask whether the setup ran correctly");
      return;
    }
  Add(Kind::kNote, "mark", "the file name holds neither \"setup\" nor \"install\" (case counts): the "
                           "mark depends on the folder the user saves it in");
}

std::u16string TSetupVerifier::Decode(const std::string& bytes, bool* valid) const {
  std::u16string text;
  const bool decoded = os::CodePageToWide(codePage_.Number(), bytes, text);
  if (!decoded)
    for (unsigned char byte : bytes) text += static_cast<char16_t>(byte);
  if (valid) *valid = decoded;
  return text;
}

std::string TSetupVerifier::Shown(const TFileMixEntry& entry) const {
  return Printable(Decode(EntryName(entry)));
}

const TFileMixEntry* TSetupVerifier::Find(const std::u16string& name, Match match) const {
  const std::int32_t index = FindEntryIndex(static_cast<std::int32_t>(entries_.size()), name, match,
                                            [this](std::int32_t i) { return Decode(EntryName(entries_[static_cast<std::size_t>(i)])); });
  return index < 0 ? nullptr : &entries_[static_cast<std::size_t>(index)];
}

const TFileMixEntry* TSetupVerifier::Unpacked(const std::u16string& name, const std::string& topic,
                                              const std::string& absent) {
  const TFileMixEntry* entry = Find(name, Match::kLast);
  if (!entry) Add(Kind::kFail, topic, absent);
  return entry && Inside(*entry) ? entry : nullptr;
}

bool TSetupVerifier::Inside(const TFileMixEntry& entry) const {
  return std::uint64_t{entry.DataOffset} + entry.DataSize <= pack_.size();
}

std::string TSetupVerifier::Data(const TFileMixEntry& entry) const {
  std::string data(pack_.substr(entry.DataOffset, entry.DataSize));
  ScrambleBytes(&data[0], data.size(), entry.Scramble);
  return data;
}
