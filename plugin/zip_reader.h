// TZipReader: reads a standard ZIP file (stored and deflate entries) from its
// central directory and streams an entry's bytes out, checking their length
// and CRC-32. Sizes and offsets come from the central directory only, so
// entries written with data descriptors read the same. Zip64 archives,
// encrypted entries and archives split over several disks are refused.
// Failures raise Exception with a message that names the archive or entry.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TVFileStream;

struct TZipEntry {
  std::u16string name;  // UTF-8 when general-purpose bit 11 is set, else the system code page
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
  std::uint32_t compressedSize = 0;
  std::uint32_t size = 0;
  std::uint32_t localOffset = 0;
};

class TZipReader {
 public:
  // Receives an entry's bytes, chunk by chunk.
  using Sink = std::function<void(const char* data, std::size_t size)>;

  // Opens fileName (system code page) and reads its central directory.
  explicit TZipReader(const std::string& fileName);
  ~TZipReader();
  TZipReader(const TZipReader&) = delete;
  TZipReader& operator=(const TZipReader&) = delete;

  const std::vector<TZipEntry>& Entries() const { return entries_; }
  // Streams the entry's uncompressed bytes to sink; raises on damaged or
  // truncated data and on a CRC mismatch, after the bytes went to sink.
  void Extract(const TZipEntry& entry, const Sink& sink);

 private:
  std::int64_t FindEndRecord(std::uint32_t& entryCount, std::uint32_t& directorySize,
                             std::uint32_t& directoryOffset);
  void ReadDirectory();
  void ReadAt(std::int64_t offset, void* buffer, std::size_t size);
  std::int64_t DataStart(const TZipEntry& entry);
  void CopyStored(const TZipEntry& entry, std::int64_t offset, const Sink& sink);
  void Inflate(const TZipEntry& entry, std::int64_t offset, const Sink& sink);
  [[noreturn]] void Fail(const std::u16string& reason, const std::u16string& name) const;

  std::u16string archiveName_;
  std::unique_ptr<TVFileStream> file_;
  std::int64_t fileSize_ = 0;
  std::int64_t directoryStart_ = 0;
  std::vector<TZipEntry> entries_;
};
