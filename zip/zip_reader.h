// TZipReader: reads a standard ZIP archive (stored and deflate entries), in
// a file or any TZipSource, from its central directory and streams an
// entry's bytes out, checking their length and CRC-32. Sizes and offsets
// come from the central directory only, so entries written with data
// descriptors read the same. Zip64 end records and extra fields are read for
// archives within 4 GiB. Bytes before the archive (a self-extracting ZIP
// whose offsets were not adjusted) are found from where the central
// directory really lies, as unzip does.
// On opening, every entry's local header is read: an archive whose records
// share or overlap data, or whose local and central names differ, is refused
// before anything is extracted. Archives split over several disks are
// refused too. Extract refuses encrypted entries and methods other than
// stored and deflate; TUnpackableEntries finds them all on opening. Nothing raises: a failure returns false
// and leaves a message that names the archive or entry in Failure(), so that
// the plug-in builds without exceptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/crc32.h"
#include "zip/archive_reader.h"
#include "zip/zip_file_source.h"

class TInflater;
class TZipNameDecoder;

struct TZipEntry {
  std::u16string name;  // by TZipNameDecoder's rule
  std::string rawName;  // as stored in the central record
  std::uint16_t madeBy = 0;  // "version made by": the host system in the high byte
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t externalAttributes = 0;  // a Unix mode in the high 16 bits when made on Unix
  std::uint32_t crc = 0;
  std::uint32_t compressedSize = 0;
  std::uint32_t size = 0;
  std::int64_t localOffset = 0;  // in the file, bytes before the archive counted
  std::int64_t dataStart = 0;    // behind the local header
};

class TZipReader : public TArchiveReader {
 public:
  TZipReader();
  ~TZipReader() override;

  // Opens fileName (system code page) and reads its central directory and
  // local headers, decoding names with names; false when the archive cannot
  // be read or is refused. Called once, or the other Open once.
  [[nodiscard]] bool Open(const std::string& fileName, const TZipNameDecoder& names);
  // The same for an archive read from source, which must outlive the reader.
  [[nodiscard]] bool Open(TZipSource& source, const TZipNameDecoder& names) override;
  const std::vector<TZipEntry>& Entries() const override { return entries_; }
  // How many bytes precede the archive that its offsets do not count.
  std::int64_t BytesBefore() const override { return shift_; }
  // Streams the entry's uncompressed bytes to sink; false on damaged or
  // truncated data and on a CRC mismatch (after the bytes went to sink), and
  // when sink stopped it (Failure() then names no reason of the reader's).
  [[nodiscard]] bool Extract(const TZipEntry& entry, Sink sink, void* context) override;
  // Why the last Open or Extract returned false.
  const std::u16string& Failure() const override { return failure_; }

 private:
  struct TEnd {
    std::int64_t at = 0;  // where the (Zip64) end record lies: the directory ends there
    std::uint64_t count = 0, size = 0, offset = 0;
  };
  // Where an entry's bytes go: the caller's sink, and their CRC-32 on the way.
  struct TOutput {
    Sink sink;
    void* context;
    TCrc32 crc;
  };
  // Where a deflated entry's bytes come from, and where they go.
  struct TInflation {
    TZipReader& reader;
    std::int64_t offset;
    std::uint32_t left;
    TOutput& output;
  };
  bool FindEndRecord(TEnd& end);
  bool ReadZip64End(TEnd& end);
  bool FindShift(const TEnd& end);
  bool ReadDirectory(const TZipNameDecoder& names);
  bool ReadEntry(const unsigned char* record, const TZipNameDecoder& names, TZipEntry& entry);
  bool ReadZip64Extra(TZipEntry& entry, const unsigned char* extra, std::size_t size);
  bool CheckLayout();
  bool CheckLocalHeader(TZipEntry& entry);
  bool ReadAt(std::int64_t offset, void* buffer, std::size_t size);
  bool CopyStored(const TZipEntry& entry, TOutput& output);
  bool Inflate(const TZipEntry& entry, TOutput& output);
  static bool ReadDeflated(void* context, unsigned char* buffer, std::size_t capacity, std::size_t& size);
  static bool PutInflated(void* context, const char* data, std::size_t size);
  static bool Put(TOutput& output, const char* data, std::size_t size);
  bool Fail(const std::u16string& reason, const std::u16string& name);
  bool Fail(const char* reason, const std::u16string& name);  // an ASCII reason, widened here once

  std::u16string archiveName_;
  std::unique_ptr<TZipFileSource> file_;  // the archive Open(fileName) opened
  TZipSource* source_ = nullptr;
  std::u16string failure_;
  std::int64_t fileSize_ = 0;
  std::int64_t directoryStart_ = 0;
  std::int64_t shift_ = 0;
  std::vector<TZipEntry> entries_;
  std::unique_ptr<TInflater> inflater_;  // made for the first deflated entry, kept for the next
};
