// LoadAppendedPack on any file: only EInOutError and EOutOfMemory may leave it.
#include <cstdint>
#include <cstdlib>

#include "rtl/exception.h"
#include "rtl/text.h"
#include "tests/fuzz/fuzz_input_file.h"
#include "unit_pack_files/pack_locator.h"
#include "velm_stream/tv_memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string name = rtl::ToWide(InputFile(".exe", data, size));
  TVMemoryStream dest;
  dest.WriteBuffer("prefix", 6);
  dest.SetPosition(size % 7);
  try {
    const bool found = LoadAppendedPack(name, dest, false);
    if (LoadAppendedPack(name, dest, true) != found) std::abort();
  } catch (const EInOutError&) {
  } catch (const EOutOfMemory&) {
  }
  return 0;
}
