// LoadAppendedPack on image layouts built here and on real PE images that
// nobody here wrote: Wine's own executables and, in the Windows build, this
// mingw-built test program.
#include <gtest/gtest.h>

#include <filesystem>

#include "rtl/exception.h"
#include "rtl/text.h"
#include "tests/pack_fixtures.h"
#include "tests/test_files.h"
#include "unit_pack_files/file_mix_reader.h"
#include "unit_pack_files/pack_locator.h"
#include "velm_stream/tv_file_stream.h"
#include "velm_stream/tv_memory_stream.h"

using pack_fixtures::Image;
using pack_fixtures::Pack;
using namespace testing_files;

namespace {

const std::string kPack = Pack({{"CONFIG.TXT", "app\\setup.exe"}, {"ARC.YZ1", "archive"}});

std::string Content(const TVMemoryStream& s) { return std::string(s.Memory(), static_cast<std::size_t>(s.Size())); }

// LoadAppendedPack on bytes written to a file; dest keeps what it received.
bool Locate(const std::string& bytes, TVMemoryStream& dest, bool copyData = true) {
  ScratchDir dir;
  WriteFile(dir.File("setup.exe"), bytes);
  return LoadAppendedPack(rtl::ToWide(dir.File("setup.exe")), dest, copyData);
}

// What the locator copies out of bytes, or "(false)".
std::string Located(const std::string& bytes) {
  TVMemoryStream dest;
  if (!Locate(bytes, dest)) return "(false)";
  EXPECT_EQ(dest.Position(), 0);
  return Content(dest);
}

std::u16string ReadError(const std::string& bytes) {
  TVMemoryStream dest;
  try {
    Locate(bytes, dest);
  } catch (const EInOutError& e) {
    return e.Message();
  }
  return u"(nothing raised)";
}

void Patch(std::string& bytes, std::size_t at, std::initializer_list<unsigned char> values) {
  for (unsigned char v : values) bytes[at++] = static_cast<char>(v);
}

}  // namespace

TEST(PackLocator, CopiesEverythingFromTheEndOfTheSections) {
  const std::string image = Image(0x400, 0x200);
  EXPECT_EQ(Located(image), "(false)");
  EXPECT_EQ(Located(image + kPack), kPack);
  EXPECT_EQ(Located(image + "xyz" + kPack), "xyz" + kPack);  // from E, not from the "f"
  EXPECT_EQ(Located(image + "fnord"), "fnord");
  EXPECT_EQ(Located(image + "no pack here"), "(false)");
  EXPECT_EQ(Located("m" + image.substr(1) + kPack), kPack);
  EXPECT_EQ(Located("Z" + image.substr(1) + kPack), "(false)");
}

// Only the fields at the fixed offsets count: the low half of e_lfanew, the
// low byte of the section count, and 224 bytes of optional header whatever
// size is stored.
TEST(PackLocator, ReadsOnlyItsFixedOffsets) {
  std::string image = Image(0x400, 0x200, 3, 0x80);
  Patch(image, 62, {0x01, 0x00});    // e_lfanew 0x10080
  Patch(image, 0x80 + 7, {0x01});    // 0x103 sections
  Patch(image, 0x80 + 20, {0xF0});   // optional header of 240 bytes
  EXPECT_EQ(Located(image + kPack), kPack);
}

// An end that lies beyond the file or does not fit a signed 32-bit position
// gives false, also when its low 32 bits would point into the file.
TEST(PackLocator, RefusesEndsOutsideTheFile) {
  const std::string image = Image(0x400, 0x200) + kPack;
  for (auto [pointer, size] : {std::pair<std::uint32_t, std::uint32_t>{0x400, 0x200 + 0x1000},
                               {0x7FFFFF00, 0x200}, {0xFFFFFF00, 0x200 + 0x500}}) {
    std::string bytes = image;
    Patch(bytes, 0x80 + 248 + 80 + 16, {static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8),
                                         static_cast<unsigned char>(size >> 16), static_cast<unsigned char>(size >> 24)});
    Patch(bytes, 0x80 + 248 + 80 + 20, {static_cast<unsigned char>(pointer), static_cast<unsigned char>(pointer >> 8),
                                         static_cast<unsigned char>(pointer >> 16), static_cast<unsigned char>(pointer >> 24)});
    EXPECT_EQ(Located(bytes), "(false)") << std::hex << pointer << "+" << size;
  }
}

TEST(PackLocator, MissingFilesAndShortImages) {
  ScratchDir dir;
  TVMemoryStream dest;
  EXPECT_FALSE(LoadAppendedPack(rtl::ToWide(dir.File("missing.exe")), dest, true));
  EXPECT_FALSE(LoadAppendedPack(rtl::ToWide(dir.Path()), dest, true));
  const std::u16string readError = u"ストリームの読み込みエラー";
  EXPECT_EQ(ReadError(""), readError);
  EXPECT_EQ(ReadError(Image(0x400, 0x200).substr(0, 61)), readError);
  EXPECT_EQ(ReadError(Image(0x400, 0x200).substr(0, 0x80 + 248 + 80 + 20)), readError);
}

TEST(PackLocator, LeavesOrExtendsTheDestination) {
  const std::string image = Image(0x400, 0x200) + kPack;
  TVMemoryStream dest;
  dest.WriteBuffer("keep me", 7);
  dest.SetPosition(3);
  EXPECT_TRUE(Locate(image, dest, false));
  EXPECT_EQ(Content(dest), "keep me");
  EXPECT_EQ(dest.Position(), 3);
  EXPECT_FALSE(Locate(Image(0x400, 0x200), dest, true));
  EXPECT_EQ(Content(dest), "keep me");
  EXPECT_TRUE(Locate(image, dest, true));  // written at position 3
  EXPECT_EQ(Content(dest), "kee" + kPack);
  EXPECT_EQ(dest.Position(), 0);
  const std::string longer(1000, '#');
  dest.SetPosition(0);
  dest.WriteBuffer(longer.data(), 1000);
  dest.SetPosition(10);
  EXPECT_TRUE(Locate(image, dest, true));
  EXPECT_EQ(Content(dest), longer.substr(0, 10) + kPack + longer.substr(10 + kPack.size()));
}

// Into a file, as the launcher stages its pack, the bytes go through the
// bounded buffer unchanged across its chunks; a memory stream that cannot
// hold the pack raises before any of it is copied.
TEST(PackLocator, StagesIntoAFileOrRaisesAtOnceInMemory) {
  ScratchDir dir;
  const std::string pack = Pack({{"ARC.YZ1", Bytes(2 * TVStream::kCopyChunk + 5, 1)}});
  const std::u16string setup = rtl::ToWide(dir.File("setup.exe"));
  WriteFile(dir.File("setup.exe"), Image(0x400, 0x200) + pack);
  {
    TVFileStream staged(dir.File("staged.tmp"), TVFileStream::kCreateNew);
    EXPECT_TRUE(LoadAppendedPack(setup, staged, true));
    EXPECT_EQ(staged.Seek(0, 1), 0);
  }
  EXPECT_EQ(ReadFile(dir.File("staged.tmp")), pack);
  TVMemoryStream dest;
  dest.SetPosition(0x7FFFF000);
  EXPECT_THROW(LoadAppendedPack(setup, dest, true), EOutOfMemory);
  EXPECT_EQ(dest.Capacity(), 0);
}

// Real images end in a symbol or string table after their last section, so
// a pack appended to them as they are is copied with that table in front and
// refused by the reader. Cut to the end of their last section, they work.
TEST(PackLocator, RealImages) {
  std::vector<std::string> images = pack_fixtures::WineImages();
#ifdef _WIN32
  images.push_back(rtl::ToAnsi(rtl::ProgramPath()));
#endif
  for (const std::string& path : images) {
    SCOPED_TRACE(path);
    const std::string image = ReadFile(path);
    const std::uint32_t end = pack_fixtures::EndOfSections(image);
    ASSERT_LT(end, image.size());
    const std::string cut = image.substr(0, end);
    EXPECT_EQ(Located(cut), "(false)");
    EXPECT_EQ(Located(cut + kPack), kPack);
    EXPECT_EQ(Located("m" + cut.substr(1) + kPack), kPack);
    EXPECT_EQ(Located(cut + std::string("\0\0xy", 4) + kPack), std::string("\0\0xy", 4) + kPack);
    EXPECT_EQ(Located(image + kPack), image.substr(end) + kPack);
    ScratchDir dir;
    WriteFile(dir.File("copy.pack"), image.substr(end) + kPack);
    EXPECT_THROW(TFileMixReader reader(dir.File("copy.pack")), EInOutError);
  }
}
