// fmix extract [--codepage N] [--allow-overlap] PACK_OR_EXE DIR [NAME...]:
// entry names are read in the pack's code page and written as this system's
// file names. Each file is created new under a temporary name and renamed
// into place, so that no link planted in DIR is ever followed.
#include <algorithm>
#include <vector>

#include "fmix/report/cli_error.h"
#include "fmix/host/code_page.h"
#include "fmix/cli/command_line.h"
#include "fmix/cli/commands.h"
#include "fmix/host/output_file.h"
#include "fmix/host/pack_source.h"
#include "fmix/report/printable.h"
#include "fmix/verify/record_overlap.h"
#include "os/os.h"
#include "rtl/folders.h"
#include "rtl/text.h"
#include "unit_pack_files/entry_lookup.h"
#include "unit_pack_files/file_mix_records.h"
#include "unit_pack_files/file_mix_writer.h"
#include "velm_stream/tv_memory_stream.h"

namespace {

// An entry with its name as text.
struct Selected {
  const TFileMixEntry* entry;
  std::u16string name;
};
using Entries = std::vector<Selected>;

// The first record of each name, found as the reader's lookup finds it;
// every record when no name is given.
Entries Select(const TFileMixReader& reader, const TCodePage& codePage, const Args& names,
               const std::string& packName) {
  Entries all;
  for (std::int32_t i = 0; i < reader.Directory().Count; ++i)
    all.push_back({reader.Entry(i), codePage.Decode(EntryName(*reader.Entry(i)))});
  if (names.empty()) return all;
  Entries selected;
  for (const std::string& name : names) {
    const std::int32_t index = FindEntryIndex(static_cast<std::int32_t>(all.size()), rtl::ToWide(name), Match::kFirst,
                                              [&](std::int32_t i) { return all[static_cast<std::size_t>(i)].name; });
    if (index < 0) throw FileError(packName, "no entry named \"" + Printable(name) + "\"");
    const Selected& found = all[static_cast<std::size_t>(index)];
    const bool again = std::any_of(selected.begin(), selected.end(),
                                   [&](const Selected& earlier) { return earlier.entry == found.entry; });
    if (!again) selected.push_back(found);
  }
  return selected;
}

// Refuses, before anything is written, an entry that could land outside the
// folder, that this system cannot name, or whose data the pack does not hold.
void Check(const Entries& entries, const TPackSource& source, const std::string& packName) {
  for (const Selected& selected : entries) {
    const std::string shown = "\"" + Printable(selected.name) + "\"";
    std::string problem = TFileMixWriter::NameProblem(selected.name);
    if (problem.empty() && rtl::ToWide(rtl::ToAnsi(selected.name)) != selected.name)
      problem = "this system's code page cannot write the name";
    if (!problem.empty()) throw FileError(packName, "refusing " + shown + ": " + problem);
    if (std::uint64_t{selected.entry->DataOffset} + selected.entry->DataSize > source.PackSize())
      throw FileError(packName, "the data of " + shown + " reaches past the end of the pack");
  }
}

// Refuses entries that share data, which would write more than the pack
// holds, unless --allow-overlap asked for them.
void CheckOverlap(const Entries& entries, const TCodePage& codePage, const std::string& packName) {
  std::vector<const TFileMixEntry*> records;
  for (const Selected& selected : entries) records.push_back(selected.entry);
  const TRecordOverlap overlap = FindOverlap(records);
  if (!overlap.records) return;
  const auto shown = [&](const TFileMixEntry* entry) {
    return "\"" + Printable(codePage.Decode(EntryName(*entry))) + "\"";
  };
  throw FileError(packName, "refusing entries that share data: " + shown(overlap.first) + " and " +
                                shown(overlap.second) + " (" + std::to_string(overlap.records) +
                                " records begin inside another's data; --allow-overlap writes them all the same)");
}

// DIR, created when missing, with a delimiter at its end.
std::string Folder(const std::string& dir) {
  const os::Done made = rtl::ForceDirectories(rtl::ToWide(dir));
  if (!made) throw FileError(dir, "cannot create the folder", os::FailureText(made.failure));
  const std::u16string wide = rtl::ToWide(dir);
  if (wide.back() == os::kPathDelimiter || wide.back() == u'/') return dir;
  return rtl::ToAnsi(wide + os::kPathDelimiter);
}

void Write(TFileMixReader& reader, const Selected& selected, const std::string& folder,
           const std::string& packName) {
  const std::string name = rtl::ToAnsi(selected.name);
  TVMemoryStream data;
  reader.ExtractToStream(selected.entry, data);
  if (static_cast<std::uint32_t>(data.Size()) != selected.entry->DataSize)
    throw FileError(packName, "cannot read the data of \"" + Printable(name) + "\"");
  TOutputFile out(folder + name);
  out.Write(data.Memory(), static_cast<std::size_t>(data.Size()));
  out.Commit();
}

}  // namespace

int RunExtract(const Args& args) {
  const TCommandLine line(args, {{"--codepage", TCommandLine::kValue}, {"--allow-overlap", TCommandLine::kFlag}});
  const Args& operands = line.Operands(2, args.size(), "PACK_OR_EXE DIR");
  const std::string& packName = operands[0];
  if (operands[1].empty()) throw UsageError("DIR is empty");
  const TCodePage codePage = TCodePage::FromOption(line.Value("--codepage"));
  TPackSource source(packName);
  TFileMixReader& reader = source.Reader();
  const Entries entries = Select(reader, codePage, Args(operands.begin() + 2, operands.end()), packName);
  Check(entries, source, packName);
  if (!line.Has("--allow-overlap")) CheckOverlap(entries, codePage, packName);
  const std::string folder = Folder(operands[1]);
  for (const Selected& selected : entries) Write(reader, selected, folder, packName);
  return 0;
}
