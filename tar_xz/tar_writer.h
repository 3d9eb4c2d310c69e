// TTarWriter: writes a POSIX tar archive entry by entry, in order, to an
// output function. Every entry gets the same time (1980-01-01 00:00 UTC),
// owner (0) and mode (0644 for files, 0755 for folders), so that the same
// input gives the same bytes. A name that ustar cannot hold (longer than its
// prefix and name fields, or not ASCII) goes into a pax header as UTF-8.
// Each file is read once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TTarWriter {
 public:
  // Receives the archive's bytes; raises when they cannot be written.
  using Output = std::function<void(const char* data, std::size_t size)>;
  // Told how many bytes were read from a file, chunk by chunk.
  using Progress = std::function<void(std::uint64_t bytes)>;

  explicit TTarWriter(Output out, Progress progress = nullptr)
      : out_(std::move(out)), progress_(std::move(progress)) {}

  // How many bytes an entry takes (its headers, data and padding), and the
  // end of the archive: their sum is the archive's size.
  static std::uint64_t EntryBytes(const std::string& name, std::uint64_t size);
  static constexpr std::uint64_t kEndBytes = 1024;

  // name: UTF-8 with forward slashes, relative. Raises EInOutError naming
  // source when it cannot be read or its size is no longer size.
  void AddFile(const std::string& name, const std::u16string& source, std::uint64_t size);
  // name ends in "/".
  void AddFolder(const std::string& name);
  // Writes the end of the archive.
  void Finish();

 private:
  void WriteHeaders(const std::string& name, char type, std::uint64_t size);
  void WritePadding(std::uint64_t size);
  void Write(const char* data, std::size_t size) { out_(data, size); }

  Output out_;
  Progress progress_;
};
