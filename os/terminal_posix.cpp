// POSIX implementation of the command line and the standard streams.
#include <cstdio>

#include "os/os.h"

namespace os {

std::vector<std::string> CommandLineWords(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

void WriteStandard(Stream stream, const std::string& text) {
  std::FILE* file = stream == Stream::kOutput ? stdout : stderr;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fflush(file);
}

}  // namespace os
