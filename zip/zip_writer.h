// TZipWriter: writes a standard ZIP file entry by entry, in order, to an
// output function.
// Every entry gets the same timestamp (1980-01-01 00:00) and fixed MS-DOS
// attributes, so that the same input gives the same bytes. A file is stored
// deflated (raw deflate, level 9) unless that does not make it smaller. It is
// deflated once, into memory, and its header written when that is decided; a
// file stored, or whose deflated bytes pass 64 MiB, is read a second time to
// be written. No Zip64: entries and offsets must fit 32 bits.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TZipWriter {
 public:
  // The most entries and the largest size that a ZIP file without Zip64
  // records safely.
  static constexpr std::size_t kMaxEntries = 0xFFFF;
  static constexpr std::uint64_t kMaxSize = 0xFFFFFFFE;

  // Receives the archive's bytes; raises when they cannot be written.
  using Output = std::function<void(const char* data, std::size_t size)>;
  // Told how many bytes were read from a file, chunk by chunk.
  using Progress = std::function<void(std::uint64_t bytes)>;

  // Every byte deflated counts on progress, when given: a second read of a
  // file does not.
  explicit TZipWriter(Output out, Progress progress = nullptr)
      : out_(std::move(out)), progress_(std::move(progress)) {}

  // name: UTF-8 with forward slashes, relative. Raises EInOutError naming
  // source when it cannot be read or changes while it is read, or the archive
  // when it outgrows ZIP.
  void AddFile(const std::string& name, const std::u16string& source);
  // name ends in "/".
  void AddFolder(const std::string& name);
  // Writes the central directory and its end record.
  void Finish();

 private:
  struct Record {
    std::string name;
    std::uint16_t method;
    std::uint32_t crc;
    std::uint32_t compressedSize;
    std::uint32_t size;
    std::uint32_t offset;
    std::uint32_t attributes;
  };

  void Write(const char* data, std::size_t size);
  static void PutEntryFields(std::string& out, const Record& record);
  void WriteLocalHeader(const Record& record);
  std::uint32_t Offset() const;

  Output out_;
  Progress progress_;
  std::uint64_t written_ = 0;
  std::vector<Record> records_;
};
