#include "zip/zip_reader.h"

#include <algorithm>
#include <numeric>

#include "inflate/inflater.h"
#include "rtl/le_bytes.h"
#include "rtl/small_division.h"
#include "rtl/text.h"
#include "rtl/entry_name.h"
#include "zip/zip_format.h"
#include "zip/zip_name_decoder.h"

using namespace rtl::literals;

namespace {

using namespace zip_format;

constexpr std::size_t kChunk = 65536;

}  // namespace

TZipReader::TZipReader() = default;
TZipReader::~TZipReader() = default;

bool TZipReader::Open(const std::string& fileName, const TZipNameDecoder& names) {
  file_ = std::make_unique<TZipFileSource>(fileName);
  std::u16string reason;
  if (!file_->Open(reason)) return Fail(reason, file_->Name());
  return Open(*file_, names);
}

bool TZipReader::Open(TZipSource& source, const TZipNameDecoder& names) {
  source_ = &source;
  archiveName_ = source.Name();
  fileSize_ = source.Size();
  return ReadDirectory(names) && CheckLayout();
}

bool TZipReader::Fail(const std::u16string& reason, const std::u16string& name) {
  failure_ = reason + ": "_w + TEntryName::Shown(name);
  return false;
}

bool TZipReader::Fail(const char* reason, const std::u16string& name) { return Fail(rtl::Widen(reason), name); }

bool TZipReader::ReadAt(std::int64_t offset, void* buffer, std::size_t size) {
  if (offset < 0 || offset + static_cast<std::int64_t>(size) > fileSize_ || !source_->ReadAt(offset, buffer, size))
    return Fail("archive truncated", archiveName_);
  return true;
}

// Finds the end record, searching back over a comment of any length; a
// Zip64 locator right before it leads to the Zip64 end record.
bool TZipReader::FindEndRecord(TEnd& end) {
  const std::size_t tailSize =
      static_cast<std::size_t>(std::min<std::int64_t>(fileSize_, kEndRecordSize + kMaxCommentSize));
  std::string tail(tailSize, '\0');
  if (!ReadAt(fileSize_ - static_cast<std::int64_t>(tailSize), &tail[0], tailSize)) return false;
  const auto* bytes = reinterpret_cast<const unsigned char*>(tail.data());
  for (std::size_t at = tailSize; at-- > 0;) {
    const unsigned char* p = bytes + at;
    if (at + kEndRecordSize > tailSize || Le32(p) != kEndSignature ||
        at + kEndRecordSize + Le16(p + 20) > tailSize)
      continue;
    end.at = fileSize_ - static_cast<std::int64_t>(tailSize - at);
    unsigned char locator[4] = {};
    if (end.at >= static_cast<std::int64_t>(kZip64LocatorSize) &&
        !ReadAt(end.at - static_cast<std::int64_t>(kZip64LocatorSize), locator, sizeof locator))
      return false;
    if (Le32(locator) == kZip64LocatorSignature) return ReadZip64End(end);
    if (Le16(p + 4) != 0 || Le16(p + 6) != 0 || Le16(p + 8) != Le16(p + 10))
      return Fail("archives split over several disks are not supported", archiveName_);
    end.count = Le16(p + 10);
    end.size = Le32(p + 12);
    end.offset = Le32(p + 16);
    return true;
  }
  unsigned char head[4] = {};
  if (fileSize_ >= 4 && !ReadAt(0, head, sizeof head)) return false;
  return Fail(Le32(head) == kLocalSignature ? "archive truncated" : "not a ZIP archive", archiveName_);
}

// The Zip64 end record lies where the locator says, or, in an archive behind
// other bytes, right before the locator.
bool TZipReader::ReadZip64End(TEnd& end) {
  const std::int64_t locatorAt = end.at - static_cast<std::int64_t>(kZip64LocatorSize);
  unsigned char locator[kZip64LocatorSize], record[kZip64EndSize];
  if (!ReadAt(locatorAt, locator, sizeof locator)) return false;
  if (Le32(locator + 4) != 0 || Le32(locator + 16) > 1)
    return Fail("archives split over several disks are not supported", archiveName_);
  const std::uint64_t recorded = Le64(locator + 8);
  end.at = locatorAt - static_cast<std::int64_t>(kZip64EndSize);
  if (recorded < static_cast<std::uint64_t>(locatorAt)) {
    if (!ReadAt(static_cast<std::int64_t>(recorded), record, sizeof record)) return false;
    if (Le32(record) == kZip64EndSignature) end.at = static_cast<std::int64_t>(recorded);
  }
  if (!ReadAt(end.at, record, sizeof record)) return false;
  if (Le32(record) != kZip64EndSignature) return Fail("damaged Zip64 end record", archiveName_);
  if (Le32(record + 16) != 0 || Le32(record + 20) != 0 || Le64(record + 24) != Le64(record + 32))
    return Fail("archives split over several disks are not supported", archiveName_);
  end.count = Le64(record + 32);
  end.size = Le64(record + 40);
  end.offset = Le64(record + 48);
  return true;
}

// The directory ends where the end record begins. When no central record
// lies at the recorded offset but one lies where the directory really
// begins, the archive follows other bytes and every offset is shifted.
bool TZipReader::FindShift(const TEnd& end) {
  if (end.size > static_cast<std::uint64_t>(end.at) || end.offset > static_cast<std::uint64_t>(end.at) - end.size ||
      end.count > rtl::DivideSmall(end.size, kCentralHeaderSize))
    return Fail("damaged central directory", archiveName_);
  directoryStart_ = static_cast<std::int64_t>(end.offset);
  const std::int64_t actual = end.at - static_cast<std::int64_t>(end.size);
  if (end.count == 0 || actual == directoryStart_) return true;
  unsigned char signature[4];
  if (!ReadAt(directoryStart_, signature, sizeof signature)) return false;
  if (Le32(signature) == kCentralSignature) return true;
  if (!ReadAt(actual, signature, sizeof signature)) return false;
  if (Le32(signature) != kCentralSignature) return Fail("damaged central directory", archiveName_);
  shift_ = actual - directoryStart_;
  directoryStart_ = actual;
  return true;
}

// The directory's size was checked against where the end record lies, so
// no more is allocated than the file holds.
bool TZipReader::ReadDirectory(const TZipNameDecoder& names) {
  TEnd end;
  if (!FindEndRecord(end) || !FindShift(end)) return false;
  std::string directory(static_cast<std::size_t>(end.size), '\0');
  if (!ReadAt(directoryStart_, &directory[0], directory.size())) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(directory.data());
  const unsigned char* const limit = p + directory.size();
  for (std::uint64_t i = 0; i < end.count; ++i) {
    if (limit - p < static_cast<std::ptrdiff_t>(kCentralHeaderSize) || Le32(p) != kCentralSignature)
      return Fail("damaged central directory", archiveName_);
    const std::size_t recordSize = kCentralHeaderSize + Le16(p + 28) + Le16(p + 30) + Le16(p + 32);
    if (static_cast<std::size_t>(limit - p) < recordSize) return Fail("damaged central directory", archiveName_);
    TZipEntry entry;
    if (!ReadEntry(p, names, entry)) return false;
    entries_.push_back(std::move(entry));
    p += recordSize;
  }
  return true;
}

// One central record, whose name and extra field lie within the directory.
bool TZipReader::ReadEntry(const unsigned char* record, const TZipNameDecoder& names, TZipEntry& entry) {
  const std::size_t nameSize = Le16(record + 28), extraSize = Le16(record + 30);
  const std::uint16_t madeBy = Le16(record + 4);
  entry.madeBy = madeBy;
  entry.flags = Le16(record + 8);
  entry.method = Le16(record + 10);
  entry.crc = Le32(record + 16);
  entry.compressedSize = Le32(record + 20);
  entry.size = Le32(record + 24);
  entry.externalAttributes = Le32(record + 38);
  entry.localOffset = Le32(record + 42);
  entry.rawName.assign(reinterpret_cast<const char*>(record + kCentralHeaderSize), nameSize);
  const unsigned char* extra = record + kCentralHeaderSize + nameSize;
  if (!names.Decode(entry.rawName, entry.flags, madeBy,
                    std::string(reinterpret_cast<const char*>(extra), extraSize), entry.name))
    return Fail("name is no text in code page "_w + rtl::ToWide(std::to_string(names.LegacyCodePage(madeBy))),
                rtl::ToWide(entry.rawName));
  if (!ReadZip64Extra(entry, extra, extraSize)) return false;
  entry.localOffset += shift_;
  return true;
}

// The Zip64 extra field holds, in this order, the size, the compressed size
// and the local header's offset, each only where the record's own field is
// 0xFFFFFFFF.
bool TZipReader::ReadZip64Extra(TZipEntry& entry, const unsigned char* extra, std::size_t size) {
  for (std::size_t at = 0; at + 4 <= size; at += 4 + Le16(extra + at + 2)) {
    if (Le16(extra + at) != kZip64ExtraTag) continue;
    const unsigned char* value = extra + at + 4;
    const unsigned char* const end = value + std::min<std::size_t>(Le16(extra + at + 2), size - at - 4);
    bool complete = true;
    const auto take = [&](std::uint64_t field) {
      if (field != kZip64Marker) return field;
      if (end - value < 8) {
        complete = false;
        return field;
      }
      value += 8;
      return Le64(value - 8);
    };
    const std::uint64_t fullSize = take(entry.size), compressed = take(entry.compressedSize);
    const std::uint64_t offset = take(static_cast<std::uint64_t>(entry.localOffset));
    if (!complete) return Fail("damaged Zip64 extra field", entry.name);
    if (fullSize > kZip64Marker || compressed > kZip64Marker || offset > kZip64Marker)
      return Fail("entries beyond 4 GiB are not supported", entry.name);
    entry.size = static_cast<std::uint32_t>(fullSize);
    entry.compressedSize = static_cast<std::uint32_t>(compressed);
    entry.localOffset = static_cast<std::int64_t>(offset);
    return true;
  }
  return true;
}

// Reads every local header in the order of the file: each entry's data must
// end before the next local header begins (records that share or overlap
// data would extract the same bytes again and again).
bool TZipReader::CheckLayout() {
  std::vector<std::size_t> order(entries_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  // Records at one offset keep the directory's order: the index breaks ties.
  std::sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
    return entries_[a].localOffset != entries_[b].localOffset ? entries_[a].localOffset < entries_[b].localOffset
                                                              : a < b;
  });
  const TZipEntry* previous = nullptr;
  for (std::size_t index : order) {
    TZipEntry& entry = entries_[index];
    if (previous && entry.localOffset < previous->dataStart + previous->compressedSize) {
      failure_ = "entries that overlap refused: "_w + TEntryName::Shown(previous->name) + " and "_w +
                 TEntryName::Shown(entry.name);
      return false;
    }
    if (!CheckLocalHeader(entry)) return false;
    previous = &entry;
  }
  return true;
}

// A local header must carry the central record's name, and its entry's data
// must end before the central directory.
bool TZipReader::CheckLocalHeader(TZipEntry& entry) {
  std::string header(kLocalHeaderSize + entry.rawName.size(), '\0');
  if (!ReadAt(entry.localOffset, &header[0], header.size())) return false;
  const auto* h = reinterpret_cast<const unsigned char*>(header.data());
  if (Le32(h) != kLocalSignature) return Fail("damaged local header", entry.name);
  if (Le16(h + 26) != entry.rawName.size() || header.compare(kLocalHeaderSize, std::string::npos, entry.rawName) != 0)
    return Fail("central and local names differ", entry.name);
  entry.dataStart = entry.localOffset + static_cast<std::int64_t>(header.size()) + Le16(h + 28);
  if (entry.dataStart + entry.compressedSize > directoryStart_) return Fail("truncated data", entry.name);
  return true;
}

bool TZipReader::Extract(const TZipEntry& entry, Sink sink, void* context) {
  failure_.clear();
  if (entry.flags & kEncryptedFlag) return Fail("encrypted entries are not supported", entry.name);
  if (entry.method != kStored && entry.method != kDeflated)
    return Fail("unsupported compression method "_w + rtl::ToWide(std::to_string(entry.method)), entry.name);
  TOutput output{sink, context, {}};
  if (!(entry.method == kStored ? CopyStored(entry, output) : Inflate(entry, output))) return false;
  return output.crc.Value() == entry.crc || Fail("CRC mismatch", entry.name);
}

bool TZipReader::Put(TOutput& output, const char* data, std::size_t size) {
  output.crc.Update(data, size);
  return output.sink(output.context, data, size);
}

bool TZipReader::CopyStored(const TZipEntry& entry, TOutput& output) {
  if (entry.compressedSize != entry.size) return Fail("damaged data", entry.name);
  std::vector<char> buffer(kChunk);
  std::int64_t offset = entry.dataStart;
  for (std::uint32_t left = entry.size; left > 0;) {
    const std::size_t n = std::min<std::size_t>(left, kChunk);
    if (!ReadAt(offset, buffer.data(), n) || !Put(output, buffer.data(), n)) return false;
    offset += static_cast<std::int64_t>(n);
    left -= static_cast<std::uint32_t>(n);
  }
  return true;
}

bool TZipReader::Inflate(const TZipEntry& entry, TOutput& output) {
  if (!inflater_) inflater_ = std::make_unique<TInflater>();
  TInflation inflation{*this, entry.dataStart, entry.compressedSize, output};
  switch (inflater_->Inflate(ReadDeflated, PutInflated, &inflation, entry.size)) {
    case TInflater::TResult::kDone:
      return inflater_->Produced() == entry.size || Fail("damaged data", entry.name);
    case TInflater::TResult::kDamaged:
      return Fail("damaged data", entry.name);
    case TInflater::TResult::kStopped:
      break;  // a read failed (and said why) or the sink stopped
  }
  return false;
}

// The entry's compressed bytes, and no more.
bool TZipReader::ReadDeflated(void* context, unsigned char* buffer, std::size_t capacity, std::size_t& size) {
  auto& inflation = *static_cast<TInflation*>(context);
  size = std::min<std::size_t>(inflation.left, capacity);
  if (size > 0 && !inflation.reader.ReadAt(inflation.offset, buffer, size)) return false;
  inflation.offset += static_cast<std::int64_t>(size);
  inflation.left -= static_cast<std::uint32_t>(size);
  return true;
}

bool TZipReader::PutInflated(void* context, const char* data, std::size_t size) {
  return Put(static_cast<TInflation*>(context)->output, data, size);
}
