// TFileMixReader on any file: construction may raise EInOutError, ExtractAll
// EInOutError or EOutOfMemory; nothing else may escape or go wrong.
#include <cstdint>
#include <filesystem>

#include "tests/fuzz/fuzz_input_file.h"
#include "tests/read_whole_pack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name = InputFile(".pack", data, size);
  const std::string folder = name + "_dir/";
  ReadWholePack(name, folder, size % 2 == 1);
  std::filesystem::remove_all(folder);
  return 0;
}
