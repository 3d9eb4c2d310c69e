// fmix list PACK_OR_EXE: one line per entry, "name<TAB>size<TAB>offset<TAB>mode".
#include <cstdio>

#include "fmix/cli_error.h"
#include "fmix/commands.h"
#include "fmix/pack_source.h"
#include "unit_pack_files/entry_name.h"

int RunList(const Args& args) {
  if (args.size() != 1) throw UsageError("usage: fmix list PACK_OR_EXE");
  TPackSource source(args[0]);
  const TFileMixReader& reader = source.Reader();
  for (std::int32_t i = 0; i < reader.Directory().Count; ++i) {
    const TFileMixEntry& entry = *reader.Entry(i);
    std::printf("%s\t%lu\t%lu\t%u\n", EntryName(entry).c_str(),
                static_cast<unsigned long>(entry.DataSize),
                static_cast<unsigned long>(entry.DataOffset), static_cast<unsigned>(entry.Scramble));
  }
  return 0;
}
