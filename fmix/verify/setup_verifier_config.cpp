// TSetupVerifier's checks of CONFIG.TXT: the installer path it names, and the
// code page its bytes name a file of the setup in.

#include "fmix/verify/setup_verifier.h"

#include "fmix/verify/setup_verifier_paths.h"
#include "os/os.h"
#include "rtl/entry_name.h"
#include "rtl/text.h"
#include "unit_pack_files/file_mix_reader.h"

// CONFIG.TXT as the launcher reads it: the first entry of that name, its
// whole content trimmed, appended to the unpack folder.
void TSetupVerifier::CheckConfig() {
  const TFileMixEntry* entry = Find(u"CONFIG.TXT", Match::kFirst);
  if (!entry || !Inside(*entry)) {
    Add(Kind::kFail, "config", entry ? "the data of config.txt cannot be read"
                                     : "no entry config.txt: the launcher has no installer to start");
    return;
  }
  if (entry->DataSize > TFileMixReader::kMaxTextSize) {
    Add(Kind::kFail, "config", "config.txt has " + std::to_string(entry->DataSize) + " bytes, more than the " +
                                   std::to_string(TFileMixReader::kMaxTextSize) +
                                   " the launcher reads: it starts no installer");
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
