// Times what the launcher does with a 64 MB pack, LoadAppendedPack (staging
// it into the temporary pack file) and ExtractAll (unpacking it), beside a
// plain file copy of the same bytes through the same streams, measured in the
// same run.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "rtl/text.h"
#include "unit_pack_files/file_mix_reader.h"
#include "unit_pack_files/pack_locator.h"
#include "velm_stream/tv_file_stream.h"

namespace {

constexpr std::uint32_t kEntries = 4;
constexpr std::uint32_t kEntrySize = 16 << 20;
constexpr std::uint32_t kImageSize = 0x600;  // the image ends where its last section does

void Put32(char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<char>(value >> (8 * i));
}

// An image whose last (third) section ends at kImageSize, as the locator reads it.
std::string Image() {
  std::string image(kImageSize, '\0');
  image[0] = 'M', image[1] = 'Z', image[60] = static_cast<char>(0x80), image[0x86] = 3;
  Put32(&image[0x80 + 248 + 80 + 16], 0x200);
  Put32(&image[0x80 + 248 + 80 + 20], kImageSize - 0x200);
  return image;
}

// Header and directory of kEntries stored entries, data back to back.
std::string Directory() {
  const std::uint32_t start = 11 + 265 * kEntries;
  std::string bytes(start, '\0');
  std::memcpy(&bytes[0], "fMix\x01", 5);
  bytes[5] = static_cast<char>(kEntries);
  Put32(&bytes[7], start + kEntries * kEntrySize);
  for (std::uint32_t i = 0; i < kEntries; ++i) {
    char* record = &bytes[11 + 265 * i];
    std::snprintf(record, 256, "entry%u.bin", i);
    Put32(record + 256, start + i * kEntrySize);
    Put32(record + 260, kEntrySize);
  }
  return bytes;
}

std::uint64_t WriteSetup(const std::string& name) {
  TVFileStream file(name, TVFileStream::kCreate);
  const std::string head = Image() + Directory();
  file.WriteBuffer(head.data(), static_cast<std::int32_t>(head.size()));
  std::mt19937 rng(1);
  std::string chunk(1 << 20, '\0');
  for (std::uint32_t mb = 0; mb < kEntries * (kEntrySize >> 20); ++mb) {
    for (char& c : chunk) c = static_cast<char>(rng());
    file.WriteBuffer(chunk.data(), static_cast<std::int32_t>(chunk.size()));
  }
  return static_cast<std::uint64_t>(file.GetSize()) - kImageSize;
}

// The best of some rounds, in MB/s for bytes.
double Rate(std::uint64_t bytes, const std::function<void()>& run, int rounds = 3) {
  double best = 1e30;
  for (int round = 0; round < rounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    run();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return static_cast<double>(bytes) / (1 << 20) / best;
}

void Report(const char* what, std::uint64_t bytes, double rate) {
  std::printf("  %-40s %6.1f MB  %8.1f MB/s\n", what, static_cast<double>(bytes) / (1 << 20), rate);
}

}  // namespace

int main() {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("bench_pack_" + std::to_string(std::random_device{}()));
  std::filesystem::create_directory(folder);
  const std::string base =
      rtl::ToAnsi(folder.u16string()) + static_cast<char>(std::filesystem::path::preferred_separator);
  const std::string setup = base + "setup.exe", pack = base + "pack.tmp";
  const std::uint64_t size = WriteSetup(setup);

  Report("plain file copy (TVFileStream CopyFrom)", size, Rate(size, [&] {
    TVFileStream from(setup, 32);
    TVFileStream to(base + "copy.bin", TVFileStream::kCreate);
    from.SetPosition(kImageSize);
    to.CopyFrom(from, static_cast<std::int64_t>(size));
  }));
  Report("LoadAppendedPack into the pack file", size, Rate(size, [&] {
    TVFileStream staged(pack, TVFileStream::kCreate);
    LoadAppendedPack(rtl::ToWide(setup), staged, true);
  }));
  const std::string out = base + "out" + static_cast<char>(std::filesystem::path::preferred_separator);
  Report("ExtractAll", size, Rate(size, [&] { TFileMixReader(pack).ExtractAll(out); }));
  std::filesystem::remove_all(folder);
  return 0;
}
