// TZipReader: reads a standard ZIP file (stored and deflate entries) from its
// central directory and streams an entry's bytes out, checking their length
// and CRC-32. Sizes and offsets come from the central directory only, so
// entries written with data descriptors read the same. Zip64 end records and
// extra fields are read for archives within 4 GiB. Bytes before the archive
// (a self-extracting ZIP whose offsets were not adjusted) are found from
// where the central directory really lies, as unzip does.
// On opening, every entry's local header is read: an archive whose records
// share or overlap data, or whose local and central names differ, is refused
// before anything is extracted. Encrypted entries and archives split over
// several disks are refused too. Failures raise Exception with a message
// that names the archive or entry.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TVFileStream;
class TZipNameDecoder;

struct TZipEntry {
  std::u16string name;  // by TZipNameDecoder's rule
  std::string rawName;  // as stored in the central record
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
  std::uint32_t compressedSize = 0;
  std::uint32_t size = 0;
  std::int64_t localOffset = 0;  // in the file, bytes before the archive counted
  std::int64_t dataStart = 0;    // behind the local header
};

class TZipReader {
 public:
  // Receives an entry's bytes, chunk by chunk.
  using Sink = std::function<void(const char* data, std::size_t size)>;

  // Opens fileName (system code page) and reads its central directory and
  // local headers, decoding names with names.
  TZipReader(const std::string& fileName, const TZipNameDecoder& names);
  ~TZipReader();
  TZipReader(const TZipReader&) = delete;
  TZipReader& operator=(const TZipReader&) = delete;

  const std::vector<TZipEntry>& Entries() const { return entries_; }
  // How many bytes precede the archive that its offsets do not count.
  std::int64_t BytesBefore() const { return shift_; }
  // Streams the entry's uncompressed bytes to sink; raises on damaged or
  // truncated data and on a CRC mismatch, after the bytes went to sink.
  void Extract(const TZipEntry& entry, const Sink& sink);

 private:
  struct TEnd {
    std::int64_t at = 0;  // where the (Zip64) end record lies: the directory ends there
    std::uint64_t count = 0, size = 0, offset = 0;
  };
  TEnd FindEndRecord();
  void ReadZip64End(TEnd& end);
  void FindShift(const TEnd& end);
  void ReadDirectory(const TZipNameDecoder& names);
  void ReadZip64Extra(TZipEntry& entry, const unsigned char* extra, std::size_t size);
  void CheckLayout();
  void ReadAt(std::int64_t offset, void* buffer, std::size_t size);
  void CopyStored(const TZipEntry& entry, std::int64_t offset, const Sink& sink);
  void Inflate(const TZipEntry& entry, std::int64_t offset, const Sink& sink);
  [[noreturn]] void Fail(const std::u16string& reason, const std::u16string& name) const;

  std::u16string archiveName_;
  std::unique_ptr<TVFileStream> file_;
  std::int64_t fileSize_ = 0;
  std::int64_t directoryStart_ = 0;
  std::int64_t shift_ = 0;
  std::vector<TZipEntry> entries_;
};
