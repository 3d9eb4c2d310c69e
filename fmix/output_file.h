// TOutputFile: writes a file under a temporary name beside its target and
// renames it into place only on Commit, so that no partial output is ever
// left under the target's name. Without Commit the temporary file is removed.
#pragma once

#include <fstream>
#include <string>

class TOutputFile {
 public:
  explicit TOutputFile(const std::string& target);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // Writes bytes; raises CliError naming the target when the write fails.
  void Write(const void* data, std::size_t size);
  void Write(const std::string& bytes) { Write(bytes.data(), bytes.size()); }
  std::uint64_t Written() const { return written_; }
  const std::string& TempName() const { return temp_; }
  const std::string& Target() const { return target_; }
  // Flushes and closes the temporary file, so that it can be read whole;
  // nothing more can be written.
  void Close();
  // Closes and renames into place.
  void Commit();

 private:
  std::string target_;
  std::string temp_;
  std::ofstream out_;
  std::uint64_t written_ = 0;
  bool committed_ = false;
};
