// TZipExtractor: writes every entry of an archive (ZIP or the solid
// xz-compressed tar, through TArchiveReader) under one folder, creating
// subfolders and overwriting existing files. The entries are checked
// together (TUnpackableEntries, then TArchiveNames) before anything is
// written, so an archive holding one entry it cannot unpack (a method,
// encryption, a symbolic link) or one unsafe, uncreatable or colliding name
// writes nothing; a folder entry that names the target folder itself ("./")
// is skipped. Names in Failure() have control characters spelled out.
// A file is written under its final name only once its check held (a ZIP
// entry's CRC-32; the solid stream's xz check held for the whole stream when
// it was opened), so a failed entry never stands there: a file up to 1 MiB is
// unpacked and checked in memory first, a larger one is written under a
// temporary name and renamed into place.
#pragma once

#include <memory>
#include <string>

class TArchiveReader;
struct TZipEntry;

class TZipExtractor {
 public:
  // folder ends in the platform's folder delimiter.
  TZipExtractor(TArchiveReader& reader, std::u16string folder);
  ~TZipExtractor();

  // Writes every entry; false at the first failure, which Failure() names
  // with the entry. Raises nothing.
  [[nodiscard]] bool ExtractAll();
  // The number of files written.
  int Files() const { return files_; }
  const std::u16string& Failure() const { return failure_; }

 private:
  bool MakeFolder(const std::u16string& path, const std::u16string& name);
  bool ExtractFile(const TZipEntry& entry, const std::u16string& path);
  bool ExtractSmallFile(const TZipEntry& entry, const std::u16string& path);
  bool Fail(std::u16string message);

  TArchiveReader& reader_;
  std::u16string folder_;
  std::u16string lastFolder_;          // the folder made last, known to exist
  std::unique_ptr<char[]> memory_;      // where small files are unpacked; none when short of memory
  int files_ = 0;
  std::u16string failure_;
};
