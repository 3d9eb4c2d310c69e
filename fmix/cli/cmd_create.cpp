// fmix create OUT.pack [--codepage N] [--scramble 0|1|2] FILE...
#include "fmix/report/cli_error.h"
#include "fmix/host/code_page.h"
#include "fmix/cli/command_line.h"
#include "fmix/cli/commands.h"
#include "fmix/host/output_file.h"
#include "fmix/report/printable.h"
#include "os/os.h"
#include "rtl/text.h"
#include "unit_pack_files/file_mix_writer.h"

namespace {

ScrambleMode ParseScramble(const std::string& value) {
  if (value == "0") return kStored;
  if (value == "1") return kMode1;
  if (value == "2") return kMode2;
  throw UsageError("--scramble " + Printable(value) + ": give 0, 1 or 2");
}

// What follows the path's last folder delimiter (on Windows also a slash or
// a drive colon), found in UTF-16 so that no trail byte passes for one.
std::string BaseName(const std::string& path) {
  const std::u16string wide = rtl::ToWide(path);
  const std::size_t at = wide.find_last_of(os::kFolderPartEnds);
  return at == std::u16string::npos ? path : rtl::ToAnsi(wide.substr(at + 1));
}

}  // namespace

// --scramble sets the mode of the files after it, so the words are read in order.
int RunCreate(const Args& args) {
  const TCommandLine line(args, {{"--codepage", TCommandLine::kValue}, {"--scramble", TCommandLine::kRepeated}});
  const std::string out = line.Operands(1, args.size(), "OUT.pack FILE...").front();
  line.Operands(2, args.size(), "FILE...");
  const TCodePage codePage = TCodePage::FromOption(line.Value("--codepage"));
  TFileMixWriter writer(codePage);
  ScrambleMode mode = kStored;
  bool first = true;
  for (const TCommandLine::Item& item : line.Items()) {
    if (item.option == "--scramble")
      mode = ParseScramble(item.value);
    else if (item.option.empty() && !first)
      writer.AddFile(BaseName(item.value), item.value, mode);
    else if (item.option.empty())
      first = false;
  }
  TOutputFile output(out);
  writer.WriteTo(output);
  output.Commit();
  return 0;
}
