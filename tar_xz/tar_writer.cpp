#include "tar_xz/tar_writer.h"

#include <cstring>
#include <memory>

#include "os/os.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "velm_stream/tv_file_stream.h"

namespace {

constexpr std::size_t kBlock = 512, kChunk = 64 * 1024;
constexpr std::size_t kNameSize = 100, kPrefixSize = 155;
constexpr std::uint64_t kTime = 315532800;  // 1980-01-01 00:00 UTC, as the ZIP writer's entries

std::uint64_t Padded(std::uint64_t size) { return (size + kBlock - 1) / kBlock * kBlock; }

bool IsAscii(const std::string& name) {
  for (unsigned char c : name)
    if (c >= 0x80) return false;
  return true;
}

// Where name splits into ustar's prefix and name fields (the slash between
// them), 0 when it fits the name field alone, npos when it does not fit.
std::size_t Split(const std::string& name) {
  if (!IsAscii(name)) return std::string::npos;
  if (name.size() <= kNameSize) return 0;
  for (std::size_t slash = name.find('/'); slash != std::string::npos && slash <= kPrefixSize;
       slash = name.find('/', slash + 1))
    if (name.size() - slash - 1 <= kNameSize && slash + 1 < name.size()) return slash;
  return std::string::npos;
}

// The pax record "LENGTH path=NAME\n", LENGTH counting itself.
std::string PaxPath(const std::string& name) {
  const std::string body = " path=" + name + "\n";
  std::size_t length = body.size() + 1;
  while (std::to_string(length).size() + body.size() != length) ++length;
  return std::to_string(length) + body;
}

void PutOctal(char* field, std::size_t size, std::uint64_t value) {
  for (std::size_t i = size - 1; i-- > 0; value >>= 3) field[i] = static_cast<char>('0' + (value & 7));
}

// A ustar header block: name (and prefix), mode, owner 0, size, fixed time.
std::string Header(const std::string& name, std::size_t split, char type, std::uint64_t size) {
  std::string block(kBlock, '\0');
  const std::string tail = split ? name.substr(split + 1) : name;
  if (split) name.copy(&block[345], split);
  tail.copy(&block[0], kNameSize);
  PutOctal(&block[100], 8, type == '5' ? 0755 : 0644);
  PutOctal(&block[108], 8, 0);
  PutOctal(&block[116], 8, 0);
  PutOctal(&block[124], 12, size);
  PutOctal(&block[136], 12, kTime);
  block[156] = type;
  std::memcpy(&block[257], "ustar\0" "00", 8);
  std::memset(&block[148], ' ', 8);
  unsigned sum = 0;
  for (unsigned char c : block) sum += c;
  PutOctal(&block[148], 7, sum);
  return block;
}

// The name a header carries beside a pax path: ASCII, within the name field.
std::string StandIn(const std::string& name) {
  std::string ascii;
  for (unsigned char c : name) ascii += c < 0x80 ? static_cast<char>(c) : '_';
  return ascii.substr(0, kNameSize);
}

EInOutError SourceError(const std::u16string& source, const std::u16string& reason) {
  return EInOutError(source + u": " + reason);
}

}  // namespace

std::uint64_t TTarWriter::EntryBytes(const std::string& name, std::uint64_t size) {
  const std::uint64_t pax = Split(name) == std::string::npos ? kBlock + Padded(PaxPath(name).size()) : 0;
  return pax + kBlock + Padded(size);
}

void TTarWriter::WriteHeaders(const std::string& name, char type, std::uint64_t size) {
  const std::size_t split = Split(name);
  std::string headers;
  if (split == std::string::npos) {
    const std::string records = PaxPath(name);
    headers = Header("PaxHeader", 0, 'x', records.size()) + records;
    headers.resize(Padded(headers.size()), '\0');
    headers += Header(StandIn(name), 0, type, size);
  } else {
    headers = Header(name, split, type, size);
  }
  Write(headers.data(), headers.size());
}

void TTarWriter::WritePadding(std::uint64_t size) {
  static const char zeros[kBlock] = {};
  Write(zeros, static_cast<std::size_t>(Padded(size) - size));
}

void TTarWriter::AddFile(const std::string& name, const std::u16string& source, std::uint64_t size) {
  const TVFileStream::Opened in = TVFileStream::TryOpen(source, TVFileStream::kOpenShareRead);
  if (!in.stream) throw SourceError(source, u"cannot open for reading: " + rtl::ToWide(os::FailureText(in.failure)));
  WriteHeaders(name, '0', size);
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  std::uint64_t read = 0;
  while (const std::int32_t got = in.stream->Read(buffer.get(), kChunk)) {
    const auto n = static_cast<std::size_t>(got);
    read += n;
    if (read > size) break;
    Write(buffer.get(), n);
    if (progress_) progress_(n);
  }
  if (read <= size && static_cast<std::int64_t>(read) < in.stream->GetSize())
    throw SourceError(source, u"read failed");
  if (read != size) throw SourceError(source, u"changed while it was read");
  WritePadding(size);
}

void TTarWriter::AddFolder(const std::string& name) { WriteHeaders(name, '5', 0); }

void TTarWriter::Finish() {
  static const char zeros[kEndBytes] = {};
  Write(zeros, sizeof zeros);
}
