// fmix extract PACK_OR_EXE DIR [NAME...]
#include <vector>

#include "fmix/cli_error.h"
#include "fmix/commands.h"
#include "fmix/file_mix_writer.h"
#include "fmix/output_file.h"
#include "fmix/pack_source.h"
#include "os/os.h"
#include "rtl/text.h"
#include "unit_pack_files/entry_name.h"
#include "velm_stream/tv_memory_stream.h"

namespace {

using Entries = std::vector<const TFileMixEntry*>;

// The first record of each name, found as the reader's lookup finds it;
// every record when no name is given.
Entries Select(const TFileMixReader& reader, const Args& names, const std::string& packName) {
  Entries selected;
  for (std::int32_t i = 0; names.empty() && i < reader.Directory().Count; ++i)
    selected.push_back(reader.Entry(i));
  for (const std::string& name : names) {
    const std::u16string wanted = rtl::UpperCase(rtl::ToWide(name));
    const TFileMixEntry* found = nullptr;
    for (std::int32_t i = 0; !found && i < reader.Directory().Count; ++i)
      if (rtl::UpperCase(rtl::ToWide(EntryName(*reader.Entry(i)))) == wanted) found = reader.Entry(i);
    if (!found) throw FileError(packName, "no entry named \"" + name + "\"");
    selected.push_back(found);
  }
  return selected;
}

// Refuses, before anything is written, an entry that could land outside the
// folder or whose data the pack does not hold.
void Check(const Entries& entries, const TPackSource& source, const std::string& packName) {
  for (const TFileMixEntry* entry : entries) {
    const std::string name = EntryName(*entry);
    const std::string problem = TFileMixWriter::NameProblem(name);
    if (!problem.empty()) throw FileError(packName, "refusing \"" + name + "\": " + problem);
    if (std::uint64_t{entry->DataOffset} + entry->DataSize > source.PackSize())
      throw FileError(packName, "the data of \"" + name + "\" reaches past the end of the pack");
  }
}

// DIR, created when missing, with a delimiter at its end.
std::string Folder(const std::string& dir) {
  if (!rtl::ForceDirectories(rtl::ToWide(dir))) throw FileError(dir, "cannot create the folder");
  const std::u16string wide = rtl::ToWide(dir);
  if (wide.back() == os::kPathDelimiter || wide.back() == u'/') return dir;
  return rtl::ToAnsi(wide + os::kPathDelimiter);
}

void Write(TFileMixReader& reader, const TFileMixEntry& entry, const std::string& folder,
           const std::string& packName) {
  TVMemoryStream data;
  reader.ExtractToStream(&entry, data);
  if (static_cast<std::uint32_t>(data.Size()) != entry.DataSize)
    throw FileError(packName, "cannot read the data of \"" + EntryName(entry) + "\"");
  TOutputFile out(folder + EntryName(entry));
  out.Write(data.Memory(), static_cast<std::size_t>(data.Size()));
  out.Commit();
}

}  // namespace

int RunExtract(const Args& args) {
  if (args.size() < 2 || args[1].empty()) throw UsageError("usage: fmix extract PACK_OR_EXE DIR [NAME...]");
  TPackSource source(args[0]);
  TFileMixReader& reader = source.Reader();
  const Entries entries = Select(reader, Args(args.begin() + 2, args.end()), args[0]);
  Check(entries, source, args[0]);
  const std::string folder = Folder(args[1]);
  for (const TFileMixEntry* entry : entries) Write(reader, *entry, folder, args[0]);
  return 0;
}
