// fmix: writes, reads and checks packs, and assembles setup executables.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "fmix/cli_error.h"
#include "fmix/commands.h"
#include "fmix/printable.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace {

const char kUsage[] =
    "usage: fmix COMMAND ARGS...\n"
    "  (create, list, extract, setup and verify take --codepage=N: the target Windows code page\n"
    "   of the names in the pack and of CONFIG.TXT; 1252 unless given, 932 for Japanese)\n"
    "  create OUT.pack [--scramble=0|1|2] FILE...   pack files (mode applies to the files after it)\n"
    "  list PACK_OR_EXE                             one line per entry: name, size, offset, mode\n"
    "  extract PACK_OR_EXE DIR [NAME...]            write the entries (all, or those named)\n"
    "  append STUB.exe PACK OUT.exe                 the stub followed by the pack\n"
    "  zip OUT.yz1 DIR                              DIR as a deflate ZIP archive\n"
    "  setup -o OUT.exe --stub launcher.exe --plugin yz1.dll --payload DIR --run REL\\PATH\n"
    "                                               assemble a setup executable\n"
    "  verify SETUP.exe                             check that a setup will reach its installer\n";

}  // namespace

int main(int argc, char** argv) {
  static const std::map<std::string, int (*)(const Args&)> kCommands = {
      {"create", RunCreate}, {"list", RunList}, {"extract", RunExtract},
      {"append", RunAppend}, {"zip", RunZip},   {"setup", RunSetup},
      {"verify", RunVerify}};
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  auto command = kCommands.find(argv[1]);
  if (command == kCommands.end()) {
    std::fprintf(stderr, "fmix: unknown command '%s' (see fmix --help)\n", argv[1]);
    return 2;
  }
  Args args(argv + 2, argv + argc);
  for (const std::string& a : args)
    if (a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  try {
    return command->second(args);
  } catch (const CliError& e) {
    std::fprintf(stderr, "fmix %s: %s\n", argv[1], e.what());
    return e.ExitCode();
  } catch (const Exception& e) {
    std::fprintf(stderr, "fmix %s: %s\n", argv[1], Printable(rtl::ToAnsi(e.Message())).c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fmix %s: %s\n", argv[1], e.what());
    return 1;
  }
}
