// An archive reader (ZIP or tar.xz) on the fuzzer's input: opened, its names
// checked and every entry unpacked to nowhere. The readers raise nothing.
#pragma once

#include <cstdint>

#include "tests/fuzz/fuzz_input_file.h"
#include "zip/archive_names.h"
#include "zip/zip_name_decoder.h"

template <class Reader>
int ReadArchive(const char* suffix, const std::uint8_t* data, std::size_t size) {
  const std::string name = InputFile(suffix, data, size);
  Reader reader;
  if (!reader.Open(name, TZipNameDecoder(1252, 437))) return 0;
  TArchiveNames names(reader.Entries());
  for (const TZipEntry& entry : reader.Entries())
    (void)reader.Extract(entry, [](void*, const char*, std::size_t) { return true; }, nullptr);
  return 0;
}
