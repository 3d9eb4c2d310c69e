// TSetupVerifier on any file taken for a setup: the image headers, the pack,
// the plug-in's PE headers and the archive all come from the input. Nothing
// may escape, and no line may hold a character that a terminal acts on.
#include <cstdint>
#include <cstdlib>

#include "fmix/host/code_page.h"
#include "fmix/verify/setup_verifier.h"
#include "rtl/text.h"
#include "tests/fuzz/fuzz_input_file.h"

namespace {

bool ActsOnTerminal(char16_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name = InputFile("_setup.exe", data, size);
  const TSetupVerifier verifier(name, name, TCodePage());
  for (const TSetupVerifier::Line& line : verifier.Lines())
    for (char16_t c : rtl::ToWide(line.Text()))
      if (ActsOnTerminal(c)) std::abort();
  (void)verifier.Verdict();
  return 0;
}
