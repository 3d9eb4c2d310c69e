#include "fmix/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "fmix/cli_error.h"
#include "fmix/host_path.h"

namespace fs = std::filesystem;

TOutputFile::TOutputFile(const std::string& target) : target_(target) {
  std::random_device seed;
  fs::path path = HostPath(target);
  int failure = 0;
  for (int attempt = 0; attempt < 100 && !out_.is_open(); ++attempt) {
    fs::path temp = path;
    temp += ".tmp" + std::to_string(seed() % 1000000);
    if (fs::exists(temp)) continue;
    out_.open(temp, std::ios::binary | std::ios::trunc);
    failure = errno;
    temp_ = HostName(temp);
  }
  if (!out_.is_open())
    throw FileError(target, "cannot create the output file", failure ? std::strerror(failure) : "");
}

TOutputFile::~TOutputFile() {
  if (committed_) return;
  out_.close();
  std::error_code ignored;
  fs::remove(HostPath(temp_), ignored);
}

void TOutputFile::Write(const void* data, std::size_t size) {
  out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out_) throw FileError(target_, "write failed");
  written_ += size;
}

void TOutputFile::Close() {
  if (!out_.is_open()) return;
  out_.close();
  if (!out_) throw FileError(target_, "write failed");
}

void TOutputFile::Commit() {
  Close();
  std::error_code error;
  fs::rename(HostPath(temp_), HostPath(target_), error);
  if (error) throw FileError(target_, "cannot rename into place: " + error.message());
  committed_ = true;
}
