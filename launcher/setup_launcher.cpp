#include "launcher/setup_launcher.h"

#include <windows.h>

#include <string>

#include "launcher/debug_trace.h"
#include "launcher/folders.h"
#include "launcher/launcher_config.h"
#include "launcher/registry.h"
#include "launcher/shell_start.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "unit_archive/unit_archive.h"
#include "unit_pack_files/file_mix_reader.h"
#include "unit_pack_files/pack_locator.h"
#include "velm_stream/tv_memory_stream.h"

namespace {

const char kTempPrefix[] = "vlk";
const char kUnpackSuffix[] = "_dir\\";
const char kTestPackFile[] = "quillpad_con_setup.exe";
const char16_t kMarkKey[] =
    u"\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted";

// Steps 2-3: a new, empty, uniquely named file in the work folder.
std::string CreateTempPackFile() {
  const std::string folder = TestMode ? GetDesktopFolder() : GetTempFolder();
  char buffer[4096] = {};
  if (GetTempFileNameA(folder.c_str(), kTempPrefix, 0, buffer) == 0)
    throw Exception(u"GetTempFileNameA failed");
  return rtl::FromBuffer(buffer, sizeof buffer);
}

// Steps 5-6: the pack that follows the program's image, saved over the
// temporary file (which stays empty when there is none).
void StagePack(const std::string& tempPack) {
  TVMemoryStream pack;
  LoadAppendedPack(TestMode ? rtl::ToWide(kTestPackFile) : rtl::ProgramPath(), pack, true);
  pack.SaveToFile(tempPack);
}

// Steps 8-9: every entry into the unpack folder and the trimmed text of
// "config.txt". The reader is gone on return, so the pack file is closed
// before the plug-in runs.
std::string UnpackPack(const std::string& tempPack, const std::string& unpackFolder) {
  TFileMixReader reader(tempPack);
  std::string config;
  try {
    reader.ExtractAll(unpackFolder);
    reader.ExtractToString("config.txt", config, false);
    config = rtl::ToAnsi(rtl::Trim(rtl::ToWide(config)));
  } catch (...) {
    MessageBoxW(nullptr, L"Failed to extract.", L"SETUP ERROR", MB_ICONERROR);
  }
  return config;
}

bool FileExistsAnsi(const std::string& name) { return rtl::FileExists(rtl::ToWide(name)); }

// Step 12: the plug-in unpacks the archive into the unpack folder.
void UnpackArchive(const std::string& unpackFolder) {
  PluginBaseDir = unpackFolder;
  for (const char* name : {"arc.yz1", "ARC.YZ1"}) {
    if (FileExistsAnsi(unpackFolder + name)) {
      Yz1Extract(unpackFolder + name, unpackFolder);
      return;
    }
  }
  MessageBoxW(nullptr, L"ERROR", L"ARC.YZ1がありません。", MB_OK);
}

// Step 14: a program whose path holds "setup" or "install" is recorded so
// that Windows does not ask afterwards whether the setup ran correctly.
void WriteCompatibilityMark() {
  const std::u16string program = rtl::ProgramPath();
  if (rtl::Pos(u"setup", program) == 0 && rtl::Pos(u"install", program) == 0) return;
  TRegistry registry(HKEY_CURRENT_USER, KEY_ALL_ACCESS);
  if (registry.OpenKey(kMarkKey, true)) registry.WriteInteger(program, 1);
}

}  // namespace

void RunSetupLauncher() {
  DebugTrace("packfile");
  const std::string tempPack = CreateTempPackFile();
  DebugTrace("tempPack=" + tempPack);
  StagePack(tempPack);
  const std::string unpackFolder = tempPack + kUnpackSuffix;
  const std::string config = UnpackPack(tempPack, unpackFolder);
  DebugTrace("config=" + config);
  DebugTrace("path=" + unpackFolder);
  UnpackArchive(unpackFolder);
  const std::string installer = unpackFolder + config;
  if (FileExistsAnsi(installer)) OpenWithShell(nullptr, installer, "");
  WriteCompatibilityMark();
}
