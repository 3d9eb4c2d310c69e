// The ZIP writer of fmix against the plug-in's portable reader and extractor,
// and against the standard tools where the host has them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "fmix/cli_error.h"
#include "fmix/commands.h"
#include "plugin/command_line.h"
#include "plugin/entry_name.h"
#include "plugin/zip_extractor.h"
#include "plugin/zip_reader.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "tests/test_files.h"

namespace fs = std::filesystem;
using testing_files::Bytes;
using testing_files::ReadFile;
using testing_files::ScratchDir;
using testing_files::WriteFile;

namespace {

const std::string kUtf8Name = "\xE6\x97\xA5\xE6\x9C\xAC/\xC3\xA4.txt";  // 日本/ä.txt

std::string Compressible() {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "line " + std::to_string(i % 37) + " of the sample\n";
  return text;
}

// A tree with nested folders, an empty file, an empty folder, a UTF-8 name,
// one file that deflates well and one that does not.
void MakeTree(const std::string& root) {
  fs::create_directories(fs::u8path(root + "a/b"));
  fs::create_directories(fs::u8path(root + "empty"));
  fs::create_directories(fs::u8path(root + "\xE6\x97\xA5\xE6\x9C\xAC"));
  WriteFile(root + "a/b/x.txt", "hello\n");
  WriteFile(root + "a/text.txt", Compressible());
  WriteFile(root + "e.txt", "");
  WriteFile(root + "random.bin", Bytes(100000, 7));
  std::ofstream(fs::u8path(root + kUtf8Name), std::ios::binary) << "umlaut\n";
}

int Zip(const Args& args) {
  try {
    return RunZip(args);
  } catch (const CliError& e) {
    return e.ExitCode();
  }
}

std::u16string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return u"(no error)";
}

std::u16string W(const std::string& utf8) { return fs::u8path(utf8).u16string(); }

}  // namespace

TEST(ZipArchive, RoundTripKeepsEveryFileFolderAndNameInSameBytesEachTime) {
  ScratchDir scratch;
  const std::string source = scratch.File("src/"), archive = scratch.File("out.yz1");
  MakeTree(source);
  ASSERT_EQ(Zip({archive, source}), 0);
  ASSERT_EQ(Zip({scratch.File("again.yz1"), source}), 0);
  EXPECT_EQ(ReadFile(archive), ReadFile(scratch.File("again.yz1")));
#ifndef _WIN32
  EXPECT_EQ(std::system(("unzip -tq '" + archive + "' >/dev/null").c_str()), 0);
  const std::string python =
      "import sys, zipfile; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip())";
  EXPECT_EQ(std::system(("python3 -c '" + python + "' '" + archive + "'").c_str()), 0);
#endif

  TZipReader reader(archive);
  const auto& entries = reader.Entries();
  std::vector<std::u16string> names;
  for (const TZipEntry& entry : entries) names.push_back(entry.name);
  ASSERT_EQ(names, (std::vector<std::u16string>{u"a/b/x.txt", u"a/text.txt", u"e.txt", u"empty/",
                                                u"random.bin", W(kUtf8Name)}));
  EXPECT_EQ(entries[1].method, 8) << "text deflates";
  EXPECT_EQ(entries[2].method, 0) << "an empty file is stored";
  EXPECT_EQ(entries[4].method, 0) << "random bytes are stored";
  for (std::size_t i = 0; i < entries.size(); ++i)
    EXPECT_EQ((entries[i].flags & 0x800) != 0, i == 5) << "UTF-8 flag only on non-ASCII names";

  const std::string target = scratch.File("dst") + static_cast<char>(fs::path::preferred_separator);
  EXPECT_EQ(TZipExtractor(reader, rtl::ToWide(target)).ExtractAll(), 5);
  for (const char* name : {"a/b/x.txt", "a/text.txt", "e.txt", "random.bin"})
    EXPECT_EQ(ReadFile(target + name), ReadFile(source + name)) << name;
  std::ifstream utf8Named(fs::u8path(target + kUtf8Name), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(utf8Named), {}), "umlaut\n");
  EXPECT_TRUE(fs::is_directory(target + "empty"));
}

TEST(ZipArchive, CommandRefusesBadArgumentsWithoutLeavingOutput) {
  ScratchDir scratch;
  const std::string archive = scratch.File("out.yz1");
  EXPECT_EQ(Zip({archive}), 2);
  EXPECT_EQ(Zip({archive, scratch.File("a"), scratch.File("b")}), 2);
  try {
    RunZip({archive, scratch.File("missing")});
    ADD_FAILURE() << "a missing folder was accepted";
  } catch (const CliError& e) {
    EXPECT_EQ(e.ExitCode(), 1);
    EXPECT_NE(std::string(e.what()).find(scratch.File("missing")), std::string::npos) << e.what();
  }
#ifndef _WIN32
  // A sparse file of 4 GiB costs no disk and is refused before it is read.
  fs::create_directories(scratch.File("big"));
  std::ofstream(scratch.File("big/huge.bin")).close();
  fs::resize_file(scratch.File("big/huge.bin"), std::uint64_t{1} << 32);
  EXPECT_EQ(Zip({archive, scratch.File("big")}), 1);
#endif
  for (const auto& item : fs::directory_iterator(scratch.Path()))
    EXPECT_TRUE(item.is_directory()) << "left behind: " << item.path();
}

TEST(ZipArchive, ReaderRefusesZip64) {
  ScratchDir scratch;
  fs::create_directories(scratch.File("src"));
  WriteFile(scratch.File("src/a.txt"), "a");
  ASSERT_EQ(Zip({scratch.File("a.zip"), scratch.File("src")}), 0);
  const std::string plain = ReadFile(scratch.File("a.zip"));
  const std::size_t central = plain.find("PK\x01\x02");
  std::string patched = plain;
  patched.replace(central + 20, 4, "\xFF\xFF\xFF\xFF");  // compressed size
  WriteFile(scratch.File("b.zip"), patched);
  EXPECT_EQ(ErrorOf([&] { TZipReader reader(scratch.File("b.zip")); }),
            u"Zip64 archives are not supported: a.txt");
  const std::string locator = std::string("PK\x06\x07", 4) + std::string(16, '\0');
  WriteFile(scratch.File("c.zip"),
            plain.substr(0, plain.size() - 22) + locator + plain.substr(plain.size() - 22));
  EXPECT_NE(ErrorOf([&] { TZipReader reader(scratch.File("c.zip")); }).find(u"Zip64"),
            std::u16string::npos);
}

TEST(EntryName, RefusesEveryNameThatLeavesOrNamesTheFolder) {
  for (const char16_t* name : {u"", u"/abs.txt", u"\\abs.txt", u"C:evil.txt", u"a/C:x", u"../x",
                               u"a/../../x", u"a\\..\\x", u"..", u"a/./b", u"a/...", u"x:stream"})
    EXPECT_FALSE(TEntryName(name).IsSafe()) << rtl::ToAnsi(name);
  for (const char16_t* name : {u"a.txt", u"a/b/c.txt", u"a..b/c", u"..a", u"folder/", u"a//b"})
    EXPECT_TRUE(TEntryName(name).IsSafe()) << rtl::ToAnsi(name);
  EXPECT_TRUE(TEntryName(u"a\\b\\").IsFolder());
  EXPECT_FALSE(TEntryName(u"a/b").IsFolder());
}

TEST(CommandLine, QuotedWordsKeepBackslashesAndBlanks) {
  using Words = std::vector<std::string>;
  EXPECT_EQ(SplitCommandLine("-x \"C:\\a b\\arc.yz1\" \"C:\\out dir\\\""),
            (Words{"-x", "C:\\a b\\arc.yz1", "C:\\out dir\\"}));
  EXPECT_EQ(SplitCommandLine("  -x  a\\  \"\" "), (Words{"-x", "a\\", ""}));
  EXPECT_EQ(SplitCommandLine(""), Words{});
  EXPECT_THROW(SplitCommandLine("-x \"C:\\arc.yz1"), Exception);
}
