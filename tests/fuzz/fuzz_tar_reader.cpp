// TTarReader on any file, its names checked and every entry unpacked to
// nowhere: it raises nothing; nothing may read out of bounds, hang or ask for
// more memory than the dictionary bound allows.
#include "tar_xz/tar_reader.h"
#include "tests/fuzz/fuzz_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return ReadArchive<TTarReader>(".tar.xz", data, size);
}
