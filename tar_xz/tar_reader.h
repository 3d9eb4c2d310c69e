// TTarReader: reads a tar archive compressed with xz (tar -cJf), in a file
// or any TZipSource, with the same shape as TZipReader so that the plug-in
// and fmix verify take either by the archive's first bytes.
// Open decodes the whole stream once: it lists every entry (its name, type
// and size, nothing extracted) and checks the xz container throughout, so
// that names are checked and a damaged archive refused before anything is
// written. When the stream was one block no larger than its dictionary (as
// fmix writes it, up to 64 MiB), the whole tar is then in memory and Extract
// copies from there; otherwise Extract decodes again: entries taken in
// archive order cost one more pass in all, and an entry before the last one
// extracted restarts it.
// Names come from pax headers (UTF-8), GNU long names and ustar's prefix and
// name, the latter two read by TZipNameDecoder's rule for names without the
// UTF-8 flag; v7 tars, which have no magic, are read by their name field.
// Regular files and folders only: links, devices, FIFOs and sparse files
// are refused, naming the entry. So that memory stays bounded, a name longer
// than Windows' longest path is refused, and so are more entries or more
// characters of names in all than the bounds in the source. Entries are
// returned as TZipEntry: a folder's name ends in "/", and localOffset and
// dataStart give where its data starts in the tar; entries of 4 GiB or more
// are refused. Nothing raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zip/zip_reader.h"

class TTarHeader;
class TXzDecoder;
class TZipNameDecoder;

class TTarReader : public TArchiveReader {
 public:
  TTarReader();
  ~TTarReader() override;

  // True when source holds an xz stream, which this reader takes.
  static bool Recognises(TZipSource& source);
  // Opens fileName (system code page) and lists its entries; false when the
  // archive cannot be read or is refused. Called once, or the other Open once.
  [[nodiscard]] bool Open(const std::string& fileName, const TZipNameDecoder& names);
  // The same for an archive read from source, which must outlive the reader.
  [[nodiscard]] bool Open(TZipSource& source, const TZipNameDecoder& names) override;
  const std::vector<TZipEntry>& Entries() const override { return entries_; }
  // Streams the entry's bytes to sink; false on a failure, and when sink
  // stopped it (Failure() then names no reason of the reader's).
  [[nodiscard]] bool Extract(const TZipEntry& entry, Sink sink, void* context) override;
  const std::u16string& Failure() const override { return failure_; }

 private:
  bool ReadEntries(const TZipNameDecoder& names);
  bool ReadHeader(TTarHeader& header, bool& end);
  bool WithinBounds(const std::u16string& name);
  bool AddEntry(const TTarHeader& header, const TZipNameDecoder& names);
  bool CheckTail();
  bool Restart();
  bool ReadBody(std::uint64_t size, std::string& body);
  bool Skip(std::uint64_t size);
  bool ReadExact(char* buffer, std::size_t size);
  bool Fail(const std::u16string& reason, const std::u16string& name);
  bool Fail(const char* reason, const std::u16string& name);  // an ASCII reason, widened here once
  bool ExtractDecoded(const TZipEntry& entry, Sink sink, void* context);

  std::unique_ptr<TZipSource> file_;  // the archive Open(fileName) opened
  TZipSource* source_ = nullptr;
  std::unique_ptr<TXzDecoder> xz_;
  std::uint64_t position_ = 0;  // in the tar, how far it has been decoded
  std::vector<char> buffer_;
  const unsigned char* whole_ = nullptr;  // the decoded tar, when it stayed in memory
  std::size_t wholeSize_ = 0;
  std::vector<TZipEntry> entries_;
  std::uint64_t nameLength_ = 0;  // of all entries, in UTF-16 units
  std::u16string failure_;
};
