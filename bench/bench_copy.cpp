// The plain copy of the setup benchmark's baseline: copies each SOURCE to its
// TARGET through the platform's file calls in 1 MB chunks and writes the
// seconds the copies took, process start excluded, into SECONDS_FILE.
// usage: bench_copy.exe SECONDS_FILE SOURCE TARGET [SOURCE TARGET ...]
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "os/os.h"

namespace {

constexpr std::int32_t kChunk = 1 << 20;

class File {
 public:
  explicit File(os::FileHandle handle, const std::string& name) : handle_(handle) {
    if (handle_ == os::kNoFile) throw std::runtime_error("cannot open " + name);
  }
  ~File() { os::FileClose(handle_); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  os::FileHandle Handle() const { return handle_; }

 private:
  os::FileHandle handle_;
};

void Copy(const std::string& source, const std::string& target, char* buffer) {
  File from(os::FileOpen(os::AnsiToWide(source), os::Access::Read, os::Share::Read).handle, source);
  File to(os::FileCreate(os::AnsiToWide(target)).handle, target);
  for (std::int32_t n; (n = os::FileRead(from.Handle(), buffer, kChunk)) > 0;)
    if (os::FileWrite(to.Handle(), buffer, n) != n) throw std::runtime_error("cannot write " + target);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc % 2 != 0) {
    std::fprintf(stderr, "usage: bench_copy.exe SECONDS_FILE SOURCE TARGET [SOURCE TARGET ...]\n");
    return 2;
  }
  try {
    const auto buffer = std::make_unique<char[]>(kChunk);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 2; i < argc; i += 2) Copy(argv[i], argv[i + 1], buffer.get());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    File out(os::FileCreate(os::AnsiToWide(argv[1])).handle, argv[1]);
    const std::string text = std::to_string(seconds) + "\n";
    os::FileWrite(out.Handle(), text.data(), static_cast<std::int32_t>(text.size()));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_copy: %s\n", error.what());
    return 1;
  }
  return 0;
}
