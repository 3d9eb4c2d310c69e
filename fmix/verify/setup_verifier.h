// TSetupVerifier: reads a setup executable without running it and checks
// everything the launcher's run depends on, in the order the run meets it:
// the image and the pack behind it, CONFIG.TXT, the plug-in YZ1.DLL, the
// archive ARC.YZ1 and the installer it names; then notes on scrambling, the
// compatibility mark and a signature. Every check gives one line; a failing
// one means the setup will not reach its installer. The setup may be hostile:
// text from it is spelled out (Printable), and a topic shows at most 16
// lines, then how many it left out. The run and its report are in
// setup_verifier.cpp, the checks in one file a topic: setup_verifier_image,
// _pack, _config, _plugin, _archive and _installer.cpp.
//
//   TSetupVerifier verifier("out/app_setup.exe", "out/app_setup.exe");
//   for (const auto& line : verifier.Lines()) puts(line.Text().c_str());
//   puts(verifier.Verdict().c_str());
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fmix/host/code_page.h"
#include "unit_pack_files/entry_lookup.h"
#include "unit_pack_files/file_mix_records.h"
#include "velm_stream/tv_memory_stream.h"

class TArchiveReader;
struct TZipEntry;

class TSetupVerifier {
 public:
  // ok: a check passed; note: information; warn: a check that could not be
  // made; fail: the setup will not reach its installer.
  enum class Kind { kOk, kNote, kWarn, kFail };
  struct Line {
    Kind kind;
    std::string topic;
    std::string message;
    // "ok    topic: message", with "note", "warn" or "FAIL" in place of "ok".
    std::string Text() const;
  };

  // Checks fileName at once. runName is the name the setup will be started
  // under, which decides the compatibility mark; codePage is the target
  // system's, in which the pack's names and CONFIG.TXT are read.
  TSetupVerifier(const std::string& fileName, const std::string& runName, const TCodePage& codePage);

  const std::vector<Line>& Lines() const { return lines_; }
  bool Passed() const;
  // "verdict: ..." in one line.
  std::string Verdict() const;

 private:
  bool CheckImage();
  bool StagePack();
  bool CheckPackStart();
  void CheckSignature();
  void CheckIdentity();
  void CheckPack();
  void CheckEntryName(const TFileMixEntry& entry);
  void CheckMergedNames();
  void CheckOverlap();
  void CheckConfig();
  void CheckPlugin();
  void CheckArchive();
  std::string PluginKind() const;
  void CheckContent(const std::string& data);
  std::uint64_t PayloadBudget(const std::vector<TZipEntry>& entries, std::uint64_t archiveSize, bool solid);
  void CheckFiles(TArchiveReader& reader, bool solid, std::uint64_t budget);
  void NoteNames(const std::vector<TZipEntry>& entries);
  void CheckInstaller();
  void CheckInstallerLength();
  // path is a file of the archive, compared as a case-blind volume does.
  bool IsZipFile(const std::u16string& path) const;
  void NoteCodePage();
  void NoteScrambling();
  void NoteMark(const std::string& runName);
  void NoteLinesLeftOut();

  // Pack entry names and CONFIG.TXT are 8-bit text in the target system's
  // code page; this is the one place that reads them. Bytes that are no text
  // in it set *valid to false and come back one character per byte.
  std::u16string Decode(const std::string& bytes, bool* valid = nullptr) const;
  // An entry name for messages, in fmix's own code page.
  std::string Shown(const TFileMixEntry& entry) const;
  // The first or the last entry of that name, read in the target's code
  // page, as the launcher's look-up compares names; null when none.
  const TFileMixEntry* Find(const std::u16string& name, Match match) const;
  // The last entry of that name, whose data the launcher unpacks; null when
  // there is none (a failure under topic then says what that means) or its
  // data lies outside the pack (which the pack's check reports).
  const TFileMixEntry* Unpacked(const std::u16string& name, const std::string& topic, const std::string& absent);
  bool Inside(const TFileMixEntry& entry) const;
  // The entry's data as the launcher writes it: descrambled.
  std::string Data(const TFileMixEntry& entry) const;
  void Add(Kind kind, const std::string& topic, const std::string& message);

  std::string fileName_;
  TCodePage codePage_;
  std::uint64_t fileSize_ = 0;           // of the whole setup executable
  TVMemoryStream packCopy_;              // what the launcher copies out of it
  std::string_view pack_;                // packCopy_'s bytes
  std::uint64_t packStart_ = 0;          // where that begins in the file
  std::uint32_t certificateOffset_ = 0;  // the security directory; size 0 when unsigned
  std::uint32_t certificateSize_ = 0;
  std::vector<TFileMixEntry> entries_;   // the complete directory records
  std::u16string installer_;             // CONFIG.TXT trimmed, when it names a relative path
  std::set<std::u16string> zipFiles_;    // the archive's files as PathKey compares them
  bool zipChecked_ = false;
  bool installerFound_ = false;          // the installer path names a file here
  bool ourPlugin_ = false;               // YZ1.DLL is our plug-in
  bool solidPlugin_ = false;             // and reads the solid format too
  std::vector<Line> lines_;
  std::map<std::string, std::size_t> topicLines_;  // lines of each topic, shown or not
  std::size_t failuresLeftOut_ = 0;                // failures beyond the lines shown
};
