// TOutputFile: writes a file under a temporary name beside its target and
// renames it into place only on Commit, so that no partial output is ever
// left under the target's name. Without Commit the temporary file is removed.
// The temporary file is always created new (never an existing file, never
// through a link), and the rename replaces a link at the target rather than
// following it: output never lands outside the target's folder.
#pragma once

#include <cstdint>
#include <string>

#include "os/os.h"
#include "unit_pack_files/byte_sink.h"

class TOutputFile final : public TByteSink {
 public:
  explicit TOutputFile(const std::string& target);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // Writes bytes (small writes gathered in a buffer); raises ECliError naming
  // the target when the write fails.
  void Write(const void* data, std::size_t size) override;
  void Write(const std::string& bytes) { Write(bytes.data(), bytes.size()); }
  std::uint64_t Written() const { return written_; }
  const std::string& TempName() const { return temp_; }
  const std::string& Target() const { return target_; }
  // Writes what the buffer holds and closes the temporary file, so that it
  // can be read whole; nothing more can be written.
  void Close();
  // Closes and renames into place.
  void Commit();

 private:
  void WriteThrough(const char* bytes, std::size_t size);

  std::string target_;
  std::string temp_;
  os::FileHandle file_ = os::kNoFile;
  std::string buffer_;
  std::uint64_t written_ = 0;
  bool committed_ = false;
};
