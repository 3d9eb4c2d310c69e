// TFileMixReader on any file: construction may raise EInOutError, ExtractAll
// EInOutError or EOutOfMemory; nothing else may escape or go wrong.
#include <cstdint>
#include <filesystem>

#include "rtl/exception.h"
#include "tests/fuzz/fuzz_input_file.h"
#include "unit_pack_files/file_mix_records.h"
#include "unit_pack_files/file_mix_reader.h"
#include "velm_stream/tv_memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name = InputFile(".pack", data, size);
  const std::string folder = name + "_dir/";
  try {
    TFileMixReader reader(name);
    for (std::int32_t i = 0; i < reader.Directory().Count; ++i) {
      TVMemoryStream stream;
      reader.ExtractToStream(reader.Entry(i), stream);
      std::unique_ptr<TVMemoryStream> byName;
      reader.ExtractByName(EntryName(*reader.Entry(i)), byName, i % 2 == 1);
    }
    std::string text;
    reader.ExtractToString("config.txt", text, false);
    reader.ExtractAll(folder);
  } catch (const EInOutError&) {
  } catch (const EOutOfMemory&) {
  }
  std::filesystem::remove_all(folder);
  return 0;
}
