// TPackSource: the pack named on fmix's command line, which is either a pack
// file or an executable with a pack appended. An executable's pack is found
// as the launcher finds it (LoadAppendedPack) and read from that copy in
// memory. The pack is checked for a complete header and directory before
// anything reads it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "unit_pack_files/file_mix_reader.h"

class TOutputFile;
class TVFileStream;
class TVMemoryStream;
class TVStream;

class TPackSource {
 public:
  // Raises ECliError naming fileName when it holds no complete pack.
  explicit TPackSource(const std::string& fileName);
  TPackSource(const TPackSource&) = delete;
  TPackSource& operator=(const TPackSource&) = delete;

  std::uint64_t PackSize() const { return packSize_; }
  // Writes the pack, from its first byte to its last, into out; raises
  // ECliError naming the file when it cannot be read whole.
  void WriteTo(TOutputFile& out) const;
  // A pack file is opened on first use and kept open, with no sharing,
  // until the source goes.
  TFileMixReader& Reader();

 private:
  // The pack file, open for reading (others may read too); raises naming it,
  // with the reason, when it cannot be opened.
  std::unique_ptr<TVFileStream> OpenFile() const;
  // False when the file holds no pack from its start.
  bool CheckPackFile();
  void LoadAppended();
  void CheckDirectory(TVStream& pack) const;
  void CopyPackFile(TOutputFile& out) const;

  std::string fileName_;
  std::uint64_t packSize_ = 0;
  const TVMemoryStream* copy_ = nullptr;  // an appended pack's bytes, held by reader_
  std::unique_ptr<TFileMixReader> reader_;
};
