// TTarReader on any file, its names checked and every entry unpacked to
// nowhere: it raises nothing; nothing may read out of bounds, hang or ask for
// more memory than the dictionary bound allows.
#include <cstdint>

#include "tar_xz/tar_reader.h"
#include "zip/archive_names.h"
#include "zip/zip_name_decoder.h"
#include "tests/fuzz/fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name = InputFile(".tar.xz", data, size);
  TTarReader reader;
  if (!reader.Open(name, TZipNameDecoder(1252, 437))) return 0;
  TArchiveNames names(reader.Entries());
  for (const TZipEntry& entry : reader.Entries())
    (void)reader.Extract(entry, [](void*, const char*, std::size_t) { return true; }, nullptr);
  return 0;
}
