// TArchiveReader: what the plug-in and fmix verify need of an archive's
// reader, whichever format ARC.YZ1 is in (TZipReader, TTarReader): open it
// from a TZipSource, list every entry before anything is extracted, stream
// an entry's bytes out. Nothing raises: a failure returns false and leaves a
// message that names the archive or entry in Failure().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TZipNameDecoder;
class TZipSource;
struct TZipEntry;

class TArchiveReader {
 public:
  // Receives an entry's bytes, chunk by chunk, with the context given to
  // Extract; returning false stops the extraction.
  using Sink = bool (*)(void* context, const char* data, std::size_t size);

  TArchiveReader() = default;
  virtual ~TArchiveReader() = default;
  TArchiveReader(const TArchiveReader&) = delete;
  TArchiveReader& operator=(const TArchiveReader&) = delete;

  // Reads source's entries, decoding names with names; false when the
  // archive cannot be read or is refused. source must outlive the reader.
  [[nodiscard]] virtual bool Open(TZipSource& source, const TZipNameDecoder& names) = 0;
  virtual const std::vector<TZipEntry>& Entries() const = 0;
  // Streams the entry's bytes to sink; false on a failure, and when sink
  // stopped it (Failure() then names no reason of the reader's).
  [[nodiscard]] virtual bool Extract(const TZipEntry& entry, Sink sink, void* context) = 0;
  // Why the last Open or Extract returned false.
  virtual const std::u16string& Failure() const = 0;
  // How many bytes precede the archive that its offsets do not count.
  virtual std::int64_t BytesBefore() const { return 0; }
};
