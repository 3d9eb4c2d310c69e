// TPackSource: the pack named on fmix's command line, which is either a pack
// file or an executable with a pack appended. An executable's pack is found
// as the launcher finds it (LoadAppendedPack) and kept in a temporary file
// for as long as the source lives. The pack is checked for a complete header
// and directory before anything reads it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "fmix/temp_file.h"
#include "unit_pack_files/file_mix_reader.h"

class TPackSource {
 public:
  // Raises CliError naming fileName when it holds no complete pack.
  explicit TPackSource(const std::string& fileName);
  TPackSource(const TPackSource&) = delete;
  TPackSource& operator=(const TPackSource&) = delete;

  // The file that holds the pack alone, from its first byte to its last.
  const std::string& PackFile() const { return packFile_; }
  std::uint64_t PackSize() const { return packSize_; }
  // Opened on first use; it keeps PackFile() open, with no sharing, until
  // the source goes.
  TFileMixReader& Reader();

 private:
  void LoadAppended(const std::string& fileName);
  void CheckDirectory(const std::string& fileName, const char* head, std::uint64_t size);

  std::string packFile_;
  std::uint64_t packSize_ = 0;
  std::unique_ptr<TTempFile> temp_;
  std::unique_ptr<TFileMixReader> reader_;  // declared last: closed before temp_ goes
};
