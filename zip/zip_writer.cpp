#include "zip/zip_writer.h"

#include <zlib.h>

#include <functional>
#include <memory>

#include "os/os.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "velm_stream/tv_file_stream.h"
#include "zip/zip_format.h"

namespace {

using namespace zip_format;

using Sink = std::function<void(const char* data, std::size_t size)>;

constexpr std::size_t kChunk = 65536;
constexpr std::uint16_t kVersion = 20;  // 2.0, made on MS-DOS: deflate and folders
constexpr std::uint16_t kTime = 0;                        // 00:00:00
constexpr std::uint16_t kDate = (0 << 9) | (1 << 5) | 1;  // 1980-01-01
constexpr std::uint32_t kFileAttributes = 0x00;
constexpr std::uint32_t kFolderAttributes = 0x10;
constexpr std::uint64_t kMaxOffset = 0xFFFFFFFF;
// The most deflated bytes of one file held in memory until its header is written.
constexpr std::size_t kMaxKept = 64u << 20;
constexpr char16_t kTooLarge[] = u"the archive would pass 4 GiB, which a ZIP file without Zip64 cannot hold";

void Put16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8 & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

std::uint16_t Flags(const std::string& name) {
  for (char c : name)
    if (static_cast<unsigned char>(c) >= 0x80) return kUtf8Flag;
  return 0;
}

// What a pass over a file saw: its length and CRC-32, and how many bytes
// went to the sink; each byte read counts on progress.
struct Pass {
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
  std::uint64_t written = 0;
  const TZipWriter::Progress* progress = nullptr;
};

// "FILE: reason" about a file the archive is made of.
EInOutError SourceError(const std::u16string& source, const std::u16string& reason) {
  return EInOutError(source + u": " + reason);
}

// Reads source chunk by chunk, keeping its length and CRC-32 in pass. A
// failed read ends the file early, short of its size.
void ReadFile(const std::u16string& source, Pass& pass, const Sink& consume) {
  const TVFileStream::Opened in = TVFileStream::TryOpen(source, TVFileStream::kOpenShareRead);
  if (!in.stream) throw SourceError(source, u"cannot open for reading: " + rtl::ToWide(os::FailureText(in.failure)));
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  uLong crc = crc32(0, nullptr, 0);
  while (const std::int32_t got = in.stream->Read(buffer.get(), kChunk)) {
    const auto n = static_cast<std::size_t>(got);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.get()), static_cast<uInt>(n));
    pass.size += n;
    consume(buffer.get(), n);
    if (*pass.progress) (*pass.progress)(n);
  }
  if (static_cast<std::int64_t>(pass.size) < in.stream->GetSize()) throw SourceError(source, u"read failed");
  pass.crc = static_cast<std::uint32_t>(crc);
}

Pass Store(const std::u16string& source, const Sink& sink, const TZipWriter::Progress& progress) {
  Pass pass;
  pass.progress = &progress;
  ReadFile(source, pass, [&](const char* data, std::size_t size) {
    sink(data, size);
    pass.written += size;
  });
  return pass;
}

// Runs deflate on what the stream holds and hands its output to sink.
void Drain(z_stream& stream, int flush, Pass& pass, const Sink& sink) {
  char out[kChunk];
  do {
    stream.next_out = reinterpret_cast<Bytef*>(out);
    stream.avail_out = kChunk;
    deflate(&stream, flush);
    const std::size_t n = kChunk - stream.avail_out;
    if (n > 0) sink(out, n);
    pass.written += n;
  } while (stream.avail_out == 0);
}

Pass Deflate(const std::u16string& source, const Sink& sink, const TZipWriter::Progress& progress) {
  z_stream stream{};
  if (deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw EOutOfMemory(u"out of memory");
  std::unique_ptr<z_stream, int (*)(z_stream*)> end(&stream, deflateEnd);
  Pass pass;
  pass.progress = &progress;
  ReadFile(source, pass, [&](const char* data, std::size_t size) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream.avail_in = static_cast<uInt>(size);
    Drain(stream, Z_NO_FLUSH, pass, sink);
  });
  Drain(stream, Z_FINISH, pass, sink);
  return pass;
}

}  // namespace

std::uint32_t TZipWriter::Offset() const {
  if (written_ > kMaxOffset) throw EInOutError(kTooLarge);
  return static_cast<std::uint32_t>(written_);
}

void TZipWriter::Write(const char* data, std::size_t size) {
  out_(data, size);
  written_ += size;
}

// The fields that the local header and the central record share, from the
// flags to the name's length.
void TZipWriter::PutEntryFields(std::string& out, const Record& record) {
  Put16(out, Flags(record.name));
  Put16(out, record.method);
  Put16(out, kTime);
  Put16(out, kDate);
  Put32(out, record.crc);
  Put32(out, record.compressedSize);
  Put32(out, record.size);
  Put16(out, static_cast<std::uint32_t>(record.name.size()));
}

void TZipWriter::WriteLocalHeader(const Record& record) {
  if (records_.size() >= kMaxEntries)
    throw EInOutError(u"more than " + rtl::ToWide(std::to_string(kMaxEntries)) +
                      u" entries, which a ZIP file cannot hold");
  std::string header;
  Put32(header, kLocalSignature);
  Put16(header, kVersion);
  PutEntryFields(header, record);
  Put16(header, 0);  // extra field
  header += record.name;
  Write(header.data(), header.size());
  records_.push_back(record);
}

void TZipWriter::AddFile(const std::string& name, const std::u16string& source) {
  // Deflated once into memory; read again only to store it, or when its
  // deflated bytes outgrew what is kept.
  std::string deflated;
  bool kept = true;
  const Pass probe = Deflate(
      source,
      [&](const char* data, std::size_t size) {
        kept = kept && deflated.size() + size <= kMaxKept;
        if (kept) deflated.append(data, size);
        else deflated.clear();
      },
      progress_);
  if (probe.size > kMaxSize)
    throw SourceError(source, u"4 GiB or larger, which a ZIP file without Zip64 cannot hold");
  Record record{name,     kStored,        probe.crc, 0, static_cast<std::uint32_t>(probe.size),
                Offset(), kFileAttributes};
  if (probe.written < probe.size) record.method = kDeflated;
  record.compressedSize =
      static_cast<std::uint32_t>(record.method == kDeflated ? probe.written : probe.size);
  WriteLocalHeader(record);
  if (record.method == kDeflated && kept) return Write(deflated.data(), deflated.size());
  const Sink write = [&](const char* data, std::size_t size) { Write(data, size); };
  const Pass final = record.method == kDeflated ? Deflate(source, write, nullptr) : Store(source, write, nullptr);
  if (final.size != probe.size || final.crc != probe.crc || final.written != record.compressedSize)
    throw SourceError(source, u"changed while it was read");
}

void TZipWriter::AddFolder(const std::string& name) {
  WriteLocalHeader(Record{name, kStored, 0, 0, 0, Offset(), kFolderAttributes});
}

void TZipWriter::Finish() {
  const std::uint32_t start = Offset();
  std::string directory;
  for (const Record& record : records_) {
    Put32(directory, kCentralSignature);
    Put16(directory, kVersion);  // made by
    Put16(directory, kVersion);  // needed
    PutEntryFields(directory, record);
    Put16(directory, 0);  // extra field
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, record.attributes);
    Put32(directory, record.offset);
    directory += record.name;
  }
  const auto size = static_cast<std::uint32_t>(directory.size());
  if (start + static_cast<std::uint64_t>(size) > kMaxOffset) throw EInOutError(kTooLarge);
  Put32(directory, kEndSignature);
  Put16(directory, 0);
  Put16(directory, 0);
  Put16(directory, static_cast<std::uint32_t>(records_.size()));
  Put16(directory, static_cast<std::uint32_t>(records_.size()));
  Put32(directory, size);
  Put32(directory, start);
  Put16(directory, 0);
  Write(directory.data(), directory.size());
}
