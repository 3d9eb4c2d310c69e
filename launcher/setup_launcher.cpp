#include "launcher/setup_launcher.h"

#include <windows.h>

#include <memory>
#include <string>

#include "launcher/debug_trace.h"
#include "launcher/folders.h"
#include "launcher/launcher_config.h"
#include "launcher/program_image.h"
#include "launcher/registry.h"
#include "launcher/shell_start.h"
#include "os/os.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "unit_archive/unit_archive.h"
#include "unit_pack_files/file_mix_reader.h"
#include "unit_pack_files/pack_locator.h"
#include "velm_stream/tv_file_stream.h"

namespace {

const char kTempPrefix[] = "vlk";
const char kUnpackSuffix[] = "_dir\\";
const char kTestPackFile[] = "quillpad_con_setup.exe";
const char kPluginName[] = "yz1.dll";
const char16_t kMarkKey[] =
    u"\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted";

// How often a fresh temporary file is taken when its name or its unpack
// folder's name is already taken, before the run ends.
constexpr int kUnpackFolderAttempts = 16;

// A new, empty file of a unique name in the work folder, created
// here and open for this run alone. The platform's call only makes the name
// (Wine's, when every name is taken, returns an existing file); a name that
// exists, a link included, is never written through. Null when the name is
// taken or the file cannot be created.
std::unique_ptr<TVFileStream> CreateTempPackFile(const std::string& workFolder, UINT unique,
                                                 std::string& name) {
  char buffer[4096] = {};
  if (GetTempFileNameA(workFolder.c_str(), kTempPrefix, unique, buffer) == 0)
    throw Exception(u"GetTempFileNameA failed");
  name = rtl::FromBuffer(buffer, sizeof buffer);
  try {
    return std::make_unique<TVFileStream>(name, TVFileStream::kCreateNew);
  } catch (const EInOutError&) {
    return nullptr;
  }
}

// The unique number of each fresh name: counted from the clock, as the
// platform does, and never 0 (which would ask the platform to create it).
UINT UniqueNumber(DWORD start, int attempt) {
  return static_cast<UINT>((start + static_cast<DWORD>(attempt)) % 0xFFFF + 1);
}

// The pack that follows the program's image, copied into the temporary file
// through one bounded buffer (the file stays empty when there is none), so
// that a pack of any size takes the same memory. It is read from the file
// mapped as the program's image, never from whatever bears its name now.
void StagePack(TVFileStream& tempPack) {
  if (TestMode) {
    LoadAppendedPack(rtl::ToWide(kTestPackFile), tempPack, true);
  } else {
    const std::unique_ptr<TVFileStream> program = OpenProgramImage();
    LoadAppendedPack(*program, tempPack, true);
  }
}

// The unpack folder (ending in a backslash) as UTF-16 without that backslash;
// false when the 8-bit name has no exact UTF-16 form.
bool FolderPath(const std::string& folder, std::u16string& path) {
  if (!rtl::ToWideExact(folder, path)) return false;
  path.pop_back();
  return true;
}

// Stages the pack and makes the folder it unpacks into. The temporary file
// and the unpack folder are always ones that this run created, new and
// empty: where a name is taken (planted by someone who can write to the work
// folder), fresh ones are taken instead, a bounded number of times. The folder's name is looked at before the pack is staged,
// so that a taken one costs no copy, and the folder is created only once the
// pack has been read, so that a program without a pack leaves none.
std::unique_ptr<TFileMixReader> StageInNewFolder(std::string& unpackFolder) {
  const std::string workFolder = TestMode ? GetDesktopFolder() : GetTempFolder();
  const DWORD start = GetTickCount();
  for (int attempt = 0; attempt < kUnpackFolderAttempts; ++attempt) {
    std::string tempPack;
    std::unique_ptr<TVFileStream> file = CreateTempPackFile(workFolder, UniqueNumber(start, attempt), tempPack);
    if (!file) continue;
    DebugTrace("tempPack=" + tempPack);
    unpackFolder = tempPack + kUnpackSuffix;
    std::u16string path;
    if (!FolderPath(unpackFolder, path) || os::NameTaken(path)) continue;
    StagePack(*file);
    auto reader = std::make_unique<TFileMixReader>(std::move(file), tempPack);
    if (os::MakeDirectory(path)) return reader;
  }
  throw Exception(u"no new unpack folder");
}

// Every entry into the unpack folder and the trimmed text of
// "config.txt".
std::string UnpackPack(TFileMixReader& reader, const std::string& unpackFolder) {
  std::string config;
  try {
    reader.ExtractAll(unpackFolder);
    reader.ExtractToString("config.txt", config, TFileMixReader::kDecodeMode2);
    config = rtl::ToAnsi(rtl::Trim(rtl::ToWide(config)));
  } catch (...) {
    MessageBoxW(nullptr, L"Failed to extract.", L"SETUP ERROR", MB_ICONERROR);
  }
  return config;
}

// A name with no exact UTF-16 form counts as missing: the platform's 8-bit
// calls would reach another file.
bool FileExistsAnsi(const std::string& name) {
  std::u16string wide;
  return rtl::ToWideExact(name, wide) && rtl::FileExists(wide);
}

// The plug-in unpacks the archive into the unpack folder. When the
// pack carries the plug-in, that copy is the only one loaded.
void UnpackArchive(const std::string& unpackFolder, bool packCarriesPlugin) {
  PluginBaseDir = unpackFolder;
  PluginBaseDirOnly = packCarriesPlugin;
  for (const char* name : {"arc.yz1", "ARC.YZ1"}) {
    if (FileExistsAnsi(unpackFolder + name)) {
      Yz1Extract(unpackFolder + name, unpackFolder);
      return;
    }
  }
  MessageBoxW(nullptr, L"ERROR", L"ARC.YZ1がありません。", MB_OK);
}

// The installer's own folder, its working folder: it then loads nothing by
// name from the folder that the setup was started in.
std::string InstallerFolder(const std::string& installer) {
  return rtl::ToAnsi(rtl::ExtractFilePath(rtl::ToWide(installer)));
}

// A program whose path holds "setup" or "install" is recorded so
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
  std::string unpackFolder, config;
  bool packCarriesPlugin = false;
  {
    // The reader is gone at the end of this block, so the pack file is
    // closed before the plug-in runs.
    const std::unique_ptr<TFileMixReader> reader = StageInNewFolder(unpackFolder);
    packCarriesPlugin = reader->FindEntry(kPluginName) != nullptr;
    config = UnpackPack(*reader, unpackFolder);
  }
  DebugTrace("config=" + config);
  DebugTrace("path=" + unpackFolder);
  UnpackArchive(unpackFolder, packCarriesPlugin);
  const std::string installer = unpackFolder + config;
  if (FileExistsAnsi(installer)) OpenWithShell(nullptr, installer, "", InstallerFolder(installer));
  WriteCompatibilityMark();
}
