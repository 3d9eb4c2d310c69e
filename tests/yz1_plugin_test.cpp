// yz1.dll, called through its entry the way the bridge calls it, on archives
// made by fmix zip and by Python's zipfile and tarfile (the latter written
// beforehand into the build folder's test_zips by make_test_zips.py).
#include <gtest/gtest.h>
#include <windows.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fmix/cli/commands.h"
#include "rtl/text.h"
#include "tests/test_files.h"
#include "os/fault_guard.h"
#include "unit_archive/unit_archive.h"

namespace fs = std::filesystem;
using namespace testing_files;

namespace {

using Yz1Function = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);

std::string ProgramFolder() { return rtl::ToAnsi(rtl::ExtractFilePath(rtl::ProgramPath())); }

std::string TestZip(const std::string& name) { return ProgramFolder() + "..\\test_zips\\" + name; }

struct Digest {
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
  bool operator==(const Digest& o) const { return size == o.size && crc == o.crc; }
};

Digest DigestOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path.u8string();
  std::vector<char> chunk(1 << 16);
  uLong crc = crc32(0, nullptr, 0);
  Digest digest;
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
    crc = crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(in.gcount()));
    digest.size += static_cast<std::uint64_t>(in.gcount());
  }
  digest.crc = static_cast<std::uint32_t>(crc);
  return digest;
}

// Every file of the archive's manifest unpacked under target, size and CRC.
void ExpectManifest(const std::string& archive, const std::string& target) {
  std::istringstream manifest(ReadFile(archive + ".manifest"));
  std::string entry, size, crc;
  while (std::getline(manifest, entry, '\t') && std::getline(manifest, size, '\t') && std::getline(manifest, crc)) {
    const Digest expected{std::stoull(size), static_cast<std::uint32_t>(std::stoul(crc, nullptr, 16))};
    EXPECT_EQ(DigestOf(fs::u8path(target + entry)), expected) << entry;
  }
}

// Reserves every free block of the address space down to 64 KB, the
// granularity of reservations, so that no large block can be allocated.
std::vector<void*> ReserveAddressSpace() {
  std::vector<void*> blocks;
  blocks.reserve(1 << 16);
  for (SIZE_T size = SIZE_T{1} << 30; size >= (SIZE_T{1} << 16); size /= 2)
    while (blocks.size() < blocks.capacity())
      if (void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS))
        blocks.push_back(block);
      else
        break;
  return blocks;
}

// The text of the last box the bridge showed.
std::u16string lastBox;

int WINAPI RecordBox(HWND, LPCWSTR text, LPCWSTR, UINT) {
  lastBox = reinterpret_cast<const char16_t*>(text);
  return IDOK;
}

class Yz1Plugin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    library_ = LoadLibraryA((ProgramFolder() + "yz1.dll").c_str());
    entry_ =
        reinterpret_cast<Yz1Function>(reinterpret_cast<void*>(GetProcAddress(library_, "Yz1")));
  }
  static void TearDownTestSuite() { FreeLibrary(library_); }
  void SetUp() override { ASSERT_NE(entry_, nullptr) << "yz1.dll beside the test, exporting Yz1"; }

  // Calls the entry as the bridge does: 1023 bytes allowed in a buffer of 1025.
  static std::string Call(const std::string& commandLine, int* result = nullptr) {
    std::string buffer(1025, '\x7F');
    const int r = entry_(nullptr, commandLine.c_str(), &buffer[0], 1023);
    if (result) *result = r;
    const std::size_t end = buffer.find('\0');
    EXPECT_LT(end, 1023u) << "the output ends in a NUL within the size";
    return buffer.substr(0, end);
  }
  static std::string Extract(const std::string& archive, const std::string& folder,
                             int* result = nullptr) {
    return Call("-x \"" + archive + "\" \"" + folder + "\"", result);
  }
  // A new folder under the scratch folder, ending in a backslash.
  std::string Folder(const std::string& name) const {
    CreateDirectoryA(scratch_.File(name).c_str(), nullptr);
    return scratch_.File(name) + "\\";
  }
  std::string Zip(const std::string& name, const std::string& source) const {
    const std::string archive = scratch_.File(name);
    EXPECT_EQ(RunZip({archive, source}), 0);
    return archive;
  }

  static HMODULE library_;
  static Yz1Function entry_;
  ScratchDir scratch_;
};

HMODULE Yz1Plugin::library_ = nullptr;
Yz1Function Yz1Plugin::entry_ = nullptr;

TEST_F(Yz1Plugin, ExtractsFmixArchivesOverExistingFiles) {
  const std::string source = Folder("src");
  fs::create_directories(source + "a\\b");
  WriteFile(source + "a\\b\\x.txt", "hello\n");
  WriteFile(source + "a\\text.txt", std::string(50000, 'x'));
  WriteFile(source + "e.txt", "");
  WriteFile(source + "random.bin", Bytes(70000, 3));
  const std::string target = Folder("dst");
  fs::create_directories(target + "a\\b");
  WriteFile(target + "a\\b\\x.txt", "an older and longer content");
  int result = -1;
  EXPECT_EQ(Extract(Zip("tree.yz1", source), target, &result), "4 files extracted.");
  EXPECT_EQ(result, 0);
  for (const char* name : {"a\\b\\x.txt", "a\\text.txt", "e.txt", "random.bin"})
    EXPECT_EQ(ReadFile(target + name), ReadFile(source + name)) << name;
}

TEST_F(Yz1Plugin, ExtractsPythonArchivesWithAndWithoutDataDescriptors) {
  for (const char* name : {"python_mixed.zip", "python_descriptors.zip"}) {
    SCOPED_TRACE(name);
    const std::string target = Folder(name);
    EXPECT_EQ(Extract(TestZip(name), target), "4 files extracted.");
    ExpectManifest(TestZip(name), target);
  }
  EXPECT_TRUE(fs::is_directory(scratch_.File("python_mixed.zip\\folder")));
}

// The solid format, told apart by its first bytes; a damaged stream is
// refused on opening, before anything is written.
TEST_F(Yz1Plugin, ExtractsTheSolidFormatAndRefusesADamagedStreamWritingNothing) {
  const std::string target = Folder("solid");
  EXPECT_EQ(Extract(TestZip("python_solid.tar.xz"), target), "4 files extracted.");
  ExpectManifest(TestZip("python_solid.tar.xz"), target);
  EXPECT_TRUE(fs::is_directory(target + "folder"));
  const std::string damaged = Folder("damaged"), archive = TestZip("python_solid_damaged.tar.xz");
  int result = 0;
  const std::string report = Extract(archive, damaged, &result);
  EXPECT_EQ(report.rfind("Error: ", 0), 0u) << report;
  EXPECT_NE(result, 0);
  EXPECT_TRUE(fs::is_empty(damaged)) << report;
}

TEST_F(Yz1Plugin, ExtractsAThousandFiles) {
  const std::string source = Folder("src");
  const auto name = [](int i) { return "d" + std::to_string(i % 10) + "\\f" + std::to_string(i); };
  for (int i = 0; i < 1000; ++i) {
    fs::create_directories(source + "d" + std::to_string(i % 10));
    WriteFile(source + name(i), name(i));
  }
  const std::string target = Folder("dst");
  EXPECT_EQ(Extract(Zip("many.yz1", source), target), "1000 files extracted.");
  for (int i = 0; i < 1000; i += 111) EXPECT_EQ(ReadFile(target + name(i)), name(i));
}

TEST_F(Yz1Plugin, ExtractsA100MegabyteFile) {
  // Halves of random bytes and zeros: it deflates, but not to nothing.
  const std::string source = Folder("src");
  {
    std::ofstream out(source + "big.bin", std::ios::binary);
    const std::string chunk = Bytes(32768, 5) + std::string(32768, '\0');
    for (int i = 0; i < 1600; ++i)
      out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  }
  const std::string archive = Zip("big.yz1", source);
  EXPECT_LT(fs::file_size(archive), 60u << 20) << "deflated";
  const std::string target = Folder("dst");
  EXPECT_EQ(Extract(archive, target), "1 file extracted.");
  EXPECT_EQ(DigestOf(target + "big.bin"), DigestOf(source + "big.bin"));
}

TEST_F(Yz1Plugin, FailuresNameTheReasonAndLeaveNoPartialFile) {
  const std::string source = Folder("src");
  WriteFile(source + "random.bin", Bytes(5000, 9));
  const std::string archive = Zip("good.yz1", source);
  const std::string bytes = ReadFile(archive);
  WriteFile(scratch_.File("short.yz1"), bytes.substr(0, bytes.size() / 2));
  std::string damaged = bytes;
  damaged[100] = static_cast<char>(damaged[100] ^ 1);  // inside the stored data
  WriteFile(scratch_.File("crc.yz1"), damaged);
  WriteFile(scratch_.File("text.yz1"), "just some text, no archive at all");

  struct Case {
    std::string archive;
    std::string error;
  };
  const std::vector<Case> cases = {
      {scratch_.File("none.yz1"), "Error: archive not found: " + scratch_.File("none.yz1")},
      {scratch_.File("text.yz1"), "Error: not a ZIP archive: " + scratch_.File("text.yz1")},
      {scratch_.File("short.yz1"), "Error: archive truncated: " + scratch_.File("short.yz1")},
      {scratch_.File("crc.yz1"), "Error: CRC mismatch: random.bin"},
      {TestZip("python_bzip2.zip"), "Error: 1 entry refused, compressed with BZip2 (method 12), which the "
                                    "plug-in cannot unpack: data.txt; zip it again with Deflate"},
  };
  for (const Case& c : cases) {
    const std::string target = Folder("dst");
    int result = 0;
    EXPECT_EQ(Extract(c.archive, target, &result), c.error);
    EXPECT_NE(result, 0);
    EXPECT_TRUE(fs::is_empty(target)) << c.error;
  }
  EXPECT_EQ(Call("-l \"x\""), "Error: unknown command: -l \"x\"");
}

// The plug-in raises a Windows exception where the heap is exhausted: the
// call ends there, and under the bridge's guard that is a failed call that
// the process survives. Reading this archive's directory takes one block of
// 2.6 MB, more than the address space then has.
TEST_F(Yz1Plugin, OutOfMemoryEndsTheCallAsAFailure) {
  struct Call {
    std::string command;
    char output[64];
  } call{"-x \"" + TestZip("large_directory.zip") + "\" \"" + Folder("dst") + "\"", "untouched"};
  const auto run = [](void* context) {
    Call& c = *static_cast<Call*>(context);
    entry_(nullptr, c.command.c_str(), c.output, sizeof c.output);
  };
  const std::vector<void*> reserved = ReserveAddressSpace();
  const bool completed = RunGuarded(run, &call);
  for (void* block : reserved) VirtualFree(block, 0, MEM_RELEASE);
  EXPECT_FALSE(completed) << call.output;
  EXPECT_STREQ(call.output, "untouched");
  EXPECT_EQ(Extract(TestZip("large_directory.zip"), Folder("again")), "40 files extracted.")
      << "memory back, the same archive extracts";
}

TEST_F(Yz1Plugin, UnsafeNamesAreRefusedBeforeAnythingIsWritten) {
  const char* names[] = {"../evil.txt", "/evil.txt", "C:evil.txt", "a\\..\\..\\evil.txt",
                         "a/./../../evil.txt"};
  for (int i = 0; i < 5; ++i) {
    const std::string target = Folder("dst" + std::to_string(i));
    const std::string output = Extract(TestZip("unsafe_" + std::to_string(i) + ".zip"), target);
    EXPECT_EQ(output, std::string("Error: unsafe name refused: ") + names[i]);
    EXPECT_TRUE(fs::is_empty(target)) << names[i];
  }
  EXPECT_FALSE(fs::exists(scratch_.File("evil.txt")));
}

// Every cause on its own line, control characters spelled out in the box's
// text, nothing written; and paths past MAX_PATH are written (through \\?\).
TEST_F(Yz1Plugin, RefusesUnpackableEntriesOnOpeningAndWritesLongPaths) {
  const std::string target = Folder("dst");
  EXPECT_EQ(Extract(TestZip("unpackable.zip"), target),
            "Error: 1 entry refused, compressed with LZMA (method 14), which the plug-in cannot unpack: packed.txt; "
            "zip it again with Deflate\n"
            "1 entry refused, a symbolic link (it would become a file holding the link's target): link; "
            "zip it again without -y, so that it holds the files linked to");
  EXPECT_EQ(Extract(TestZip("icon_cr.zip"), target),
            "Error: name that Windows cannot create refused: Icon\\r; it holds a control character or one of <>\"|?*");
  EXPECT_TRUE(fs::is_empty(target));

  std::string deep = Folder(std::string(120, 'd'));
  deep = deep + std::string(120, 'e') + "\\";
  EXPECT_EQ(Extract(TestZip("python_mixed.zip"), deep), "4 files extracted.");
  EXPECT_EQ(ReadFile(deep + "docs\\readme.txt").size(), 14u * 300) << deep.size() + 20 << " characters";
}

TEST_F(Yz1Plugin, OutputEndsInANulWithinTheSize) {
  const std::string report = "Error: unknown command: -l";
  for (DWORD size : {0u, 1u, 8u, 1023u}) {
    char buffer[2048];
    std::memset(buffer, 0x7F, sizeof buffer);
    entry_(nullptr, "-l", buffer, size);
    const std::size_t length = std::min<std::size_t>(report.size(), size ? size - 1 : 0);
    if (size > 0) {
      EXPECT_EQ(std::string(buffer, length), report.substr(0, length));
      EXPECT_EQ(buffer[length], '\0');
    }
    for (std::size_t i = size; i < sizeof buffer; ++i)
      ASSERT_EQ(buffer[i], 0x7F) << "size " << size;
  }
}

TEST_F(Yz1Plugin, TheBridgeDrivesIt) {
  const std::string source = Folder("src");
  WriteFile(source + "setup.exe", "MZ");
  const std::string target = Folder("unpack");
  PluginBaseDir = ProgramFolder();
  Yz1Extract(Zip("arc.yz1", source), target);
  EXPECT_EQ(ReadFile(target + "setup.exe"), "MZ");
  // An archive the plug-in refuses: its report is the text of the box.
  WriteFile(scratch_.File("text.yz1"), "no archive");
  const TPluginSystemCalls system = PluginSystemCalls;
  PluginSystemCalls.messageBoxW = RecordBox;
  Yz1Extract(scratch_.File("text.yz1"), target);
  PluginSystemCalls = system;
  EXPECT_EQ(lastBox, u"Error: not a ZIP archive: " + rtl::ToWide(scratch_.File("text.yz1")));
  PluginBaseDir.clear();
}

}  // namespace
