// What the pack writer refuses, before anything is written, and fmix's code
// page that it stores names in.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "fmix/report/cli_error.h"
#include "fmix/host/code_page.h"
#include "fmix/host/output_file.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "tests/test_files.h"
#include "unit_pack_files/file_mix_writer.h"

using namespace testing_files;

namespace {

// The message of what add raises: the writer's EInOutError or the code
// page's ECliError.
std::string Refusal(const std::function<void()>& add) {
  try {
    add();
  } catch (const ECliError& e) {
    EXPECT_EQ(e.ExitCode(), 1);
    return e.what();
  } catch (const EInOutError& e) {
    return rtl::ToAnsi(e.Message());
  }
  return "(accepted)";
}

}  // namespace

TEST(FileMixWriter, NameRules) {
  for (const std::u16string& name : {std::u16string(u"CONFIG.TXT"), std::u16string(u"a b.txt"),
                                     std::u16string(255, u'n'), std::u16string(u"Ärger.txt"),
                                     std::u16string(u"表示.txt"), std::u16string(u"com0"), std::u16string(u"console.txt")})
    EXPECT_EQ(TFileMixWriter::NameProblem(name), "") << rtl::ToAnsi(name);
  for (const std::u16string& name : {std::u16string(), std::u16string(u"a/b"), std::u16string(u"a\\b"),
                                     std::u16string(u"c:x"), std::u16string(u".."), std::u16string(u"."),
                                     std::u16string(u"a?b"), std::u16string(u"a\x01"), std::u16string(u"dot."),
                                     std::u16string(u"space "), std::u16string(u"con"), std::u16string(u"Con.txt"),
                                     std::u16string(u"LPT1"), std::u16string(u"com9.log"), std::u16string(256, u'n')})
    EXPECT_NE(TFileMixWriter::NameProblem(name), "") << rtl::ToAnsi(name);
}

TEST(FileMixWriter, RefusesDuplicatesAndTooManyEntries) {
  const TCodePage western;
  TFileMixWriter writer(western);
  writer.AddBytes("CONFIG.TXT", "a", kStored);
  EXPECT_NE(Refusal([&] { writer.AddBytes("Config.txt", "b", kMode1); }).find("Config.txt"), std::string::npos);
  for (int i = 1; i < 65535; ++i) writer.AddBytes("e" + std::to_string(i), "", kStored);
  EXPECT_NE(Refusal([&] { writer.AddBytes("one.more", "", kStored); }).find("65,535"), std::string::npos);
  EXPECT_EQ(writer.Count(), 65535u);
  EXPECT_EQ(writer.PackSize(), 11 + 265 * 65535u + 1);
}

// Sparse files give the sizes; nothing is read before the refusal.
TEST(FileMixWriter, RefusesEntriesAndPacksBeyondTheirLimits) {
  ScratchDir dir;
  for (const char* name : {"big1", "big2"}) {
    WriteFile(dir.File(name), "");
    std::filesystem::resize_file(dir.File(name), TFileMixWriter::kMaxEntrySize);
  }
  WriteFile(dir.File("huge"), "");
  std::filesystem::resize_file(dir.File("huge"), TFileMixWriter::kMaxEntrySize + 1ull);
  const TCodePage western;
  TFileMixWriter writer(western);
  EXPECT_NE(Refusal([&] { writer.AddFile("huge", dir.File("huge"), kStored); }).find(dir.File("huge")),
            std::string::npos);
  EXPECT_NE(Refusal([&] { writer.AddFile("x", dir.File("missing"), kStored); }).find("no such file"),
            std::string::npos);
  writer.AddFile("big1", dir.File("big1"), kStored);
  writer.AddFile("big2", dir.File("big2"), kMode2);
  const std::uint64_t room = TFileMixWriter::kMaxPackSize - writer.PackSize() - 265;
  EXPECT_NE(Refusal([&] { writer.AddBytes("last", std::string(room + 1, 'x'), kStored); }).find("4 GiB"),
            std::string::npos);
  writer.AddBytes("last", std::string(room, 'x'), kStored);
  EXPECT_EQ(writer.PackSize(), TFileMixWriter::kMaxPackSize);
}

// An input that changed after it was added fails the write, and the output
// never appears.
TEST(FileMixWriter, AShrunkInputFailsTheWrite) {
  ScratchDir dir;
  WriteFile(dir.File("in"), "0123456789");
  const TCodePage western;
  TFileMixWriter writer(western);
  writer.AddFile("in", dir.File("in"), kStored);
  WriteFile(dir.File("in"), "01234");
  {
    TOutputFile out(dir.File("p.pack"));
    EXPECT_NE(Refusal([&] { writer.WriteTo(out); }).find(dir.File("in")), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("p.pack")));
}

namespace {

// The name field of record i of a pack file.
std::string RecordName(const std::string& packFile, int i) {
  const std::string pack = testing_files::ReadFile(packFile);
  const std::string field = pack.substr(11 + 265 * i, 256);
  return field.substr(0, field.find('\0'));
}

int UsageExit(const std::string& digits) {
  try {
    TCodePage::FromOption(digits);
  } catch (const ECliError& e) {
    return e.ExitCode();
  }
  return 0;
}

}  // namespace

// Exact in both directions, or refused: no best-fit letter, no '?'.
TEST(CodePage, ConvertsExactlyOrRefuses) {
  const TCodePage western(1252), japanese(932);
  EXPECT_EQ(western.Encode(u"Ärger €.txt"), "\xC4rger \x80.txt");
  EXPECT_EQ(japanese.Encode(u"日本語\\表示.txt"), "\x93\xFA\x96\x7B\x8C\xEA\\\x95\x5C\x8E\xA6.txt");
  EXPECT_EQ(japanese.Decode("\x83\x5C\x83\x74\x83\x67.exe"), u"ソフト.exe");
  for (const std::u16string& text : {std::u16string(u"日本.txt"), std::u16string(u"Ā.txt")})
    EXPECT_NE(Refusal([&] { western.Encode(text); }).find("code page 1252"), std::string::npos);
  EXPECT_NE(Refusal([&] { japanese.Encode(u"Ärger.txt"); }).find("code page 932"), std::string::npos);
  EXPECT_NE(Refusal([&] { japanese.Encode(std::u16string(1, char16_t(0xD800))); }), "(accepted)");
  EXPECT_NE(Refusal([&] { japanese.Decode("a\x82"); }).find("61 82"), std::string::npos);
}

TEST(CodePage, ReadsTheOptionsValue) {
  EXPECT_EQ(TCodePage::FromOption("932").Number(), 932u);
  EXPECT_EQ(TCodePage::FromOption("").Number(), TCodePage::kDefault);
  for (const std::string bad : {"93x", "-1", "12345", "123456"}) EXPECT_EQ(UsageExit(bad), 2) << bad;
}

// Names are checked as text and stored in the target's code page, where a
// trail byte 0x5C is no folder delimiter and 128 kanji fill the 256 bytes.
TEST(FileMixWriter, StoresNamesInTheTargetCodePage) {
  if (rtl::ToWide(rtl::ToAnsi(u"表示")) != u"表示") GTEST_SKIP() << "the host's code page has no kanji";
  ScratchDir dir;
  const TCodePage japanese(932);
  TFileMixWriter writer(japanese);
  writer.AddBytes(rtl::ToAnsi(u"表示.txt"), "x", kStored);
  writer.AddBytes(rtl::ToAnsi(std::u16string(128, u'日')), "", kStored);
  EXPECT_NE(Refusal([&] { writer.AddBytes(rtl::ToAnsi(std::u16string(129, u'日')), "", kStored); }).find("256 bytes"),
            std::string::npos);
  EXPECT_NE(Refusal([&] { writer.AddBytes(rtl::ToAnsi(u"表示.TXT"), "", kStored); }).find("second entry"),
            std::string::npos);
  {
    TOutputFile out(dir.File("p.pack"));
    writer.WriteTo(out);
    out.Commit();
  }
  EXPECT_EQ(RecordName(dir.File("p.pack"), 0), "\x95\x5C\x8E\xA6.txt");
  std::string kanji;
  for (int i = 0; i < 128; ++i) kanji += "\x93\xFA";
  EXPECT_EQ(RecordName(dir.File("p.pack"), 1), kanji);
  const TCodePage cp1252;
  TFileMixWriter western(cp1252);
  EXPECT_NE(Refusal([&] { western.AddBytes(rtl::ToAnsi(u"表示.txt"), "", kStored); }).find("code page 1252"),
            std::string::npos);
}
