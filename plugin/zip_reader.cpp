#include "plugin/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <numeric>

#include "plugin/zip_name_decoder.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "velm_stream/tv_file_stream.h"

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::uint16_t kZip64ExtraTag = 0x0001;
constexpr std::size_t kMaxCommentSize = 0xFFFF;
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFF;
constexpr std::uint16_t kEncryptedFlag = 1 << 0;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::size_t kChunk = 65536;
// Read-only access that lets others read but not write meanwhile.
constexpr std::uint16_t kOpenShareRead = 0x20;

std::uint16_t Get16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t Get32(const unsigned char* p) {
  return static_cast<std::uint32_t>(Get16(p)) | static_cast<std::uint32_t>(Get16(p + 2)) << 16;
}

std::uint64_t Get64(const unsigned char* p) { return Get32(p) | static_cast<std::uint64_t>(Get32(p + 4)) << 32; }

std::unique_ptr<TVFileStream> OpenArchive(const std::string& fileName, const std::u16string& name) {
  if (!rtl::FileExists(name)) throw Exception(u"archive not found: " + name);
  try {
    return std::make_unique<TVFileStream>(fileName, kOpenShareRead);
  } catch (const EInOutError&) {
    throw Exception(u"cannot open the archive: " + name);
  }
}

}  // namespace

TZipReader::TZipReader(const std::string& fileName, const TZipNameDecoder& names)
    : archiveName_(rtl::ToWide(fileName)), file_(OpenArchive(fileName, archiveName_)) {
  fileSize_ = file_->GetSize();
  ReadDirectory(names);
  CheckLayout();
}

TZipReader::~TZipReader() = default;

void TZipReader::Fail(const std::u16string& reason, const std::u16string& name) const {
  throw Exception(reason + u": " + name);
}

void TZipReader::ReadAt(std::int64_t offset, void* buffer, std::size_t size) {
  const auto count = static_cast<std::int32_t>(size);
  if (offset < 0 || offset + static_cast<std::int64_t>(size) > fileSize_ ||
      file_->Seek(offset, 0) != offset || file_->Read(buffer, count) != count)
    Fail(u"archive truncated", archiveName_);
}

// Finds the end record, searching back over a comment of any length; a
// Zip64 locator right before it leads to the Zip64 end record.
TZipReader::TEnd TZipReader::FindEndRecord() {
  const std::size_t tailSize =
      static_cast<std::size_t>(std::min<std::int64_t>(fileSize_, kEndRecordSize + kMaxCommentSize));
  std::string tail(tailSize, '\0');
  ReadAt(fileSize_ - static_cast<std::int64_t>(tailSize), &tail[0], tailSize);
  const auto* bytes = reinterpret_cast<const unsigned char*>(tail.data());
  for (std::size_t at = tailSize; at-- > 0;) {
    const unsigned char* p = bytes + at;
    if (at + kEndRecordSize > tailSize || Get32(p) != kEndSignature ||
        at + kEndRecordSize + Get16(p + 20) > tailSize)
      continue;
    TEnd end;
    end.at = fileSize_ - static_cast<std::int64_t>(tailSize - at);
    unsigned char locator[4] = {};
    if (end.at >= static_cast<std::int64_t>(kZip64LocatorSize))
      ReadAt(end.at - static_cast<std::int64_t>(kZip64LocatorSize), locator, sizeof locator);
    if (Get32(locator) == kZip64LocatorSignature) {
      ReadZip64End(end);
      return end;
    }
    if (Get16(p + 4) != 0 || Get16(p + 6) != 0 || Get16(p + 8) != Get16(p + 10))
      Fail(u"archives split over several disks are not supported", archiveName_);
    end.count = Get16(p + 10);
    end.size = Get32(p + 12);
    end.offset = Get32(p + 16);
    return end;
  }
  unsigned char head[4] = {};
  if (fileSize_ >= 4) ReadAt(0, head, sizeof head);
  Fail(Get32(head) == kLocalSignature ? u"archive truncated" : u"not a ZIP archive", archiveName_);
}

// The Zip64 end record lies where the locator says, or, in an archive behind
// other bytes, right before the locator.
void TZipReader::ReadZip64End(TEnd& end) {
  const std::int64_t locatorAt = end.at - static_cast<std::int64_t>(kZip64LocatorSize);
  unsigned char locator[kZip64LocatorSize], record[kZip64EndSize];
  ReadAt(locatorAt, locator, sizeof locator);
  if (Get32(locator + 4) != 0 || Get32(locator + 16) > 1)
    Fail(u"archives split over several disks are not supported", archiveName_);
  const std::uint64_t recorded = Get64(locator + 8);
  end.at = locatorAt - static_cast<std::int64_t>(kZip64EndSize);
  if (recorded < static_cast<std::uint64_t>(locatorAt)) {
    ReadAt(static_cast<std::int64_t>(recorded), record, sizeof record);
    if (Get32(record) == kZip64EndSignature) end.at = static_cast<std::int64_t>(recorded);
  }
  ReadAt(end.at, record, sizeof record);
  if (Get32(record) != kZip64EndSignature) Fail(u"damaged Zip64 end record", archiveName_);
  if (Get32(record + 16) != 0 || Get32(record + 20) != 0 || Get64(record + 24) != Get64(record + 32))
    Fail(u"archives split over several disks are not supported", archiveName_);
  end.count = Get64(record + 32);
  end.size = Get64(record + 40);
  end.offset = Get64(record + 48);
}

// The directory ends where the end record begins. When no central record
// lies at the recorded offset but one lies where the directory really
// begins, the archive follows other bytes and every offset is shifted.
void TZipReader::FindShift(const TEnd& end) {
  if (end.size > static_cast<std::uint64_t>(end.at) || end.offset > static_cast<std::uint64_t>(end.at) - end.size ||
      end.count > end.size / kCentralHeaderSize)
    Fail(u"damaged central directory", archiveName_);
  directoryStart_ = static_cast<std::int64_t>(end.offset);
  const std::int64_t actual = end.at - static_cast<std::int64_t>(end.size);
  if (end.count == 0 || actual == directoryStart_) return;
  unsigned char signature[4];
  ReadAt(directoryStart_, signature, sizeof signature);
  if (Get32(signature) == kCentralSignature) return;
  ReadAt(actual, signature, sizeof signature);
  if (Get32(signature) != kCentralSignature) Fail(u"damaged central directory", archiveName_);
  shift_ = actual - directoryStart_;
  directoryStart_ = actual;
}

void TZipReader::ReadDirectory(const TZipNameDecoder& names) {
  const TEnd end = FindEndRecord();
  FindShift(end);
  std::string directory(static_cast<std::size_t>(end.size), '\0');
  ReadAt(directoryStart_, &directory[0], directory.size());
  const auto* p = reinterpret_cast<const unsigned char*>(directory.data());
  const unsigned char* const limit = p + directory.size();
  for (std::uint64_t i = 0; i < end.count; ++i) {
    if (limit - p < static_cast<std::ptrdiff_t>(kCentralHeaderSize) || Get32(p) != kCentralSignature)
      Fail(u"damaged central directory", archiveName_);
    const std::size_t nameSize = Get16(p + 28), extraSize = Get16(p + 30);
    const std::size_t recordSize = kCentralHeaderSize + nameSize + extraSize + Get16(p + 32);
    if (static_cast<std::size_t>(limit - p) < recordSize) Fail(u"damaged central directory", archiveName_);
    TZipEntry entry;
    entry.flags = Get16(p + 8);
    entry.method = Get16(p + 10);
    entry.crc = Get32(p + 16);
    entry.compressedSize = Get32(p + 20);
    entry.size = Get32(p + 24);
    entry.localOffset = Get32(p + 42);
    entry.rawName.assign(reinterpret_cast<const char*>(p + kCentralHeaderSize), nameSize);
    const unsigned char* extra = p + kCentralHeaderSize + nameSize;
    if (!names.Decode(entry.rawName, entry.flags, Get16(p + 4),
                      std::string(reinterpret_cast<const char*>(extra), extraSize), entry.name))
      Fail(u"name is no text in code page " + rtl::ToWide(std::to_string(names.LegacyCodePage(Get16(p + 4)))),
           rtl::ToWide(entry.rawName));
    ReadZip64Extra(entry, extra, extraSize);
    entry.localOffset += shift_;
    entries_.push_back(std::move(entry));
    p += recordSize;
  }
}

// The Zip64 extra field holds, in this order, the size, the compressed size
// and the local header's offset, each only where the record's own field is
// 0xFFFFFFFF.
void TZipReader::ReadZip64Extra(TZipEntry& entry, const unsigned char* extra, std::size_t size) {
  for (std::size_t at = 0; at + 4 <= size; at += 4 + Get16(extra + at + 2)) {
    if (Get16(extra + at) != kZip64ExtraTag) continue;
    const unsigned char* value = extra + at + 4;
    const unsigned char* const end = value + std::min<std::size_t>(Get16(extra + at + 2), size - at - 4);
    const auto take = [&](std::uint64_t field) {
      if (field != kZip64Marker) return field;
      if (end - value < 8) Fail(u"damaged Zip64 extra field", entry.name);
      value += 8;
      return Get64(value - 8);
    };
    const std::uint64_t fullSize = take(entry.size), compressed = take(entry.compressedSize);
    const std::uint64_t offset = take(static_cast<std::uint64_t>(entry.localOffset));
    if (fullSize > kZip64Marker || compressed > kZip64Marker || offset > kZip64Marker)
      Fail(u"entries beyond 4 GiB are not supported", entry.name);
    entry.size = static_cast<std::uint32_t>(fullSize);
    entry.compressedSize = static_cast<std::uint32_t>(compressed);
    entry.localOffset = static_cast<std::int64_t>(offset);
    return;
  }
}

// Reads every local header in the order of the file: each must carry the
// central record's name, and each entry's data must end before the next
// local header begins (records that share or overlap data would extract
// the same bytes again and again) and before the central directory.
void TZipReader::CheckLayout() {
  std::vector<std::size_t> order(entries_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [this](std::size_t a, std::size_t b) { return entries_[a].localOffset < entries_[b].localOffset; });
  const TZipEntry* previous = nullptr;
  for (std::size_t index : order) {
    TZipEntry& entry = entries_[index];
    if (previous && entry.localOffset < previous->dataStart + previous->compressedSize)
      throw Exception(u"entries that overlap refused: " + previous->name + u" and " + entry.name);
    std::string header(kLocalHeaderSize + entry.rawName.size(), '\0');
    ReadAt(entry.localOffset, &header[0], header.size());
    const auto* h = reinterpret_cast<const unsigned char*>(header.data());
    if (Get32(h) != kLocalSignature) Fail(u"damaged local header", entry.name);
    if (Get16(h + 26) != entry.rawName.size() || header.compare(kLocalHeaderSize, std::string::npos, entry.rawName) != 0)
      Fail(u"central and local names differ", entry.name);
    entry.dataStart = entry.localOffset + static_cast<std::int64_t>(header.size()) + Get16(h + 28);
    if (entry.dataStart + entry.compressedSize > directoryStart_) Fail(u"truncated data", entry.name);
    previous = &entry;
  }
}

void TZipReader::Extract(const TZipEntry& entry, const Sink& sink) {
  if (entry.flags & kEncryptedFlag) Fail(u"encrypted entries are not supported", entry.name);
  if (entry.method != kStored && entry.method != kDeflated)
    Fail(u"unsupported compression method " + rtl::ToWide(std::to_string(entry.method)), entry.name);
  uLong crc = crc32(0, nullptr, 0);
  const Sink checked = [&](const char* data, std::size_t size) {
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size));
    sink(data, size);
  };
  if (entry.method == kStored)
    CopyStored(entry, entry.dataStart, checked);
  else
    Inflate(entry, entry.dataStart, checked);
  if (crc != entry.crc) Fail(u"CRC mismatch", entry.name);
}

void TZipReader::CopyStored(const TZipEntry& entry, std::int64_t offset, const Sink& sink) {
  if (entry.compressedSize != entry.size) Fail(u"damaged data", entry.name);
  std::vector<char> buffer(kChunk);
  for (std::uint32_t left = entry.size; left > 0;) {
    const std::size_t n = std::min<std::size_t>(left, kChunk);
    ReadAt(offset, buffer.data(), n);
    sink(buffer.data(), n);
    offset += static_cast<std::int64_t>(n);
    left -= static_cast<std::uint32_t>(n);
  }
}

void TZipReader::Inflate(const TZipEntry& entry, std::int64_t offset, const Sink& sink) {
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) throw EOutOfMemory(u"out of memory");
  std::unique_ptr<z_stream, int (*)(z_stream*)> end(&stream, inflateEnd);
  std::vector<char> input(kChunk), output(kChunk);
  std::uint32_t left = entry.compressedSize;
  for (int status = Z_OK; status != Z_STREAM_END;) {
    if (stream.avail_in == 0) {
      if (left == 0) Fail(u"damaged data", entry.name);
      const std::size_t n = std::min<std::size_t>(left, kChunk);
      ReadAt(offset, input.data(), n);
      offset += static_cast<std::int64_t>(n);
      left -= static_cast<std::uint32_t>(n);
      stream.next_in = reinterpret_cast<Bytef*>(input.data());
      stream.avail_in = static_cast<uInt>(n);
    }
    stream.next_out = reinterpret_cast<Bytef*>(output.data());
    stream.avail_out = static_cast<uInt>(kChunk);
    status = inflate(&stream, Z_NO_FLUSH);
    if ((status != Z_OK && status != Z_STREAM_END) || stream.total_out > entry.size)
      Fail(u"damaged data", entry.name);
    sink(output.data(), kChunk - stream.avail_out);
  }
  if (stream.total_out != entry.size) Fail(u"damaged data", entry.name);
}
