#include "tar_xz/xz_decoder.h"

#include <cstring>

#include "rtl/crc32.h"
#include "rtl/le_bytes.h"
#include "rtl/small_division.h"
#include "rtl/text.h"
#include "zip/zip_source.h"

using namespace rtl::literals;

namespace {

constexpr unsigned char kHeaderMagic[6] = {0xFD, '7', 'z', 'X', 'Z', 0x00};
constexpr unsigned char kFooterMagic[2] = {'Y', 'Z'};
constexpr std::size_t kStreamHeaderSize = 12;
constexpr unsigned kCheckNone = 0, kCheckCrc32 = 1, kCheckCrc64 = 4, kCheckSha256 = 10;
constexpr std::uint64_t kLzma2 = 0x21;
constexpr std::uint64_t kMaxVli = ~std::uint64_t{0} >> 1;

// The size of a block's check for each check type, in groups of three.
std::size_t CheckSize(unsigned check) {
  static const unsigned char sizes[6] = {0, 4, 8, 16, 32, 64};
  return check == 0 ? 0 : sizes[(check + 2) / 3];
}

// A variable-length integer: 7 bits a byte, lowest first, at most 9 bytes,
// with no needless trailing zero byte.
bool ParseVli(const unsigned char*& p, const unsigned char* end, std::uint64_t& value) {
  value = 0;
  for (unsigned i = 0; i < 9 && p < end; ++i) {
    const unsigned char byte = *p++;
    value |= static_cast<std::uint64_t>(byte & 0x7F) << (7 * i);
    if (!(byte & 0x80)) return i == 0 || byte != 0;
  }
  return false;
}

const char* FilterName(std::uint64_t id) {
  static const char* const names[] = {"Delta", "x86 (BCJ)", "PowerPC", "IA-64", "ARM",
                                      "ARM-Thumb", "SPARC", "ARM64", "RISC-V"};
  return id >= 3 && id <= 11 ? names[id - 3] : nullptr;
}

std::u16string Number(std::uint64_t value) {
  std::u16string digits;
  std::uint32_t digit = 0;
  do {
    value = rtl::DivideSmall(value, 10, &digit);
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + digit));
  } while (value != 0);
  return digits;
}

}  // namespace

bool TXzDecoder::Fail(const std::u16string& reason) {
  failure_ = reason;
  return false;
}

bool TXzDecoder::Fail(const char* reason) { return Fail(rtl::Widen(reason)); }

bool TXzDecoder::IsXz(TZipSource& source) {
  unsigned char magic[sizeof kHeaderMagic];
  return source.Size() >= static_cast<std::int64_t>(sizeof magic) && source.ReadAt(0, magic, sizeof magic) &&
         std::memcmp(magic, kHeaderMagic, sizeof magic) == 0;
}

bool TXzDecoder::Start() {
  input_.Rewind();
  inBlock_ = ended_ = false;
  blocks_ = content_ = 0;
  pendingSize_ = 0;
  unsigned char header[kStreamHeaderSize];
  if (!input_.Read(header, sizeof header) || std::memcmp(header, kHeaderMagic, sizeof kHeaderMagic) != 0)
    return Fail("not an xz file");
  return StartStream(header);
}

// Checks a stream header whose magic has been read.
bool TXzDecoder::StartStream(const unsigned char* header) {
  if (TCrc32::Of(header + 6, 2) != Le32(header + 8)) return Fail("damaged stream header");
  if (header[6] != 0 || header[7] > 0x0F) return Fail("unsupported stream flags");
  std::memcpy(flags_, header + 6, 2);
  check_ = header[7];
  records_.clear();
  if (check_ == kCheckNone) return Fail("streams without an integrity check are not supported");
  if (check_ == kCheckSha256) return Fail("the SHA-256 check is not supported; use CRC-32 or CRC-64");
  if (check_ != kCheckCrc32 && check_ != kCheckCrc64)
    return Fail("unsupported integrity check "_w + Number(check_));
  return true;
}

bool TXzDecoder::Read(char* buffer, std::size_t size, std::size_t& got) {
  got = 0;
  while (got < size) {
    if (pendingSize_ > 0) {
      const std::size_t n = pendingSize_ < size - got ? pendingSize_ : size - got;
      std::memcpy(buffer + got, pending_, n);
      pending_ += n;
      pendingSize_ -= n;
      got += n;
    } else if (ended_) {
      break;
    } else if (!(inBlock_ ? Produce() : NextBlock())) {
      return false;
    }
  }
  return true;
}

// The ring buffer holds the block whole when it holds as many bytes as the
// block has: had it wrapped, it would hold fewer.
bool TXzDecoder::Whole(const unsigned char*& data, std::size_t& size) const {
  if (!ended_ || blocks_ != 1) return false;
  data = lzma2_.Dictionary(size);
  return size == content_;
}

// Starts the next block, or reads the index and footer where the blocks end.
bool TXzDecoder::NextBlock() {
  unsigned char sizeByte;
  if (!input_.Read(&sizeByte, 1)) return Fail("truncated stream");
  return sizeByte == 0 ? ReadIndex() : ReadBlockHeader(sizeByte);
}

bool TXzDecoder::ReadBlockHeader(unsigned char sizeByte) {
  unsigned char header[1024];
  const std::size_t size = (sizeByte + 1u) * 4;
  header[0] = sizeByte;
  if (!input_.Read(header + 1, size - 1)) return Fail("truncated stream");
  if (TCrc32::Of(header, size - 4) != Le32(header + size - 4)) return Fail("damaged block header");
  const unsigned char flags = header[1];
  if (flags & 0x3C) return Fail("unsupported block flags");
  block_ = TBlock();
  block_.headerSize = size;
  block_.compressedSize = block_.uncompressedSize = kUnknown;
  const unsigned char* p = header + 2;
  const unsigned char* end = header + size - 4;
  if ((flags & 0x40) && (!ParseVli(p, end, block_.compressedSize) || block_.compressedSize == 0))
    return Fail("damaged block header");
  if ((flags & 0x80) && !ParseVli(p, end, block_.uncompressedSize)) return Fail("damaged block header");
  if (!ReadFilters(p, end, (flags & 3) + 1u)) return false;
  while (p < end)
    if (*p++ != 0) return Fail("damaged block header");
  block_.dataStart = input_.Position();
  inBlock_ = true;
  return true;
}

bool TXzDecoder::ReadFilters(const unsigned char*& p, const unsigned char* end, unsigned count) {
  std::uint64_t id = 0, propertiesSize = 0;
  for (unsigned i = 0; i < count; ++i) {
    if (!ParseVli(p, end, id) || !ParseVli(p, end, propertiesSize) ||
        propertiesSize > static_cast<std::uint64_t>(end - p))
      return Fail("damaged block header");
    if (id != kLzma2) {
      const char* name = FilterName(id);
      return Fail(name ? "the "_w + rtl::Widen(name) + " filter is not supported; use LZMA2 alone"_w
                       : "unknown filter "_w + Number(id));
    }
    if (i + 1 != count) return Fail("damaged block header");  // LZMA2 comes last
    p += propertiesSize;
  }
  const unsigned char bits = p[-1];
  if (propertiesSize != 1 || bits > 40) return Fail("damaged block header");
  if (bits == 40 || ((2u | (bits & 1)) << (bits / 2 + 11)) > kMaxDictionary)
    return Fail("dictionary larger than 64 MiB");
  const std::uint32_t dictionary = (2u | (bits & 1)) << (bits / 2 + 11);
  return lzma2_.Start(dictionary) || Fail(lzma2_.Failure());
}

// Decodes the next bytes of the block, or checks the block where it ends.
bool TXzDecoder::Produce() {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
  if (!lzma2_.Next(data, size)) return Fail(lzma2_.Failure());
  if (size == 0) return FinishBlock();
  block_.produced += size;
  if (block_.produced > block_.uncompressedSize) return Fail("block larger than it declares");
  Hash(data, size);
  pending_ = data;
  pendingSize_ = size;
  return true;
}

void TXzDecoder::Hash(const unsigned char* data, std::size_t size) {
  if (check_ == kCheckCrc32)
    block_.crc32.Update(data, size);
  else
    block_.crc64.Update(data, size);
}

bool TXzDecoder::FinishBlock() {
  inBlock_ = false;
  const std::uint64_t compressed = input_.Position() - block_.dataStart;
  if ((block_.compressedSize != kUnknown && compressed != block_.compressedSize) ||
      (block_.uncompressedSize != kUnknown && block_.produced != block_.uncompressedSize))
    return Fail("block sizes differ from what its header declares");
  unsigned char tail[3 + 64];
  const std::size_t padding = (4 - compressed % 4) % 4, checkSize = CheckSize(check_);
  if (!input_.Read(tail, padding + checkSize)) return Fail("truncated stream");
  for (std::size_t i = 0; i < padding; ++i)
    if (tail[i] != 0) return Fail("damaged block padding");
  const unsigned char* check = tail + padding;
  const std::uint64_t crc64 = block_.crc64.Value();
  const bool match = check_ == kCheckCrc32 ? Le32(check) == block_.crc32.Value()
                                           : Le32(check) == static_cast<std::uint32_t>(crc64) &&
                                                 Le32(check + 4) == static_cast<std::uint32_t>(crc64 >> 32);
  if (!match) return Fail(check_ == kCheckCrc32 ? "CRC-32 mismatch" : "CRC-64 mismatch");
  records_.emplace_back(block_.headerSize + compressed + checkSize, block_.produced);
  ++blocks_;
  content_ += block_.produced;
  return true;
}

bool TXzDecoder::ReadVli(std::uint64_t& value, std::string& seen) {
  unsigned char bytes[9];
  for (std::size_t i = 0; i < sizeof bytes; ++i) {
    if (!input_.Read(bytes + i, 1)) return Fail("truncated stream");
    seen += static_cast<char>(bytes[i]);
    if (!(bytes[i] & 0x80)) {
      const unsigned char* p = bytes;
      return (ParseVli(p, bytes + i + 1, value) && value <= kMaxVli) || Fail("damaged index");
    }
  }
  return Fail("damaged index");
}

// The index lists every block's unpadded and uncompressed size; it must
// match the blocks read, and its CRC-32 hold.
bool TXzDecoder::ReadIndex() {
  std::string seen(1, '\0');
  std::uint64_t count = 0;
  if (!ReadVli(count, seen)) return false;
  if (count != records_.size()) return Fail("the index does not match the blocks");
  for (const auto& record : records_) {
    std::uint64_t unpadded = 0, uncompressed = 0;
    if (!ReadVli(unpadded, seen) || !ReadVli(uncompressed, seen)) return false;
    if (unpadded != record.first || uncompressed != record.second)
      return Fail("the index does not match the blocks");
  }
  unsigned char tail[3 + 4];
  const std::size_t padding = (4 - seen.size() % 4) % 4;
  if (!input_.Read(tail, padding + 4)) return Fail("truncated stream");
  seen.append(reinterpret_cast<const char*>(tail), padding);
  if (seen.find_first_not_of('\0', seen.size() - padding) != std::string::npos ||
      TCrc32::Of(seen.data(), seen.size()) != Le32(tail + padding))
    return Fail("damaged index");
  return ReadFooter(seen.size() + 4);
}

bool TXzDecoder::ReadFooter(std::uint64_t indexSize) {
  unsigned char footer[12];
  if (!input_.Read(footer, sizeof footer)) return Fail("truncated stream");
  if (std::memcmp(footer + 10, kFooterMagic, 2) != 0 || TCrc32::Of(footer + 4, 6) != Le32(footer))
    return Fail("damaged stream footer");
  if ((Le32(footer + 4) + std::uint64_t{1}) * 4 != indexSize || std::memcmp(footer + 8, flags_, 2) != 0)
    return Fail("the stream footer does not match its header and index");
  return NextStream();
}

// Zeros may follow a stream in groups of four (bsdtar pads its output to
// whole records so), then another stream, or nothing.
bool TXzDecoder::NextStream() {
  unsigned char header[kStreamHeaderSize];
  do {
    if (input_.AtEnd()) {
      ended_ = true;
      return true;
    }
    if (!input_.Read(header, 4)) return Fail("data after the end of the xz stream");
  } while (Le32(header) == 0);
  if (std::memcmp(header, kHeaderMagic, 4) != 0) return Fail("data after the end of the xz stream");
  if (!input_.Read(header + 4, sizeof header - 4)) return Fail("truncated stream");
  if (std::memcmp(header, kHeaderMagic, sizeof kHeaderMagic) != 0) return Fail("data after the end of the xz stream");
  return StartStream(header);
}
