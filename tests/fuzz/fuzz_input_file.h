// The fuzzer's input as a file: the locator and the reader only read files.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

inline std::string InputFile(const char* suffix, const std::uint8_t* data, std::size_t size) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string name = std::string(tmp ? tmp : "/tmp") + "/pack_fuzz_" + std::to_string(getpid()) + suffix;
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (!file || std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  return name;
}
