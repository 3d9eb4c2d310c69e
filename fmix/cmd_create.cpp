// fmix create OUT.pack [--codepage=N] [--scramble=0|1|2] FILE...
#include "fmix/cli_error.h"
#include "fmix/commands.h"
#include "fmix/file_mix_writer.h"
#include "fmix/output_file.h"
#include "os/os.h"
#include "rtl/text.h"

namespace {

const char kUsage[] = "usage: fmix create OUT.pack [--codepage=N] [--scramble=0|1|2] FILE...";

bool IsOption(const std::string& arg) { return arg.compare(0, 2, "--") == 0; }

ScrambleMode ParseScramble(const std::string& arg) {
  if (arg == "--scramble=0") return kStored;
  if (arg == "--scramble=1") return kMode1;
  if (arg == "--scramble=2") return kMode2;
  throw UsageError("unknown option '" + arg + "'; " + kUsage);
}

// What follows the path's last folder delimiter (on Windows also a slash or
// a drive colon), found in UTF-16 so that no trail byte passes for one.
std::string BaseName(const std::string& path) {
  const std::u16string wide = rtl::ToWide(path);
  const std::size_t at = wide.find_last_of(os::kFolderPartEnds);
  return at == std::u16string::npos ? path : rtl::ToAnsi(wide.substr(at + 1));
}

}  // namespace

int RunCreate(const Args& allArgs) {
  Args args = allArgs;
  TFileMixWriter writer(TCodePage::Take(args));
  if (args.empty() || IsOption(args[0])) throw UsageError(kUsage);
  ScrambleMode mode = kStored;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (IsOption(args[i]))
      mode = ParseScramble(args[i]);
    else
      writer.AddFile(BaseName(args[i]), args[i], mode);
  }
  if (writer.Count() == 0) throw UsageError(kUsage);
  TOutputFile out(args[0]);
  writer.WriteTo(out);
  out.Commit();
  return 0;
}
