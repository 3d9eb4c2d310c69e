// Deterministic mutations of valid packs and images through the locator and
// the reader, run under the sanitizers: no crash, no leak, no read outside a
// buffer, and no error but the defined EInOutError and EOutOfMemory.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <random>

#include "rtl/exception.h"
#include "rtl/text.h"
#include "tests/pack_fixtures.h"
#include "tests/read_whole_pack.h"
#include "tests/test_files.h"
#include "unit_pack_files/pack_locator.h"
#include "velm_stream/tv_memory_stream.h"

using pack_fixtures::Pack;
using namespace testing_files;

namespace {

constexpr int kCases = 12000;
constexpr std::size_t kImageSize = 0x600;  // where Image(0x400, 0x200) ends

class Mutator {
 public:
  explicit Mutator(unsigned seed) : rng_(seed) {}

  std::uint32_t Below(std::uint32_t n) { return n ? rng_() % n : 0; }

  void Put32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4 && at + i < b.size(); ++i) b[at + i] = static_cast<char>(v >> (8 * i));
  }

  // A value for a size or an offset: small, near a limit, or anything.
  std::uint32_t Field(std::size_t fileSize) {
    static const std::uint32_t kEdges[] = {0, 1, 61440, 61441, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    switch (Below(3)) {
      case 0: return kEdges[Below(7)];
      case 1: return static_cast<std::uint32_t>(fileSize) + Below(70000) - 35000;
      default: return static_cast<std::uint32_t>(rng_());
    }
  }

  // One mutation; pack is where the pack starts in b (0 for a bare pack).
  void Apply(std::string& b, std::size_t pack, bool image) {
    const std::size_t record = pack + 11 + 265 * Below(3);
    switch (Below(image ? 7 : 5)) {
      case 0:
        for (std::uint32_t n = 1 + Below(8); n > 0 && !b.empty(); --n) b[Below(b.size())] = static_cast<char>(rng_());
        break;
      case 1: b.resize(Below(b.size() + 1)); break;
      case 2: Put32(b, pack + 5, 0xFFFF0000u | Below(0x10000)); break;
      case 3: Put32(b, record + 256 + 4 * Below(2), Field(b.size())); break;
      case 4:
        for (std::size_t i = record; i < record + 256 && i < b.size(); ++i)
          b[i] = "ab./\\:."[Below(7)];
        break;
      case 5: Put32(b, 60 + Below(2) * (0x80 + 6 - 60), static_cast<std::uint32_t>(rng_())); break;
      default: Put32(b, 0x80 + 248 + 80 + 16 + 4 * Below(2), Field(b.size())); break;
    }
  }

 private:
  std::mt19937 rng_;
};

// The locator, then the reader on its copy and on the file itself.
bool RunCase(const std::string& bytes, const ScratchDir& dir, bool refuse) {
  WriteFile(dir.File("case.exe"), bytes);
  TVMemoryStream copy;
  bool located = false;
  try {
    LoadAppendedPack(rtl::ToWide(dir.File("case.exe")), copy, false);
    located = LoadAppendedPack(rtl::ToWide(dir.File("case.exe")), copy, true);
  } catch (const EInOutError&) {
  } catch (const EOutOfMemory&) {
  }
  const std::string folder = dir.File("out") + "/";
  if (located) {
    copy.SaveToFile(dir.File("copy.pack"));
    ReadWholePack(dir.File("copy.pack"), folder, refuse);
  }
  ReadWholePack(dir.File("case.exe"), folder, refuse);
  std::filesystem::remove_all(folder);
  return located;
}

}  // namespace

TEST(PackMutations, LocatorAndReaderRaiseOnlyTheirErrors) {
  const std::string packs[] = {
      Pack({{"YZ1.DLL", Bytes(70000, 1)}, {"ARC.YZ1", Bytes(300, 2), 2}, {"CONFIG.TXT", "app\\setup.exe", 1}}),
      Pack({{"a", ""}, {"b", Bytes(61440, 3), 1}}),
      Pack({})};
  ScratchDir dir;
  int cases = 0, located = 0;
  for (unsigned seed = 0; cases < kCases; ++seed) {
    Mutator m(seed);
    const std::string& pack = packs[m.Below(3)];
    const bool image = m.Below(2) == 1;
    std::string bytes = image ? pack_fixtures::Image(0x400, 0x200) + pack : pack;
    for (std::uint32_t n = 1 + m.Below(3); n > 0; --n) m.Apply(bytes, image ? kImageSize : 0, image);
    located += RunCase(bytes, dir, m.Below(2) == 1);
    ++cases;
  }
  std::cout << "pack mutation run: " << cases << " cases, " << located << " located by the locator\n";
  EXPECT_EQ(cases, kCases);
}
