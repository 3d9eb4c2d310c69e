// TFileMixWriter: builds a pack (the 11-byte header, one 265-byte record per
// entry, then the entries' data back to back in the order they were added)
// and writes it through a TOutputFile. Every check happens when an entry is
// added, so a pack that WriteTo starts is one that can be written whole.
//
//   TFileMixWriter writer;
//   writer.AddFile("YZ1.DLL", "build/yz1.dll", kStored);
//   writer.AddBytes("CONFIG.TXT", "app\\setup.exe", kStored);
//   TOutputFile out("setup.pack");
//   writer.WriteTo(out);
//   out.Commit();
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "unit_pack_files/scramble.h"

class TOutputFile;

class TFileMixWriter {
 public:
  // The largest entry a reader can take into its memory stream.
  static constexpr std::uint32_t kMaxEntrySize = 0x7FFFE000;
  static constexpr std::uint64_t kMaxPackSize = 0xFFFFFFFF;
  static constexpr std::size_t kMaxEntries = 0xFFFF;

  // Why name (8-bit, system code page) cannot name an entry, or "" when it
  // can: it must be a plain file name of 1 to 256 bytes that can be written
  // safely into any folder on either platform.
  static std::string NameProblem(const std::string& name);

  // Add an entry holding the bytes of fileName (read again by WriteTo) or
  // the given bytes. Raise CliError naming fileName (or the entry) when the
  // name is refused, the file cannot be read, or the pack would pass its
  // limits: 65,535 entries, kMaxEntrySize per entry, 4 GiB - 1 in all.
  void AddFile(const std::string& name, const std::string& fileName, ScrambleMode mode);
  void AddBytes(const std::string& name, const std::string& bytes, ScrambleMode mode);

  std::size_t Count() const { return entries_.size(); }
  // The size of the pack as WriteTo writes it; also its TotalSize field.
  std::uint64_t PackSize() const;

  // Writes the whole pack; raises CliError when an input fails to read.
  void WriteTo(TOutputFile& out) const;

 private:
  struct Entry {
    std::string name;
    std::string fileName;  // empty: the data is in bytes
    std::string bytes;
    std::uint32_t size;
    ScrambleMode mode;
  };

  void Append(Entry entry, const std::string& label);
  std::string Data(const Entry& entry) const;

  std::vector<Entry> entries_;
  std::set<std::u16string> keys_;  // the names as the reader's lookup compares them
  std::uint64_t dataSize_ = 0;
};
