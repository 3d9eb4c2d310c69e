// fmix: writes, reads and checks packs, and assembles setup executables.
#include <cstdio>
#include <cstring>
#include <string>

#include "fmix/cli_error.h"
#include "fmix/commands.h"
#include "fmix/printable.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace {

const char kUsage[] =
    "usage: fmix COMMAND ARGS...   (fmix COMMAND --help: that command's help; fmix --version)\n"
    "  (create, list, extract, setup and verify take --codepage=N: the target Windows code page\n"
    "   of the names in the pack and of CONFIG.TXT; 1252 unless given, 932 for Japanese)\n"
    "  create OUT.pack [--scramble=0|1|2] FILE...   pack files (mode applies to the files after it)\n"
    "  list PACK_OR_EXE                             one line per entry: name, size, offset, mode\n"
    "  extract [--allow-overlap] PACK_OR_EXE DIR [NAME...]\n"
    "                                               write the entries (all, or those named)\n"
    "  append STUB.exe PACK OUT.exe                 the stub followed by the pack\n"
    "  zip OUT.yz1 DIR [--solid] [--quiet]          DIR as a deflate ZIP archive (--solid: tar.xz)\n"
    "  setup -o OUT.exe --payload DIR --run REL\\PATH [--stub launcher.exe] [--plugin yz1.dll] [--solid] [--quiet]\n"
    "                                               assemble a setup executable\n"
    "  verify SETUP.exe                             check that a setup will reach its installer\n";

const char kCodePageHelp[] =
    "  --codepage=N        the Windows code page of the names in the pack and of CONFIG.TXT:\n"
    "                      1252 (Western) unless given, 932 for Japanese Windows\n";

struct Command {
  const char* name;
  int (*run)(const Args&);
  const char* help;
  bool codePage;
};

const Command kCommands[] = {
    {"create", RunCreate,
     "usage: fmix create OUT.pack [--scramble=0|1|2] FILE...\n"
     "Packs the files, each named by its base name. --scramble sets the mode of the files after it.\n",
     true},
    {"list", RunList,
     "usage: fmix list PACK_OR_EXE\n"
     "One line per entry of a pack or a setup: name, size, offset and mode, tab-separated.\n",
     true},
    {"extract", RunExtract,
     "usage: fmix extract [--allow-overlap] PACK_OR_EXE DIR [NAME...]\n"
     "Writes the entries of a pack or a setup into DIR: all of them, or those named. Each file is\n"
     "created new; a link in DIR is replaced, never followed.\n"
     "  --allow-overlap     write entries whose data overlap (refused by default: such a pack\n"
     "                      unpacks into more than it holds)\n",
     true},
    {"append", RunAppend,
     "usage: fmix append STUB.exe PACK OUT.exe\n"
     "Writes the stub followed by the pack; the stub must end at its last section.\n",
     false},
    {"zip", RunZip,
     "usage: fmix zip OUT.yz1 DIR [--solid] [--quiet]\n"
     "Writes DIR's files as a deflate ZIP archive for yz1.dll; the same folder gives the same bytes.\n"
     "  --solid  an xz-compressed tar instead: all files in one LZMA2 stream, far smaller\n"
     "  --quiet  no progress line (there is none either when stderr is no terminal)\n",
     false},
    {"setup", RunSetup,
     "usage: fmix setup -o OUT.exe --payload DIR --run REL\\PATH [--stub launcher.exe] [--plugin yz1.dll] [--solid]\n"
     "Zips DIR, packs the plug-in, the archive and the installer's path, appends them to the\n"
     "stub and checks the result as fmix verify does.\n"
     "  -o OUT.exe          the setup executable to write\n"
     "  --payload DIR       the folder the installer is in\n"
     "  --run REL\\PATH      the installer, relative to DIR\n"
     "  --stub, --plugin    the stub and the plug-in; by default those installed with fmix\n"
     "                      (share/fmix/ beside its bin/ folder; beside fmix.exe on Windows)\n"
     "  --solid             ARC.YZ1 as an xz-compressed tar: one LZMA2 stream, far smaller\n"
     "  --quiet             no progress line (there is none either when stderr is no terminal)\n"
     "  --icon FILE.ico     the setup's icon: every image of the file\n"
     "  --file-version A.B.C.D, --product-version A.B.C.D, --version-string KEY=VALUE (repeatable:\n"
     "                      CompanyName, FileDescription, LegalCopyright, ProductName, ProductVersion,\n"
     "                      OriginalFilename, InternalName, Comments), --version-language LANGID\n"
     "                      (0x0409 unless given): the version information Explorer shows\n",
     true},
    {"verify", RunVerify,
     "usage: fmix verify SETUP.exe\n"
     "Checks without running it that a setup will reach its installer: one line per check, then a\n"
     "verdict; also its icon and version information and a signature's digest.\n"
     "Exit code 0: it will; 1: it will not; 2: usage error.\n",
     true},
};

const Command* FindCommand(const char* name) {
  for (const Command& command : kCommands)
    if (!std::strcmp(command.name, name)) return &command;
  return nullptr;
}

int PrintHelp(const Command& command) {
  std::fputs(command.help, stdout);
  if (command.codePage) std::fputs(kCodePageHelp, stdout);
  return 0;
}

int Run(const Command& command, const Args& args) {
  try {
    return command.run(args);
  } catch (const CliError& e) {
    std::fprintf(stderr, "fmix %s: %s\n", command.name, e.what());
    return e.ExitCode();
  } catch (const Exception& e) {
    std::fprintf(stderr, "fmix %s: %s\n", command.name, Printable(rtl::ToAnsi(e.Message())).c_str());
    return 1;
  } catch (const std::exception& e) {  // the library's words may hold file names
    std::fprintf(stderr, "fmix %s: %s\n", command.name, Printable(std::string(e.what())).c_str());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  if (!std::strcmp(argv[1], "--version")) {
    std::puts("fmix " FMIX_VERSION);
    return 0;
  }
  const Command* command = FindCommand(argv[1]);
  if (!command) {
    std::fprintf(stderr, "fmix: unknown command '%s' (see fmix --help)\n", argv[1]);
    return 2;
  }
  const Args args(argv + 2, argv + argc);
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") return PrintHelp(*command);
  return Run(*command, args);
}
