// TSetupVerifier's checks of the plug-in YZ1.DLL: a 32-bit DLL exporting Yz1
// that imports nothing Windows lacks, and whether it is ours.

#include "fmix/verify/setup_verifier.h"

#include <algorithm>
#include <iterator>

#include "fmix/image/pe_image.h"
#include "fmix/report/printable.h"
#include "rtl/text.h"

namespace {

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

// The exports by which our own plug-in makes itself known, and tells that
// it reads the solid format too.
const char kOurPluginExport[] = "VelmZipReaderVersion";
const char kSolidReaderExport[] = "VelmSolidReader";

}  // namespace

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

std::string TSetupVerifier::PluginKind() const {
  if (solidPlugin_) return " (our plug-in: ZIP and the solid format)";
  return ourPlugin_ ? " (our ZIP plug-in)" : "";
}
