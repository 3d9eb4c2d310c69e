// fmix setup: assembles a setup executable from the stub, the archiver
// plug-in and a payload folder. The payload is zipped into ARC.YZ1 (--solid:
// an xz-compressed tar, the solid format), the installer's relative path
// written into CONFIG.TXT, and the pack of YZ1.DLL, ARC.YZ1 and CONFIG.TXT
// appended to the stub. Everything is checked before
// anything is written. The pack's names and CONFIG.TXT are written in the
// target's code page (--codepage=N); the icon and version information go
// into the resources of the stub's copy. The finished setup is verified
// before it is renamed into place.
#include <cstdio>
#include <vector>

#include "fmix/report/cli_error.h"
#include "fmix/host/code_page.h"
#include "fmix/cli/command_line.h"
#include "fmix/cli/commands.h"
#include "fmix/host/host_files.h"
#include "fmix/host/kit_files.h"
#include "fmix/host/output_file.h"
#include "fmix/report/printable.h"
#include "fmix/report/progress.h"
#include "fmix/verify/setup_verifier.h"
#include "fmix/image/stub_identity.h"
#include "fmix/image/stub_image.h"
#include "fmix/host/temp_file.h"
#include "fmix/host/zip_folder.h"
#include "os/os.h"
#include "rtl/text.h"
#include "rtl/entry_name.h"
#include "unit_pack_files/file_mix_writer.h"
#include "rtl/name_case.h"

namespace {

const char* const kPackNames[] = {"YZ1.DLL", "ARC.YZ1", "CONFIG.TXT"};

struct SetupArgs {
  std::string out, stub, plugin, payload, run;
  TStubIdentity::Options identity;
  bool solid = false;
  bool quiet = false;
};

SetupArgs ParseArgs(const TCommandLine& line) {
  line.Operands(0, 0, "");
  SetupArgs parsed;
  parsed.out = line.Required("-o", "OUT.exe");
  parsed.payload = line.Required("--payload", "DIR");
  parsed.run = line.Required("--run", "REL\\PATH");
  parsed.stub = line.Value("--stub");
  parsed.plugin = line.Value("--plugin");
  parsed.solid = line.Has("--solid");
  parsed.quiet = line.Has("--quiet");
  parsed.identity.icon = line.Value("--icon");
  parsed.identity.fileVersion = line.Value("--file-version");
  parsed.identity.productVersion = line.Value("--product-version");
  parsed.identity.language = line.Value("--version-language");
  parsed.identity.strings = line.Values("--version-string");
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
  if (!os::FileExists(ChildName(rtl::ToWide(payload), name.Path())))
    throw FileError(run, "no such file in the payload folder " + Printable(payload));
  return path;
}

// The plug-in unpacks into the folder that holds the pack's own entries, so
// a payload name equal to one of them would overwrite it.
void CheckPayload(const std::string& payload) {
  const std::u16string folder = rtl::ToWide(payload);
  if (!os::DirectoryExists(folder)) {
    const char* const problem = os::FileExists(folder) ? " is not a folder" : " does not exist";
    throw ECliError(1, "payload folder " + Printable(payload) + problem);
  }
  std::vector<os::FolderEntry> entries;
  const os::Done listed = os::ListFolder(folder, entries);
  if (!listed) throw FileError(payload, "cannot read the folder", os::FailureText(listed.failure));
  for (const os::FolderEntry& entry : entries) {
    const std::u16string name = TNameCase::Key(entry.name);
    for (const char* reserved : kPackNames)
      if (name == rtl::ToWide(reserved))
        throw FileError(rtl::ToAnsi(ChildName(folder, entry.name)),
                        std::string("the payload must not hold ") + reserved +
                            " at its top level (the pack's own entry)");
  }
}

// The finished setup, read back as fmix verify reads it: one that would not
// reach its installer (a plug-in without Yz1, say) is never left in place.
void Verify(const TOutputFile& out, const TCodePage& codePage) {
  const TSetupVerifier verifier(out.TempName(), out.Target(), codePage);
  if (verifier.Passed()) return;
  for (const TSetupVerifier::Line& line : verifier.Lines())
    if (line.kind == TSetupVerifier::Kind::kFail) os::WriteStandard(os::Stream::kError, line.Text() + "\n");
  throw FileError(out.Target(), "the setup would not reach its installer; nothing written");
}

// "OUT.exe: 1234567 bytes, 42 entries; needs 12.3 MB free in the temporary
// folder to run": the launcher stages the pack there, unpacks its entries
// beside it and the archive's files after them.
void PrintSummary(const std::string& out, std::uint64_t size, const TZippedFolder& payload) {
  char needed[32];
  std::snprintf(needed, sizeof needed, "%.1f", (2.0 * size + payload.bytes) / (1 << 20));
  os::WriteStandard(os::Stream::kOutput, "fmix setup: wrote " + Printable(out) + ": " + std::to_string(size) +
                                             " bytes, " + std::to_string(payload.entries) +
                                             (payload.entries == 1 ? " entry" : " entries") + "; needs " +
                                             needed + " MB free in the temporary folder to run\n");
}

}  // namespace

int RunSetup(const Args& args) {
  const TCommandLine line(
      args, {{"-o", TCommandLine::kValue}, {"--payload", TCommandLine::kValue}, {"--run", TCommandLine::kValue},
             {"--stub", TCommandLine::kValue}, {"--plugin", TCommandLine::kValue}, {"--solid", TCommandLine::kFlag},
             {"--quiet", TCommandLine::kFlag}, {"--codepage", TCommandLine::kValue}, {"--icon", TCommandLine::kValue},
             {"--file-version", TCommandLine::kValue}, {"--product-version", TCommandLine::kValue},
             {"--version-string", TCommandLine::kRepeated}, {"--version-language", TCommandLine::kValue}});
  SetupArgs setup = ParseArgs(line);
  const TCodePage codePage = TCodePage::FromOption(line.Value("--codepage"));
  TProgress progress(setup.quiet, "fmix setup: zipping the payload");
  const TStubIdentity identity(setup.identity);
  CheckPayload(setup.payload);
  const std::u16string installer = InstallerPath(setup.run, setup.payload);
  const std::string config = codePage.Encode(installer) + "\r\n";
  if (const std::string note = codePage.InstallerPathNote(installer); !note.empty())
    os::WriteStandard(os::Stream::kError, "fmix setup: " + note + "\n");
  if (setup.stub.empty()) setup.stub = KitFile("launcher.exe", "--stub");
  if (setup.plugin.empty()) setup.plugin = KitFile("yz1.dll", "--plugin");
  const std::string stub = identity.Apply(ReadStub(setup.stub), setup.stub);

  TTempFile archive(".yz1");
  TZippedFolder zipped;
  {
    TOutputFile zip(archive.Name());
    zipped = ZipFolder(setup.payload, zip, &progress, setup.solid);
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
  const std::uint64_t size = stub.size() + pack.PackSize();
  out.Commit();
  if (!setup.quiet) PrintSummary(setup.out, size, zipped);
  return 0;
}
