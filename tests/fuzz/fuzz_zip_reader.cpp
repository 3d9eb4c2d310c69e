// TZipReader on any file, its names checked and every entry unpacked to
// nowhere: it raises nothing; nothing may read out of bounds, hang or unpack
// more than the archive's own bytes allow.
#include "tests/fuzz/fuzz_archive.h"
#include "zip/zip_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return ReadArchive<TZipReader>(".zip", data, size);
}
