// TSetupVerifier's checks of the installer: a file of the setup, by a path
// the shell takes, and how the shell starts it.

#include "fmix/verify/setup_verifier.h"

#include <optional>

#include "fmix/verify/latin_decomposition.h"
#include "fmix/verify/setup_verifier_paths.h"
#include "rtl/text.h"

namespace {

using Kind = TSetupVerifier::Kind;

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
