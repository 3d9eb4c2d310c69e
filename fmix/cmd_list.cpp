// fmix list [--codepage=N] PACK_OR_EXE: one line per entry,
// "name<TAB>size<TAB>offset<TAB>mode", the name read in the pack's code page
// with control characters spelled out.
#include <cstdio>

#include "fmix/cli_error.h"
#include "fmix/code_page.h"
#include "fmix/commands.h"
#include "fmix/pack_source.h"
#include "fmix/printable.h"
#include "rtl/text.h"
#include "unit_pack_files/file_mix_records.h"

int RunList(const Args& allArgs) {
  Args args = allArgs;
  const TCodePage codePage = TCodePage::Take(args);
  if (args.size() != 1) throw UsageError("usage: fmix list [--codepage=N] PACK_OR_EXE");
  TPackSource source(args[0]);
  const TFileMixReader& reader = source.Reader();
  for (std::int32_t i = 0; i < reader.Directory().Count; ++i) {
    const TFileMixEntry& entry = *reader.Entry(i);
    std::printf("%s\t%lu\t%lu\t%u\n", Printable(rtl::ToAnsi(codePage.Decode(EntryName(entry)))).c_str(),
                static_cast<unsigned long>(entry.DataSize),
                static_cast<unsigned long>(entry.DataOffset), static_cast<unsigned>(entry.Scramble));
  }
  return 0;
}
