// TZipExtractor: writes every entry of an archive under one folder, creating
// subfolders and overwriting existing files. The names are checked together
// (TArchiveNames) before anything is written, so an archive holding one
// unsafe, uncreatable or colliding name writes nothing; a folder entry that
// names the target folder itself ("./") is skipped.
// A file is written under a temporary name and renamed into place only after
// its CRC-32 matched, so a failed entry never stands under its final name.
#pragma once

#include <string>

class TZipReader;
struct TZipEntry;

class TZipExtractor {
 public:
  // folder ends in the platform's folder delimiter.
  TZipExtractor(TZipReader& reader, std::u16string folder);

  // Returns the number of files written; raises Exception naming the entry
  // at the first failure.
  int ExtractAll();

 private:
  void CheckNames() const;
  void MakeFolder(const std::u16string& path, const std::u16string& name) const;
  void ExtractFile(const TZipEntry& entry, const std::u16string& path);

  TZipReader& reader_;
  std::u16string folder_;
};
