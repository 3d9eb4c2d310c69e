// fmix setup: assembles a setup executable from the stub, the archiver
// plug-in and a payload folder. The payload is zipped into ARC.YZ1 (--solid:
// an xz-compressed tar, the solid format), the installer's relative path
// written into CONFIG.TXT, and the pack of YZ1.DLL, ARC.YZ1 and CONFIG.TXT
// appended to the stub. Everything is checked before
// anything is written. The pack's names and CONFIG.TXT are written in the
// target's code page (--codepage=N); the icon and version information go
// into the resources of the stub's copy. The finished setup is verified
// before it is renamed into place.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "fmix/cli_error.h"
#include "fmix/code_page.h"
#include "fmix/host_path.h"
#include "fmix/kit_files.h"
#include "fmix/commands.h"
#include "fmix/file_mix_writer.h"
#include "fmix/output_file.h"
#include "fmix/printable.h"
#include "fmix/progress.h"
#include "fmix/setup_verifier.h"
#include "fmix/stub_identity.h"
#include "fmix/stub_image.h"
#include "fmix/temp_file.h"
#include "fmix/zip_folder.h"
#include "rtl/text.h"
#include "unit_pack_files/entry_name.h"
#include "unit_pack_files/name_case.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: fmix setup -o OUT.exe --payload DIR --run REL\\PATH [--stub launcher.exe] [--plugin yz1.dll]\n"
    "       [--solid] [--codepage=N] [--quiet] [--icon FILE.ico] [--file-version A.B.C.D]\n"
    "       [--product-version A.B.C.D] [--version-string KEY=VALUE]... [--version-language LANGID]";
const char* const kPackNames[] = {"YZ1.DLL", "ARC.YZ1", "CONFIG.TXT"};

struct SetupArgs {
  std::string out, stub, plugin, payload, run;
  TStubIdentity::Options identity;
  bool solid = false;
};

SetupArgs ParseArgs(Args args) {
  SetupArgs parsed;
  const auto solid = std::remove(args.begin(), args.end(), "--solid");
  parsed.solid = solid != args.end();
  args.erase(solid, args.end());
  const std::map<std::string, std::string*> options = {
      {"-o", &parsed.out}, {"--stub", &parsed.stub}, {"--plugin", &parsed.plugin},
      {"--payload", &parsed.payload}, {"--run", &parsed.run}, {"--icon", &parsed.identity.icon},
      {"--file-version", &parsed.identity.fileVersion}, {"--product-version", &parsed.identity.productVersion},
      {"--version-language", &parsed.identity.language}};
  for (std::size_t i = 0; i < args.size(); i += 2) {
    if (args[i] == "--version-string" && i + 1 < args.size()) {
      parsed.identity.strings.push_back(args[i + 1]);
      continue;
    }
    auto option = options.find(args[i]);
    if (option == options.end() || i + 1 == args.size() || !option->second->empty())
      throw UsageError(kUsage);
    *option->second = args[i + 1];
  }
  if (parsed.out.empty() || parsed.payload.empty() || parsed.run.empty()) throw UsageError(kUsage);
  if (parsed.stub.empty()) parsed.stub = KitFile("launcher.exe", "--stub");
  if (parsed.plugin.empty()) parsed.plugin = KitFile("yz1.dll", "--plugin");
  return parsed;
}

// The installer's path as CONFIG.TXT holds it: backslashes, relative to the
// unpack folder, naming a file of the payload. Checked as UTF-16, so that a
// trail byte 0x5C of a double-byte host code page is no delimiter.
std::u16string InstallerPath(const std::string& run, const std::string& payload) {
  std::u16string path = rtl::ToWide(run);
  for (char16_t& c : path)
    if (c == u'/') c = u'\\';
  if (path.empty() || rtl::Trim(path) != path)
    throw FileError(run, "the installer path is empty or has blanks at either end");
  const TEntryName name(path);
  const TEntryName::Fault fault = name.WriteFault();
  switch (fault) {
    case TEntryName::Fault::kNone:
      break;
    case TEntryName::Fault::kAbsolute:
    case TEntryName::Fault::kColon:
      throw FileError(run, "the installer path must be relative to the payload folder");
    default:
      throw FileError(run, std::string("the installer path ") + TEntryName::FaultText(fault));
  }
  std::error_code error;
  if (!fs::is_regular_file(HostPath(payload) / fs::path(name.Path()), error))
    throw FileError(run, "no such file in the payload folder " + Printable(payload));
  return path;
}

// The plug-in unpacks into the folder that holds the pack's own entries, so
// a payload name equal to one of them would overwrite it.
void CheckPayload(const std::string& payload) {
  std::error_code error;
  if (!fs::is_directory(HostPath(payload), error)) throw FileError(payload, "no such folder");
  for (const auto& item : fs::directory_iterator(HostPath(payload), error)) {
    const std::u16string name = TNameCase::Key(item.path().filename().u16string());
    for (const char* reserved : kPackNames)
      if (name == rtl::ToWide(reserved))
        throw FileError(HostName(item.path()), std::string("the payload must not hold ") + reserved +
                                                    " at its top level (the pack's own entry)");
  }
  if (error) throw FileError(payload, "cannot read the folder: " + error.message());
}

// The finished setup, read back as fmix verify reads it: one that would not
// reach its installer (a plug-in without Yz1, say) is never left in place.
void Verify(const TOutputFile& out, const TCodePage& codePage) {
  const TSetupVerifier verifier(out.TempName(), out.Target(), codePage);
  if (verifier.Passed()) return;
  for (const TSetupVerifier::Line& line : verifier.Lines())
    if (line.kind == TSetupVerifier::Kind::kFail) std::fprintf(stderr, "%s\n", line.Text().c_str());
  throw FileError(out.Target(), "the setup would not reach its installer; nothing written");
}

}  // namespace

int RunSetup(const Args& allArgs) {
  Args args = allArgs;
  const TCodePage codePage = TCodePage::Take(args);
  TProgress progress = TProgress::Take(args, "fmix setup: zipping the payload");
  const SetupArgs setup = ParseArgs(args);
  const TStubIdentity identity(setup.identity);
  const std::u16string installer = InstallerPath(setup.run, setup.payload);
  const std::string config = codePage.Encode(installer) + "\r\n";
  if (const std::string note = codePage.InstallerPathNote(installer); !note.empty())
    std::fprintf(stderr, "fmix setup: %s\n", note.c_str());
  CheckPayload(setup.payload);
  const std::string stub = identity.Apply(ReadStub(setup.stub), setup.stub);

  TTempFile archive(".yz1");
  {
    TOutputFile zip(archive.Name());
    ZipFolder(setup.payload, zip, &progress, setup.solid);
    zip.Commit();
  }
  TFileMixWriter pack(codePage);
  pack.AddFile(kPackNames[0], setup.plugin, kStored);
  pack.AddFile(kPackNames[1], archive.Name(), kStored);
  pack.AddBytes(kPackNames[2], config, kStored);

  TOutputFile out(setup.out);
  out.Write(stub);
  pack.WriteTo(out);
  out.Close();
  Verify(out, codePage);
  out.Commit();
  return 0;
}
