#include "fmix/host/host_files.h"

#include <algorithm>

#include "fmix/report/cli_error.h"
#include "os/os.h"
#include "velm_stream/tv_file_stream.h"

std::unique_ptr<TVFileStream> OpenForReading(const std::string& name, std::uint32_t* failure) {
  TVFileStream::Opened opened = TVFileStream::TryOpen(name, TVFileStream::kOpenShareRead);
  if (failure) *failure = opened.failure;
  return std::move(opened.stream);
}

// Each Read is one system call, which may move fewer bytes than asked.
bool ReadFully(TVFileStream& file, std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const std::size_t chunk = std::min<std::size_t>(bytes.size() - done, TVStream::kCopyChunk);
    const std::int32_t n = file.Read(&bytes[done], static_cast<std::int32_t>(chunk));
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string ReadWholeFile(const std::string& name) {
  std::uint32_t failure = 0;
  const std::unique_ptr<TVFileStream> file = OpenForReading(name, &failure);
  if (!file) throw FileError(name, "cannot be read", os::FailureText(failure));
  const std::int64_t size = file->GetSize();
  std::string bytes(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)), '\0');
  if (size < 0 || !ReadFully(*file, bytes)) throw FileError(name, "cannot be read");
  return bytes;
}

bool ReadFilePart(const std::string& name, std::uint64_t offset, std::size_t size, std::string& bytes) {
  const std::unique_ptr<TVFileStream> file = OpenForReading(name);
  bytes.assign(size, '\0');
  return file && file->Seek(static_cast<std::int64_t>(offset), 0) == static_cast<std::int64_t>(offset) &&
         ReadFully(*file, bytes);
}

std::u16string ChildName(const std::u16string& folder, const std::u16string& name) {
  const std::u16string ends = os::kFolderPartEnds;
  const bool delimited = folder.empty() || ends.find(folder.back()) != std::u16string::npos;
  return delimited ? folder + name : folder + os::kPathDelimiter + name;
}
