// TSetupVerifier's checks of the pack: its directory, its entries' names and
// data, and how each entry is scrambled.

#include "fmix/verify/setup_verifier.h"

#include <map>
#include <vector>

#include "fmix/verify/record_overlap.h"
#include "rtl/entry_name.h"
#include "rtl/name_case.h"
#include "unit_pack_files/file_mix_directory.h"
#include "unit_pack_files/file_mix_writer.h"

namespace {

// Within a tenth of one of the format's own limits (an entry's size, the
// pack's 32-bit offsets and size), where a larger payload would not fit.
bool NearLimit(std::uint64_t size, std::uint64_t limit) { return size > limit - limit / 10; }

std::string ScrambleText(std::uint8_t mode) {
  if (mode == 1 || mode == 2) return "scrambled in mode " + std::to_string(mode);
  return mode == 0 ? "stored plain (mode 0)" : "mode " + std::to_string(mode) + ", read as stored plain";
}

}  // namespace

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

void TSetupVerifier::NoteScrambling() {
  for (const TFileMixEntry& entry : entries_)
    Add(Kind::kNote, "scramble", "\"" + Shown(entry) + "\" " + ScrambleText(entry.Scramble));
}
