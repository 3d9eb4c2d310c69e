// TFileMixWriter: builds a pack (the 11-byte header, one 265-byte record per
// entry, then the entries' data back to back in the order they were added)
// and writes it into a byte sink. Every check happens when an entry is added,
// so a pack that WriteTo starts is one that can be written whole. Names are
// given in the host's encoding and stored in the target's code page, through
// the caller's encoder, which must outlive the writer.
//
//   const TCodePage codePage(932);
//   TFileMixWriter writer(codePage);
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

class TByteSink;
class TNameEncoder;

class TFileMixWriter {
 public:
  // The largest entry a reader can take into its memory stream.
  static constexpr std::uint32_t kMaxEntrySize = 0x7FFFE000;
  static constexpr std::uint64_t kMaxPackSize = 0xFFFFFFFF;
  static constexpr std::size_t kMaxEntries = 0xFFFF;

  explicit TFileMixWriter(const TNameEncoder& encoder) : encoder_(encoder) {}
  // The writer keeps the encoder: a temporary one would be gone too soon.
  explicit TFileMixWriter(const TNameEncoder&& encoder) = delete;

  // Why name cannot name an entry, or "" when it can: it must be a plain,
  // non-empty file name that can be written safely into any folder on
  // either platform. (Its length in bytes is checked when it is encoded.)
  static std::string NameProblem(const std::u16string& name);

  // Add an entry holding the bytes of fileName (read again by WriteTo) or
  // the given bytes; name is 8-bit text in the host's encoding. Raise
  // EInOutError "FILE: reason", naming fileName (or the entry), when the name
  // is refused or longer than 256 bytes in the code page, the file cannot be
  // read, or the pack would pass its limits: 65,535 entries, kMaxEntrySize
  // per entry, 4 GiB - 1 in all; the encoder raises its own error for a name
  // that has no exact form in its code page.
  void AddFile(const std::string& name, const std::string& fileName, ScrambleMode mode);
  void AddBytes(const std::string& name, const std::string& bytes, ScrambleMode mode);

  std::size_t Count() const { return entries_.size(); }
  // The size of the pack as WriteTo writes it; also its TotalSize field.
  std::uint64_t PackSize() const;

  // Writes the whole pack; raises EInOutError naming an input that fails to
  // read (the sink raises its own errors).
  void WriteTo(TByteSink& out) const;

 private:
  struct Entry {
    std::string name;  // in the target's code page once appended
    std::string fileName;  // empty: the data is in bytes
    std::string bytes;
    std::uint32_t size;
    ScrambleMode mode;
  };

  void Append(Entry entry, const std::string& label);
  std::string Data(const Entry& entry) const;

  const TNameEncoder& encoder_;
  std::vector<Entry> entries_;
  std::set<std::u16string> keys_;  // the names as a case-blind Windows volume compares them
  std::uint64_t dataSize_ = 0;
};
