// fmix list [--codepage N] PACK_OR_EXE: one line per entry,
// "name<TAB>size<TAB>offset<TAB>mode", the name read in the pack's code page
// with control characters spelled out.
#include "fmix/host/code_page.h"
#include "fmix/cli/command_line.h"
#include "fmix/cli/commands.h"
#include "fmix/host/pack_source.h"
#include "fmix/report/printable.h"
#include "os/os.h"
#include "rtl/text.h"
#include "unit_pack_files/file_mix_records.h"

int RunList(const Args& args) {
  const TCommandLine line(args, {{"--codepage", TCommandLine::kValue}});
  const std::string pack = line.Operands(1, 1, "PACK_OR_EXE").front();
  const TCodePage codePage = TCodePage::FromOption(line.Value("--codepage"));
  TPackSource source(pack);
  const TFileMixReader& reader = source.Reader();
  for (std::int32_t i = 0; i < reader.Directory().Count; ++i) {
    const TFileMixEntry& entry = *reader.Entry(i);
    os::WriteStandard(os::Stream::kOutput, Printable(rtl::ToAnsi(codePage.Decode(EntryName(entry)))) + "\t" +
                                               std::to_string(entry.DataSize) + "\t" +
                                               std::to_string(entry.DataOffset) + "\t" +
                                               std::to_string(entry.Scramble) + "\n");
  }
  return 0;
}
