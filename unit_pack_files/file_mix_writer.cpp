#include "unit_pack_files/file_mix_writer.h"

#include <cstring>
#include <new>

#include "os/os.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "unit_pack_files/byte_sink.h"
#include "rtl/entry_name.h"
#include "unit_pack_files/file_mix_records.h"
#include "rtl/name_case.h"
#include "unit_pack_files/name_encoder.h"
#include "velm_stream/tv_file_stream.h"

namespace {

// A refusal or failure about one input: "LABEL: reason".
[[noreturn]] void Fail(const std::string& label, const std::string& reason) {
  throw EInOutError(rtl::ToWide(label + ": " + reason));
}

// The file's size; raises naming it, with the system's reason when there is
// one, when it cannot be opened or told.
std::int64_t FileSize(const std::string& fileName) {
  const TVFileStream::Opened opened = TVFileStream::TryOpen(fileName, TVFileStream::kOpenShareRead);
  const std::int64_t size = opened.stream ? opened.stream->GetSize() : -1;
  if (size >= 0) return size;
  const std::string cause = os::FailureText(opened.failure);
  Fail(fileName, "cannot be opened for reading" + (cause.empty() ? "" : ": " + cause));
}

}  // namespace

// Pack entries lie side by side in the unpack folder: no name has a folder
// part.
std::string TFileMixWriter::NameProblem(const std::u16string& name) {
  if (name.find_first_of(u"\\/:") != std::u16string::npos) return "the entry name has a folder or drive part";
  const TEntryName::Fault fault = TEntryName(name).WriteFault();
  if (fault != TEntryName::Fault::kNone) return std::string("the entry name ") + TEntryName::FaultText(fault);
  return "";
}

void TFileMixWriter::AddFile(const std::string& name, const std::string& fileName,
                             ScrambleMode mode) {
  if (!rtl::FileExists(rtl::ToWide(fileName))) Fail(fileName, "no such file");
  const std::int64_t size = FileSize(fileName);
  if (size > kMaxEntrySize)
    Fail(fileName, "larger than 2,147,475,456 bytes, the most one entry can hold");
  Append({name, fileName, std::string(), static_cast<std::uint32_t>(size), mode}, fileName);
}

void TFileMixWriter::AddBytes(const std::string& name, const std::string& bytes,
                              ScrambleMode mode) {
  if (bytes.size() > kMaxEntrySize)
    Fail(name, "larger than 2,147,475,456 bytes, the most one entry can hold");
  Append({name, std::string(), bytes, static_cast<std::uint32_t>(bytes.size()), mode}, name);
}

// The checks every entry passes; label names the input in messages.
void TFileMixWriter::Append(Entry entry, const std::string& label) {
  const std::u16string wide = rtl::ToWide(entry.name);
  std::string problem = NameProblem(wide);
  if (rtl::ToAnsi(wide) != entry.name) problem = "the entry name is no valid text in the system code page";
  if (!problem.empty()) Fail(label, problem + ": \"" + entry.name + "\"");
  const std::string hostName = entry.name;
  entry.name = encoder_.Encode(wide);
  if (entry.name.size() > sizeof(TFileMixEntry::Name))
    Fail(label, "the entry name is longer than 256 bytes in code page " + std::to_string(encoder_.Number()) +
                    ": \"" + hostName + "\"");
  if (entries_.size() == kMaxEntries) Fail(label, "a pack holds at most 65,535 entries");
  if (PackSize() + sizeof(TFileMixEntry) + entry.size > kMaxPackSize)
    Fail(label, "the pack would pass 4 GiB - 1 bytes");
  if (!keys_.insert(TNameCase::Key(wide)).second)
    Fail(label, "a second entry named \"" + hostName + "\" (letter case aside)");
  dataSize_ += entry.size;
  entries_.push_back(std::move(entry));
}

std::uint64_t TFileMixWriter::PackSize() const {
  return sizeof(TFileMixHeader) + sizeof(TFileMixEntry) * entries_.size() + dataSize_;
}

void TFileMixWriter::WriteTo(TByteSink& out) const {
  TFileMixHeader header = {};
  std::memcpy(header.Magic, kFileMixMagic, sizeof header.Magic);
  header.Version = 1;
  header.EntryCount = static_cast<std::uint16_t>(entries_.size());
  header.TotalSize = static_cast<std::uint32_t>(PackSize());
  out.Write(&header, sizeof header);
  std::uint32_t offset = static_cast<std::uint32_t>(PackSize() - dataSize_);
  for (const Entry& entry : entries_) {
    TFileMixEntry record = {};
    std::memcpy(record.Name, entry.name.data(), entry.name.size());
    record.DataOffset = offset;
    record.DataSize = entry.size;
    record.Scramble = static_cast<std::uint8_t>(entry.mode);
    out.Write(&record, sizeof record);
    offset += entry.size;
  }
  for (const Entry& entry : entries_) {
    const std::string data = Data(entry);
    out.Write(data.data(), data.size());
  }
}

// The entry's data as stored: read whole, then scrambled.
std::string TFileMixWriter::Data(const Entry& entry) const {
  std::string data = entry.bytes;
  if (!entry.fileName.empty()) {
    try {
      data.resize(entry.size);
      TVFileStream file(entry.fileName, TVFileStream::kOpenShareRead);
      file.ReadBuffer(&data[0], static_cast<std::int32_t>(entry.size));
    } catch (const std::bad_alloc&) {
      Fail(entry.fileName, "too large to hold in memory");
    } catch (const Exception&) {
      Fail(entry.fileName, "cannot be read whole (did it change?)");
    }
  }
  ScrambleBytes(&data[0], data.size(), entry.mode);
  return data;
}
