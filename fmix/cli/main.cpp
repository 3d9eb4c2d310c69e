// fmix: writes, reads and checks packs, and assembles setup executables.
#include <algorithm>
#include <cstring>
#include <string>

#include "fmix/report/cli_error.h"
#include "fmix/cli/commands.h"
#include "fmix/report/printable.h"
#include "os/os.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace {

const char kUsage[] =
    "usage: fmix COMMAND ARGS...   (fmix help COMMAND: that command's options; fmix --version)\n"
    "  create [--codepage N] OUT.pack [--scramble 0|1|2] FILE...\n"
    "                                     pack files (a mode applies to the files after it)\n"
    "  list [--codepage N] PACK_OR_EXE    one line per entry: name, size, offset, mode\n"
    "  extract [--codepage N] [--allow-overlap] PACK_OR_EXE DIR [NAME...]\n"
    "                                     write the entries (all, or those named)\n"
    "  append STUB.exe PACK OUT.exe       the stub followed by the pack\n"
    "  zip [--solid] [--quiet] OUT.yz1 DIR\n"
    "                                     DIR as a deflate ZIP archive (--solid: tar.xz)\n"
    "  setup -o OUT.exe --payload DIR --run REL\\PATH [--stub launcher.exe] [--plugin yz1.dll]\n"
    "        [--solid] [--quiet] [--codepage N] [--icon FILE.ico] [--file-version A.B.C.D]\n"
    "        [--product-version A.B.C.D] [--version-string KEY=VALUE]... [--version-language LANGID]\n"
    "                                     assemble a setup executable\n"
    "  verify [--codepage N] [--json] SETUP.exe\n"
    "                                     check that a setup will reach its installer\n"
    "An option's value follows it as the next word or after '='; '--' ends the options.\n";

const char kCodePageHelp[] =
    "  --codepage N        the Windows code page of the names in the pack and of CONFIG.TXT:\n"
    "                      1252 (Western) unless given, 932 for Japanese Windows\n";

struct Command {
  const char* name;
  int (*run)(const Args&);
  const char* help;
  bool codePage;
};

const Command kCommands[] = {
    {"create", RunCreate,
     "usage: fmix create [--codepage N] OUT.pack [--scramble 0|1|2] FILE...\n"
     "Packs the files, each named by its base name.\n"
     "  --scramble 0|1|2    the mode of the files after it: 0 stored, 1 and 2 scrambled\n",
     true},
    {"list", RunList,
     "usage: fmix list [--codepage N] PACK_OR_EXE\n"
     "One line per entry of a pack or a setup: name, size, offset and mode, tab-separated.\n",
     true},
    {"extract", RunExtract,
     "usage: fmix extract [--codepage N] [--allow-overlap] PACK_OR_EXE DIR [NAME...]\n"
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
     "usage: fmix zip [--solid] [--quiet] OUT.yz1 DIR\n"
     "Writes DIR's files as a deflate ZIP archive for yz1.dll; the same folder gives the same bytes.\n"
     "  --solid  an xz-compressed tar instead: all files in one LZMA2 stream, far smaller\n"
     "  --quiet  no progress line (there is none either when stderr is no terminal)\n",
     false},
    {"setup", RunSetup,
     "usage: fmix setup -o OUT.exe --payload DIR --run REL\\PATH [--stub launcher.exe] [--plugin yz1.dll]\n"
     "       [--solid] [--quiet] [--codepage N] [--icon FILE.ico] [--file-version A.B.C.D]\n"
     "       [--product-version A.B.C.D] [--version-string KEY=VALUE]... [--version-language LANGID]\n"
     "Zips DIR, packs the plug-in, the archive and the installer's path, appends them to the\n"
     "stub and checks the result as fmix verify does.\n"
     "  -o OUT.exe          the setup executable to write\n"
     "  --payload DIR       the folder the installer is in\n"
     "  --run REL\\PATH      the installer, relative to DIR\n"
     "  --stub, --plugin    the stub and the plug-in; by default those installed with fmix\n"
     "                      (share/fmix/ beside its bin/ folder; beside fmix.exe on Windows)\n"
     "  --solid             ARC.YZ1 as an xz-compressed tar: one LZMA2 stream, far smaller\n"
     "  --quiet             neither a progress line nor the line that says what was written\n"
     "  --icon FILE.ico     the setup's icon: every image of the file\n"
     "  --file-version A.B.C.D, --product-version A.B.C.D, --version-string KEY=VALUE (repeatable:\n"
     "                      CompanyName, FileDescription, LegalCopyright, ProductName, ProductVersion,\n"
     "                      OriginalFilename, InternalName, Comments), --version-language LANGID\n"
     "                      (0x0409 unless given): the version information Explorer shows\n",
     true},
    {"verify", RunVerify,
     "usage: fmix verify [--codepage N] [--json] SETUP.exe\n"
     "Checks without running it that a setup will reach its installer: one line per check, then a\n"
     "verdict; also its icon and version information and a signature's digest.\n"
     "  --json              the checks and the verdict as one JSON object (level, topic, text)\n"
     "Exit code 0: it will; 1: it will not; 2: usage error.\n",
     true},
};

const Command* FindCommand(const char* name) {
  for (const Command& command : kCommands)
    if (!std::strcmp(command.name, name)) return &command;
  return nullptr;
}

void Print(const std::string& text) { os::WriteStandard(os::Stream::kOutput, text); }
void PrintError(const std::string& text) { os::WriteStandard(os::Stream::kError, text); }

int PrintHelp(const Command& command) {
  Print(std::string(command.help) + (command.codePage ? kCodePageHelp : ""));
  return 0;
}

// A usage error names the word refused and points at the command's help
// rather than repeating it.
int Run(const Command& command, const Args& args) {
  const std::string prefix = std::string("fmix ") + command.name + ": ";
  try {
    return command.run(args);
  } catch (const ECliError& e) {
    const std::string hint = e.ExitCode() == 2 ? std::string(" (see fmix help ") + command.name + ")" : "";
    PrintError(prefix + e.what() + hint + "\n");
    return e.ExitCode();
  } catch (const Exception& e) {
    PrintError(prefix + Printable(rtl::ToAnsi(e.Message())) + "\n");
    return 1;
  } catch (const std::exception& e) {  // the library's words may hold file names
    PrintError(prefix + Printable(std::string(e.what())) + "\n");
    return 1;
  }
}

int Main(const Args& words) {
  if (words.empty() || words[0] == "--help" || words[0] == "-h" || (words[0] == "help" && words.size() == 1)) {
    (words.empty() ? PrintError : Print)(kUsage);
    return words.empty() ? 2 : 0;
  }
  if (words[0] == "--version") {
    Print("fmix " FMIX_VERSION "\n");
    return 0;
  }
  const bool help = words[0] == "help";
  const std::string& name = words[help ? 1 : 0];
  const Command* command = FindCommand(name.c_str());
  if (!command) {
    PrintError("fmix: unknown command " + Printable(name) + " (see fmix --help)\n");
    return 2;
  }
  const Args args(words.begin() + (help ? 2 : 1), words.end());
  if (help || std::find(args.begin(), args.end(), "--help") != args.end() ||
      std::find(args.begin(), args.end(), "-h") != args.end())
    return PrintHelp(*command);
  return Run(*command, args);
}

}  // namespace

int main(int argc, char** argv) {
  os::UseUtf8Text();
  return Main(os::CommandLineWords(argc, argv));
}
