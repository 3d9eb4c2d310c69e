#include "unit_pack_files/file_mix_reader.h"

#include <algorithm>

#include "rtl/exception.h"
#include "rtl/folders.h"
#include "rtl/text.h"
#include "unit_pack_files/entry_lookup.h"
#include "rtl/entry_name.h"
#include "unit_pack_files/file_mix_directory.h"
#include "unit_pack_files/reserved_copy.h"
#include "unit_pack_files/scramble.h"
#include "velm_stream/tv_file_stream.h"
#include "velm_stream/tv_memory_stream.h"

namespace {

[[noreturn]] void FormatError(const std::string& name) {
  throw EInOutError(rtl::Format(u"\"%s\"は、TFileMixHeaderでは形式が違うため読めません。",
                                rtl::ToWide(name)));
}

}  // namespace

TFileMixReader::TFileMixReader(const std::string& fileName) {
  pack_ = std::make_unique<TVFileStream>(fileName, TVFileStream::kOpenExclusive);
  Load(fileName);
}

TFileMixReader::TFileMixReader(std::unique_ptr<TVStream> stream, const std::string& name)
    : pack_(std::move(stream)) {
  Load(name);
}

void TFileMixReader::Load(const std::string& name) {
  try {
    LoadDirectory(name);
  } catch (...) {
    FreeDirectory();
    throw;
  }
}

TFileMixReader::~TFileMixReader() { FreeDirectory(); }

// Each record in a block of its own. A pack cut off inside its header or a
// record is refused like one with the wrong magic, rather than read with
// bytes missing.
void TFileMixReader::LoadDirectory(const std::string& name) {
  TFileMixDirectory directory(*pack_);
  for (std::uint32_t i = 0; i < directory.Declared(); ++i) {
    std::unique_ptr<TFileMixEntry> record(new TFileMixEntry);  // filled by Next
    if (!directory.Next(*record)) FormatError(name);
    directory_.Add(record.get());  // freed through the list once Add succeeded
    record.release();
  }
  if (!directory.Complete()) FormatError(name);
}

void TFileMixReader::FreeDirectory() {
  for (std::int32_t i = 0; i < directory_.Count; ++i)
    delete static_cast<TFileMixEntry*>(directory_.Get(i));
  directory_.Clear();
}

const TFileMixEntry* TFileMixReader::Entry(std::int32_t index) const {
  return static_cast<const TFileMixEntry*>(directory_.Get(index));
}

bool TFileMixReader::ExtractEntry(const TFileMixEntry& entry, TVMemoryStream& stream,
                                  bool refuseMode2) {
  pack_->SetPosition(static_cast<std::int64_t>(entry.DataOffset));
  stream.SetPosition(0);
  if (entry.DataSize != 0) ReservedCopy(stream, *pack_, static_cast<std::int64_t>(entry.DataSize));
  if (entry.Scramble == kMode2 && refuseMode2) return false;
  ScrambleBytes(stream.Memory(), static_cast<std::size_t>(stream.Size()), entry.Scramble);
  return true;
}

// Through one bounded buffer, descrambled chunk by chunk.
void TFileMixReader::WriteEntry(const TFileMixEntry& entry, TVStream& out) {
  pack_->SetPosition(static_cast<std::int64_t>(entry.DataOffset));
  const std::uint32_t chunk = std::min<std::uint32_t>(entry.DataSize, TVStream::kCopyChunk);
  std::unique_ptr<char[]> buffer(new char[chunk]);
  TScrambler descrambler(entry.Scramble);
  for (std::uint32_t left = entry.DataSize; left != 0;) {
    const std::int32_t n = static_cast<std::int32_t>(left < chunk ? left : chunk);
    pack_->ReadBuffer(buffer.get(), n);
    descrambler.Apply(buffer.get(), static_cast<std::size_t>(n));
    out.WriteBuffer(buffer.get(), n);
    left -= static_cast<std::uint32_t>(n);
  }
}

void TFileMixReader::ExtractToStream(const TFileMixEntry* entry, TVMemoryStream& stream) {
  stream.Clear();
  try {
    ExtractEntry(*entry, stream, kDecodeMode2);
  } catch (...) {
    // The stream keeps what was copied before the failure.
  }
}

// An entry whose data the pack lacks raises before its file is created
// instead of being written cut short: a truncated plug-in or archive must not
// pass for a good one.
void TFileMixReader::ExtractAll(const std::string& folder) {
  std::u16string wideFolder;
  if (rtl::ToWideExact(folder, wideFolder)) rtl::ForceDirectories(wideFolder);
  const std::int64_t packSize = pack_->GetSize();
  const std::int32_t count = directory_.Count;
  for (std::int32_t i = 0; i < count; ++i) {
    const TFileMixEntry* entry = Entry(i);
    const std::string fileName = folder + EntryName(*entry);
    if (!TEntryName(rtl::ToWide(EntryName(*entry))).IsSafe())
      throw EInOutError(rtl::Format(u"ファイル『%s』の生成エラー", rtl::ToWide(fileName)));
    if (static_cast<std::int64_t>(entry->DataOffset) + entry->DataSize > packSize) TVStream::ReadError();
    TVFileStream file(fileName, TVFileStream::kCreate);
    WriteEntry(*entry, file);
  }
}

const TFileMixEntry* TFileMixReader::FindEntry(const std::string& entryName) const {
  const std::int32_t index = FindEntryIndex(directory_.Count, rtl::ToWide(entryName), Match::kFirst,
                                            [this](std::int32_t i) { return rtl::ToWide(EntryName(*Entry(i))); });
  return index < 0 ? nullptr : Entry(index);
}

bool TFileMixReader::ExtractByName(const std::string& entryName,
                                   std::unique_ptr<TVMemoryStream>& stream, bool refuseMode2) {
  const TFileMixEntry* entry = FindEntry(entryName);
  if (!entry) return false;
  try {
    stream = std::make_unique<TVMemoryStream>();
    return ExtractEntry(*entry, *stream, refuseMode2);
  } catch (...) {
    return false;
  }
}

// Through the same chunked copy as ExtractAll, into a block that holds the
// text alone.
bool TFileMixReader::ExtractToString(const std::string& entryName, std::string& text,
                                     bool refuseMode2) {
  const TFileMixEntry* entry = FindEntry(entryName);
  if (!entry || entry->DataSize > kMaxTextSize || (entry->Scramble == kMode2 && refuseMode2)) return false;
  TVMemoryStream stream;
  try {
    WriteEntry(*entry, stream);
  } catch (...) {
    return false;
  }
  text.assign(stream.Memory(), static_cast<std::size_t>(stream.Size()));
  return true;
}
