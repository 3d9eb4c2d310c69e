#include "plugin/zip_reader.h"

#include <zlib.h>

#include <algorithm>

#include "rtl/exception.h"
#include "rtl/text.h"
#include "velm_stream/tv_file_stream.h"

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kMaxCommentSize = 0xFFFF;
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFF;
constexpr std::uint16_t kEncryptedFlag = 1 << 0;
constexpr std::uint16_t kUtf8Flag = 1 << 11;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::size_t kChunk = 65536;
// Read-only access that lets others read but not write meanwhile.
constexpr std::uint16_t kOpenShareRead = 0x20;

std::uint16_t Get16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t Get32(const unsigned char* p) {
  return static_cast<std::uint32_t>(Get16(p)) | static_cast<std::uint32_t>(Get16(p + 2)) << 16;
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// UTF-8 to UTF-16; a malformed or overlong sequence becomes U+FFFD.
std::u16string Utf8ToWide(const std::string& text) {
  static const std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i++]);
    const int extra = lead < 0x80   ? 0
                      : lead < 0xC0 ? -1
                      : lead < 0xE0 ? 1
                      : lead < 0xF0 ? 2
                      : lead < 0xF8 ? 3
                                    : -1;
    std::uint32_t code = extra > 0 ? lead & (0x3F >> extra) : lead;
    int k = 0;
    for (; k < extra && i < text.size() && IsContinuation(text[i]); ++k, ++i)
      code = code << 6 | (static_cast<unsigned char>(text[i]) & 0x3F);
    if (extra < 0 || k < extra || code < kSmallest[extra] || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      out += u'\xFFFD';
    } else if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

std::unique_ptr<TVFileStream> OpenArchive(const std::string& fileName, const std::u16string& name) {
  if (!rtl::FileExists(name)) throw Exception(u"archive not found: " + name);
  try {
    return std::make_unique<TVFileStream>(fileName, kOpenShareRead);
  } catch (const EInOutError&) {
    throw Exception(u"cannot open the archive: " + name);
  }
}

}  // namespace

TZipReader::TZipReader(const std::string& fileName)
    : archiveName_(rtl::ToWide(fileName)), file_(OpenArchive(fileName, archiveName_)) {
  fileSize_ = file_->GetSize();
  ReadDirectory();
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

// Finds the end record, searching back over a comment of any length, and
// returns its offset.
std::int64_t TZipReader::FindEndRecord(std::uint32_t& entryCount, std::uint32_t& directorySize,
                                       std::uint32_t& directoryOffset) {
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
    if (Get16(p + 4) != 0 || Get16(p + 6) != 0 || Get16(p + 8) != Get16(p + 10))
      Fail(u"archives split over several disks are not supported", archiveName_);
    entryCount = Get16(p + 10);
    directorySize = Get32(p + 12);
    directoryOffset = Get32(p + 16);
    return fileSize_ - static_cast<std::int64_t>(tailSize - at);
  }
  unsigned char head[4] = {};
  if (fileSize_ >= 4) ReadAt(0, head, sizeof head);
  Fail(Get32(head) == kLocalSignature ? u"archive truncated" : u"not a ZIP archive", archiveName_);
}

void TZipReader::ReadDirectory() {
  std::uint32_t count = 0, size = 0, offset = 0;
  const std::int64_t end = FindEndRecord(count, size, offset);
  unsigned char locator[4] = {};
  if (end >= 20) ReadAt(end - 20, locator, sizeof locator);
  if (Get32(locator) == kZip64LocatorSignature || size == kZip64Marker || offset == kZip64Marker)
    Fail(u"Zip64 archives are not supported", archiveName_);
  if (static_cast<std::int64_t>(offset) + size > end)
    Fail(u"damaged central directory", archiveName_);
  directoryStart_ = offset;
  std::string directory(size, '\0');
  ReadAt(offset, &directory[0], size);
  const auto* p = reinterpret_cast<const unsigned char*>(directory.data());
  const unsigned char* const limit = p + size;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (limit - p < static_cast<std::ptrdiff_t>(kCentralHeaderSize) ||
        Get32(p) != kCentralSignature)
      Fail(u"damaged central directory", archiveName_);
    const std::size_t nameSize = Get16(p + 28);
    const std::size_t recordSize = kCentralHeaderSize + nameSize + Get16(p + 30) + Get16(p + 32);
    if (static_cast<std::size_t>(limit - p) < recordSize)
      Fail(u"damaged central directory", archiveName_);
    TZipEntry entry;
    entry.flags = Get16(p + 8);
    entry.method = Get16(p + 10);
    entry.crc = Get32(p + 16);
    entry.compressedSize = Get32(p + 20);
    entry.size = Get32(p + 24);
    entry.localOffset = Get32(p + 42);
    const std::string rawName(reinterpret_cast<const char*>(p + kCentralHeaderSize), nameSize);
    entry.name = entry.flags & kUtf8Flag ? Utf8ToWide(rawName) : rtl::ToWide(rawName);
    if (entry.compressedSize == kZip64Marker || entry.size == kZip64Marker ||
        entry.localOffset == kZip64Marker)
      Fail(u"Zip64 archives are not supported", entry.name);
    entries_.push_back(std::move(entry));
    p += recordSize;
  }
}

// The offset of the entry's data, behind its local header; the data must end
// before the central directory.
std::int64_t TZipReader::DataStart(const TZipEntry& entry) {
  unsigned char header[kLocalHeaderSize];
  ReadAt(entry.localOffset, header, sizeof header);
  if (Get32(header) != kLocalSignature) Fail(u"damaged local header", entry.name);
  const std::int64_t start = static_cast<std::int64_t>(entry.localOffset) + kLocalHeaderSize +
                             Get16(header + 26) + Get16(header + 28);
  if (start + entry.compressedSize > directoryStart_) Fail(u"truncated data", entry.name);
  return start;
}

void TZipReader::Extract(const TZipEntry& entry, const Sink& sink) {
  if (entry.flags & kEncryptedFlag) Fail(u"encrypted entries are not supported", entry.name);
  if (entry.method != kStored && entry.method != kDeflated)
    Fail(u"unsupported compression method " + rtl::ToWide(std::to_string(entry.method)),
         entry.name);
  const std::int64_t offset = DataStart(entry);
  uLong crc = crc32(0, nullptr, 0);
  const Sink checked = [&](const char* data, std::size_t size) {
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size));
    sink(data, size);
  };
  if (entry.method == kStored)
    CopyStored(entry, offset, checked);
  else
    Inflate(entry, offset, checked);
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
