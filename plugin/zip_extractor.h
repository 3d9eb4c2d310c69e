// TZipExtractor: writes every entry of an archive (ZIP or the solid
// xz-compressed tar, through TArchiveReader) under one folder, creating
// subfolders and overwriting existing files. The entries are checked
// together (TUnpackableEntries, then TArchiveNames) before anything is
// written, so an archive holding one entry it cannot unpack (a method,
// encryption, a symbolic link) or one unsafe, uncreatable or colliding name
// writes nothing; a folder entry that names the target folder itself ("./")
// is skipped. Names in Failure() have control characters spelled out.
// It refuses at once when the volume has less space free than the files
// take; a write or create that fails later (a disk that fills meanwhile)
// removes every file written and every folder created in this run, so that
// no part of the payload stays to be started. What the folder held before
// stays.
// A file is written under its final name only once its check held (a ZIP
// entry's CRC-32; the solid stream's xz check held for the whole stream when
// it was opened), so a failed entry never stands there: a file up to 1 MiB is
// unpacked and checked in memory first, a larger one is written under a
// temporary name in the target folder and renamed into place.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
  bool CheckSpace();
  bool ExtractEntry(std::size_t index);
  bool MakeFolders(const std::u16string& folder, std::size_t index, const std::u16string& name);
  bool ExtractFile(const TZipEntry& entry, const std::u16string& path);
  bool ExtractSmallFile(const TZipEntry& entry, const std::u16string& path);
  void RemoveWritten(std::size_t entries);
  bool Fail(std::u16string message);

  TArchiveReader& reader_;
  std::u16string folder_;
  std::u16string lastFolder_;           // the folder made last, known to exist with those above it
  // The folders this run created, in order: the entry whose path passes
  // through one, and the length of that path up to its end.
  std::vector<std::pair<std::size_t, std::size_t>> madeFolders_;
  // Taken from the C heap, which reports a shortage as a null pointer.
  struct TFreeMemory {
    void operator()(char* memory) const { std::free(memory); }
  };
  std::unique_ptr<char[], TFreeMemory> memory_;  // where small files are unpacked; none when short of memory
  int files_ = 0;
  std::u16string failure_;
};
