#include "tar_xz/tar_reader.h"

#include "rtl/text.h"
#include "tar_xz/tar_header.h"
#include "tar_xz/xz_decoder.h"
#include "zip/zip_file_source.h"
#include "zip/zip_name_decoder.h"

using namespace rtl::literals;

namespace {

constexpr std::size_t kChunk = 64 * 1024;
// What Extract hands its sink at a time from a tar held in memory.
constexpr std::size_t kWholeChunk = 1 << 20;
// The longest pax header or GNU long name read, as libarchive reads them:
// far beyond any path, room for extended attributes.
constexpr std::uint64_t kMaxExtension = 1 << 20;
// Bounds on the list of entries, which a small stream could otherwise make
// as large as it likes (a million empty entries are 512 MB of tar but 1 MB
// of xz): a name no longer than Windows' longest path, at most a million
// entries and 16 Mi characters of names in all: about 250 MB at most in a
// 64-bit build.
constexpr std::size_t kMaxName = 32767;
constexpr std::size_t kMaxEntries = 1000000;
constexpr std::uint64_t kMaxNames = 16u << 20;
// How much of an entry's name a failure shows.
constexpr std::size_t kShownName = 256;
constexpr std::uint16_t kUtf8Flag = 0x0800, kMadeOnUnix = 0x0300;

std::uint64_t Padded(std::uint64_t size) {
  return (size + TTarHeader::kBlock - 1) / TTarHeader::kBlock * TTarHeader::kBlock;
}

// Why an entry of this type is refused.
std::u16string TypeRefusal(char type) {
  switch (type) {
    case '1': return "hard links are not supported"_w;
    case '2': return "symbolic links are not supported"_w;
    case '3':
    case '4': return "devices are not supported"_w;
    case '6': return "FIFOs are not supported"_w;
    default: return "entries of type '"_w + rtl::ToWide(std::string(1, type)) + "' are not supported"_w;
  }
}

}  // namespace

TTarReader::TTarReader() : buffer_(kChunk) {}
TTarReader::~TTarReader() = default;

bool TTarReader::Fail(const std::u16string& reason, const std::u16string& name) {
  failure_ = reason + ": "_w + name.substr(0, kShownName) + (name.size() > kShownName ? "..."_w : ""_w);
  return false;
}

bool TTarReader::Fail(const char* reason, const std::u16string& name) { return Fail(rtl::Widen(reason), name); }

bool TTarReader::Recognises(TZipSource& source) { return TXzDecoder::IsXz(source); }

bool TTarReader::Open(const std::string& fileName, const TZipNameDecoder& names) {
  auto file = std::make_unique<TZipFileSource>(fileName);
  std::u16string reason;
  if (!file->Open(reason)) return Fail(reason, file->Name());
  file_ = std::move(file);
  return Open(*file_, names);
}

bool TTarReader::Open(TZipSource& source, const TZipNameDecoder& names) {
  source_ = &source;
  xz_ = std::make_unique<TXzDecoder>(source);
  if (!Restart() || !ReadEntries(names)) return false;
  if (!xz_->Whole(whole_, wholeSize_)) whole_ = nullptr;
  return true;
}

bool TTarReader::Restart() {
  position_ = 0;
  return xz_->Start() || Fail(xz_->Failure(), source_->Name());
}

// Reads up to size bytes, fewer only where the stream ends.
bool TTarReader::ReadExact(char* buffer, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    std::size_t n = 0;
    if (!xz_->Read(buffer + got, size - got, n)) return Fail(xz_->Failure(), source_->Name());
    if (n == 0) return Fail("truncated tar archive", source_->Name());
    got += n;
  }
  position_ += size;
  return true;
}

bool TTarReader::Skip(std::uint64_t size) {
  while (size > 0) {
    const std::size_t n = size < kChunk ? static_cast<std::size_t>(size) : kChunk;
    if (!ReadExact(buffer_.data(), n)) return false;
    size -= n;
  }
  return true;
}

bool TTarReader::ReadBody(std::uint64_t size, std::string& body) {
  if (size > kMaxExtension) return Fail("extended header too large", source_->Name());
  body.assign(static_cast<std::size_t>(size), '\0');
  return ReadExact(&body[0], body.size()) && Skip(Padded(size) - size);
}

bool TTarReader::ReadEntries(const TZipNameDecoder& names) {
  std::string pax, longName;
  for (;;) {
    TTarHeader header;
    bool end = false;
    if (!ReadHeader(header, end)) return false;
    if (end) return CheckTail();
    const char type = header.Type();
    if (type == TTarHeader::kPax || type == TTarHeader::kLongName) {
      if (!ReadBody(header.Size(), type == TTarHeader::kPax ? pax : longName)) return false;
      continue;
    }
    if (type == TTarHeader::kPaxGlobal || type == TTarHeader::kLongLink) {
      if (!Skip(Padded(header.Size()))) return false;
      continue;
    }
    if (!longName.empty()) header.ApplyLongName(longName);
    if (!pax.empty() && !header.ApplyPax(pax)) return Fail("damaged pax header", rtl::ToWide(header.Name()));
    pax.clear();
    longName.clear();
    if (!AddEntry(header, names)) return false;
  }
}

// The next header, or end where the archive's end block is (or the stream
// ends where a header would start).
bool TTarReader::ReadHeader(TTarHeader& header, bool& end) {
  unsigned char block[TTarHeader::kBlock];
  std::size_t got = 0;
  if (!xz_->Read(reinterpret_cast<char*>(block), sizeof block, got)) return Fail(xz_->Failure(), source_->Name());
  position_ += got;
  end = got == 0 || (got == sizeof block && TTarHeader::IsEnd(block));
  if (end) return true;
  if (got != sizeof block) return Fail("truncated tar archive", source_->Name());
  return header.Parse(block) || Fail("damaged tar header", source_->Name());
}

// Keeps the list of entries within its bounds as it grows by an entry named name.
bool TTarReader::WithinBounds(const std::u16string& name) {
  if (entries_.size() == kMaxEntries)
    return Fail("archives of more than 1,000,000 entries are not supported", source_->Name());
  if (name.size() > kMaxName) return Fail("names longer than 32,767 characters are not supported", name);
  nameLength_ += name.size();
  return nameLength_ <= kMaxNames || Fail("the entries' names exceed 16,777,216 characters in all", source_->Name());
}

bool TTarReader::AddEntry(const TTarHeader& header, const TZipNameDecoder& names) {
  TZipEntry entry;
  entry.rawName = header.Name();
  if (!names.Decode(entry.rawName, header.NameIsUtf8() ? kUtf8Flag : 0, kMadeOnUnix, {}, entry.name))
    return Fail("name is no text in code page "_w +
                    rtl::ToWide(std::to_string(names.LegacyCodePage(kMadeOnUnix))),
                rtl::ToWide(entry.rawName));
  if (!WithinBounds(entry.name)) return false;
  if (header.IsSparse()) return Fail("sparse files are not supported; archive them without tar -S", entry.name);
  const bool folder = header.Type() == TTarHeader::kFolder;
  if (!folder && !header.IsFile()) return Fail(TypeRefusal(header.Type()), entry.name);
  if (header.Size() > 0xFFFFFFFEu) return Fail("entries of 4 GiB or more are not supported", entry.name);
  if (folder && header.Size() != 0) return Fail("damaged tar header", entry.name);
  const bool slash = !entry.name.empty() && entry.name.back() == u'/';
  if (!folder && slash) return Fail("damaged tar header", entry.name);  // a file named as a folder
  if (folder && !slash) entry.name += u'/';
  entry.size = entry.compressedSize = static_cast<std::uint32_t>(header.Size());
  entry.localOffset = entry.dataStart = static_cast<std::int64_t>(position_);
  entries_.push_back(entry);
  return Skip(Padded(header.Size()));
}

// After the end block only zeros may follow (the padding of tar's records),
// up to the end of the xz stream, which is checked throughout.
bool TTarReader::CheckTail() {
  for (;;) {
    std::size_t got = 0;
    if (!xz_->Read(buffer_.data(), buffer_.size(), got)) return Fail(xz_->Failure(), source_->Name());
    if (got == 0) return true;
    for (std::size_t i = 0; i < got; ++i)
      if (buffer_[i] != 0) return Fail("data after the end of the tar archive", source_->Name());
  }
}

bool TTarReader::Extract(const TZipEntry& entry, Sink sink, void* context) {
  if (!whole_) return ExtractDecoded(entry, sink, context);
  const auto start = static_cast<std::uint64_t>(entry.dataStart);
  if (start > wholeSize_ || entry.size > wholeSize_ - start) return Fail("truncated tar archive", source_->Name());
  const char* data = reinterpret_cast<const char*>(whole_) + start;
  for (std::size_t left = entry.size, n = 0; left > 0; data += n, left -= n) {
    n = left < kWholeChunk ? left : kWholeChunk;
    if (!sink(context, data, n)) {
      failure_.clear();
      return false;
    }
  }
  return true;
}

bool TTarReader::ExtractDecoded(const TZipEntry& entry, Sink sink, void* context) {
  const auto start = static_cast<std::uint64_t>(entry.dataStart);
  if (start < position_ && !Restart()) return false;
  if (!Skip(start - position_)) return false;
  for (std::uint64_t left = entry.size; left > 0;) {
    const std::size_t n = left < kChunk ? static_cast<std::size_t>(left) : kChunk;
    if (!ReadExact(buffer_.data(), n)) return false;
    if (!sink(context, buffer_.data(), n)) {
      failure_.clear();
      return false;
    }
    left -= n;
  }
  return true;
}
