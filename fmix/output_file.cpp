#include "fmix/output_file.h"

#include <filesystem>
#include <random>

#include "fmix/cli_error.h"

namespace fs = std::filesystem;

TOutputFile::TOutputFile(const std::string& target) : target_(target) {
  std::random_device seed;
  fs::path path = fs::u8path(target);
  for (int attempt = 0; attempt < 100 && !out_.is_open(); ++attempt) {
    fs::path temp = path;
    temp += ".tmp" + std::to_string(seed() % 1000000);
    if (fs::exists(temp)) continue;
    out_.open(temp, std::ios::binary | std::ios::trunc);
    temp_ = temp.u8string();
  }
  if (!out_.is_open()) throw FileError(target, "cannot create the output file");
}

TOutputFile::~TOutputFile() {
  if (committed_) return;
  out_.close();
  std::error_code ignored;
  fs::remove(fs::u8path(temp_), ignored);
}

void TOutputFile::Write(const void* data, std::size_t size) {
  out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out_) throw FileError(target_, "write failed");
  written_ += size;
}

void TOutputFile::Commit() {
  out_.close();
  if (!out_) throw FileError(target_, "write failed");
  std::error_code error;
  fs::rename(fs::u8path(temp_), fs::u8path(target_), error);
  if (error) throw FileError(target_, "cannot rename into place: " + error.message());
  committed_ = true;
}
