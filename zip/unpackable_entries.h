// TUnpackableEntries: the entries of an archive that the plug-in cannot
// unpack as they are meant, found together before anything is extracted:
// a compression method other than stored and deflate (Deflate64, BZip2,
// LZMA, PPMd, ...), an encrypted entry (ZipCrypto or AES), and a symbolic
// link (stored on Unix, zip -y), which would be written as a small file
// holding its target. yz1.dll refuses an archive that holds any; fmix verify
// reports the same lines.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct TZipEntry;

class TUnpackableEntries {
 public:
  explicit TUnpackableEntries(const std::vector<TZipEntry>& entries);

  // One line per cause, with how many entries it refuses, the first few
  // names and what to do; empty when every entry can be unpacked.
  const std::vector<std::u16string>& Problems() const { return problems_; }

 private:
  // A cause: a method number, or one of the keys below; in the order found.
  struct TCause {
    int cause;
    std::size_t count = 0;
    std::u16string names;  // the first few, shown
  };
  static constexpr int kEncrypted = -1;
  static constexpr int kSymbolicLink = -2;

  static int CauseOf(const TZipEntry& entry);
  static std::u16string Line(const TCause& found);

  std::vector<std::u16string> problems_;
};
