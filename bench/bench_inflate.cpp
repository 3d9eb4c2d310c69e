// Times our inflater against zlib's on real data: every file of each tar
// given is deflated on its own with zlib at level 9 (raw deflate, as a ZIP
// entry is), then inflated by zlib and by TInflater with input in 64 KiB
// pieces, as the ZIP reader reads it; and the CRC-32 of the same bytes by
// zlib and by TCrc32. Best of some rounds taken in turns, in MB/s of
// inflated bytes.
// usage: bench_inflate TAR...
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "inflate/inflater.h"
#include "rtl/crc32.h"
#include "tar_xz/tar_header.h"

namespace {

constexpr std::size_t kPiece = 65536;
constexpr int kRounds = 15;

struct TFile {
  std::string data, deflated;
};

std::vector<TFile> ReadTar(const char* name) {
  std::ifstream stream(name, std::ios::binary);
  const std::string tar((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  std::vector<TFile> files;
  for (std::size_t at = 0; at + TTarHeader::kBlock <= tar.size();) {
    const auto* block = reinterpret_cast<const unsigned char*>(tar.data() + at);
    TTarHeader header;
    if (TTarHeader::IsEnd(block) || !header.Parse(block)) break;
    at += TTarHeader::kBlock;
    if (header.IsFile() && header.Size() > 0) files.push_back({tar.substr(at, header.Size()), {}});
    at += (header.Size() + TTarHeader::kBlock - 1) / TTarHeader::kBlock * TTarHeader::kBlock;
  }
  return files;
}

std::string Deflate(const std::string& data) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, data.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// zlib's inflate as the ZIP reader used it: 64 KiB of input and of output at a time.
std::size_t ZlibInflate(const std::string& deflated, std::vector<unsigned char>& output) {
  z_stream stream{};
  inflateInit2(&stream, -MAX_WBITS);
  std::size_t at = 0;
  for (int status = Z_OK; status == Z_OK;) {
    if (stream.avail_in == 0) {
      const std::size_t n = std::min(kPiece, deflated.size() - at);
      stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data() + at));
      stream.avail_in = static_cast<uInt>(n);
      at += n;
    }
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    status = inflate(&stream, Z_NO_FLUSH);
  }
  const std::size_t made = stream.total_out;
  inflateEnd(&stream);
  return made;
}

struct TIo {
  const std::string* deflated;
  std::size_t at;
  std::string* kept;  // the output, when it is checked
};

bool Read(void* context, unsigned char* buffer, std::size_t capacity, std::size_t& size) {
  auto& io = *static_cast<TIo*>(context);
  size = std::min({capacity, kPiece, io.deflated->size() - io.at});
  std::memcpy(buffer, io.deflated->data() + io.at, size);
  io.at += size;
  return true;
}

bool Write(void* context, const char* data, std::size_t size) {
  auto& io = *static_cast<TIo*>(context);
  if (io.kept) io.kept->append(data, size);
  return true;
}

double Seconds(const std::function<void()>& run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Report(const char* what, double bytes, double seconds, double baseline) {
  std::printf("    %-22s %8.1f MB/s", what, bytes / (1 << 20) / seconds);
  if (baseline > 0) std::printf("  (%.2f times zlib's speed)", baseline / seconds);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  TInflater inflater;
  std::vector<unsigned char> output(kPiece);
  for (int i = 1; i < argc; ++i) {
    std::vector<TFile> files = ReadTar(argv[i]);
    double size = 0, deflatedSize = 0;
    for (TFile& file : files) {
      file.deflated = Deflate(file.data);
      size += static_cast<double>(file.data.size());
      deflatedSize += static_cast<double>(file.deflated.size());
      std::string kept;
      TIo io{&file.deflated, 0, &kept};
      if (inflater.Inflate(Read, Write, &io) != TInflater::TResult::kDone || kept != file.data) {
        std::printf("%s: TInflater does not give back a file\n", argv[i]);
        return 1;
      }
    }
    std::printf("  %s: %zu files, %.1f MB, deflated at level 9 to %.1f MB\n", argv[i], files.size(), size / (1 << 20),
                deflatedSize / (1 << 20));
    double zlib = 1e30, ours = 1e30, zlibCrc = 1e30, ourCrc = 1e30;
    std::uint32_t zlibCrcs = 0, ourCrcs = 0;  // the CRCs summed, to compare (and so computed)
    for (int round = 0; round < kRounds; ++round) {
      zlib = std::min(zlib, Seconds([&] {
                        for (const TFile& file : files) ZlibInflate(file.deflated, output);
                      }));
      ours = std::min(ours, Seconds([&] {
                        for (const TFile& file : files) {
                          TIo io{&file.deflated, 0, nullptr};
                          inflater.Inflate(Read, Write, &io);
                        }
                      }));
      zlibCrc = std::min(zlibCrc, Seconds([&] {
                           for (const TFile& file : files)
                             zlibCrcs += crc32(0, reinterpret_cast<const Bytef*>(file.data.data()),
                                               static_cast<uInt>(file.data.size()));
                         }));
      ourCrc = std::min(ourCrc, Seconds([&] {
                          for (const TFile& file : files) ourCrcs += TCrc32::Of(file.data.data(), file.data.size());
                        }));
    }
    if (zlibCrcs != ourCrcs) {
      std::printf("%s: TCrc32 differs from zlib's crc32\n", argv[i]);
      return 1;
    }
    Report("zlib inflate", size, zlib, 0);
    Report("TInflater", size, ours, zlib);
    Report("zlib crc32", size, zlibCrc, 0);
    Report("TCrc32", size, ourCrc, zlibCrc);
  }
  return 0;
}
