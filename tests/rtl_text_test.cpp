#include <gtest/gtest.h>

#include "os/os.h"
#include "rtl/exception.h"
#include "rtl/folders.h"
#include "rtl/small_division.h"
#include "rtl/text.h"
#include "tests/test_files.h"

using namespace testing_files;

TEST(Text, PosIsOneBasedAndZeroForEmptyTexts) {
  EXPECT_EQ(rtl::Pos(u"setup", u"C:\\x\\mysetup2.exe"), 8);
  EXPECT_EQ(rtl::Pos(u"setup", u"C:\\x\\Setup.exe"), 0);
  EXPECT_EQ(rtl::Pos(u"", u"abc"), 0);
  EXPECT_EQ(rtl::Pos(u"a", u""), 0);
}

TEST(Text, TrimRemovesEverythingUpToSpaceAtBothEnds) {
  std::u16string text = u"\x01\t \r\nsub\\setup.exe \r\n";
  text += u'\0';
  EXPECT_EQ(rtl::Trim(text), u"sub\\setup.exe");
  EXPECT_EQ(rtl::Trim(u"a\r\nb"), u"a\r\nb");
  EXPECT_EQ(rtl::Trim(u" \r\n"), u"");
  EXPECT_EQ(rtl::Trim(u"\u3000x\u3000"), u"\u3000x\u3000");  // only up to U+0020
}

TEST(Text, CaseChangesOnlyAsciiLetters) {
  EXPECT_EQ(rtl::UpperCase(u"config.txt ä ｅ"), u"CONFIG.TXT ä ｅ");
  EXPECT_EQ(rtl::LowerCase(u"ERROR Ä Ｅ"), u"error Ä Ｅ");
}

TEST(Text, FormatFillsTheSlots) {
  EXPECT_EQ(rtl::Format(u"ファイル『%s』の生成エラー", u"a.bin"), u"ファイル『a.bin』の生成エラー");
  EXPECT_EQ(rtl::Format(u"(=%d)(=%d)", 3, -1), u"(=3)(=-1)");
  EXPECT_EQ(rtl::Format(u"%s and %s", u"X"), u"X and X");
  EXPECT_EQ(rtl::Format(u"<%s>", u"%s"), u"<%s>");
}

TEST(Text, ConversionsRoundTripAndBuffersStopAtNul) {
  EXPECT_EQ(rtl::ToWide("abc"), u"abc");
  EXPECT_EQ(rtl::ToAnsi(u"abc"), "abc");
  const char buffer[] = {'a', 'b', '\0', 'c'};
  EXPECT_EQ(rtl::FromBuffer(buffer, sizeof buffer), "ab");
  EXPECT_EQ(rtl::FromBuffer(buffer, 1), "a");
}

TEST(Text, SmallDivisionMatchesTheMachinesAcrossEveryPiece) {
  for (std::uint64_t value : {0ull, 9ull, 0xFFFFull, 0x1234567890ABCDEFull, ~0ull})
    for (std::uint32_t divisor : {1u, 10u, 46u, 3125u, 65535u}) {
      std::uint32_t rest = 0;
      EXPECT_EQ(rtl::DivideSmall(value, divisor, &rest), value / divisor);
      EXPECT_EQ(rest, value % divisor);
    }
}

TEST(Paths, ExtractFilePathKeepsTheDelimiter) {
  const std::u16string d(1, os::kPathDelimiter);
  EXPECT_EQ(rtl::ExtractFilePath(u"x" + d + u"y" + d + u"z.exe"), u"x" + d + u"y" + d);
  EXPECT_EQ(rtl::ExtractFilePath(u"C:z.exe"), u"C:");
  EXPECT_EQ(rtl::ExtractFilePath(u"z.exe"), u"");
}

TEST(Paths, ForceDirectoriesCreatesParentsAndReportsFailure) {
  ScratchDir dir;
  const std::u16string d(1, os::kPathDelimiter);
  const std::u16string base = rtl::ToWide(dir.Path());
  EXPECT_TRUE(rtl::ForceDirectories(base + u"a" + d + u"b" + d + u"c" + d));
  EXPECT_TRUE(os::DirectoryExists(base + u"a" + d + u"b" + d + u"c"));
  EXPECT_TRUE(rtl::ForceDirectories(base + u"a"));  // exists already
  WriteFile(dir.File("file"), "x");
  EXPECT_FALSE(rtl::ForceDirectories(base + u"file" + d + u"sub"));
  try {
    rtl::ForceDirectories(u"");
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), u"ディレクトリを作成できません");
  }
}

TEST(Paths, FileExistsIsFalseForFoldersAndMissingEntries) {
  ScratchDir dir;
  WriteFile(dir.File("f.txt"), "x");
  EXPECT_TRUE(rtl::FileExists(rtl::ToWide(dir.File("f.txt"))));
  EXPECT_FALSE(rtl::FileExists(rtl::ToWide(dir.Path())));
  EXPECT_FALSE(rtl::FileExists(rtl::ToWide(dir.File("missing"))));
  EXPECT_FALSE(rtl::FileExists(rtl::ToWide(dir.File("missing/deeper/x"))));
#ifdef _WIN32
  EXPECT_FALSE(rtl::FileExists(rtl::ToWide(dir.File("bad<name>?"))));  // error 123
  // A file held open without sharing still exists (the directory search decides).
  os::FileHandle h = os::FileOpen(rtl::ToWide(dir.File("f.txt")), os::Access::Read, os::Share::None).handle;
  EXPECT_TRUE(rtl::FileExists(rtl::ToWide(dir.File("f.txt"))));
  os::FileClose(h);
#endif
}

TEST(Paths, ProgramPathNamesThisTest) {
  EXPECT_NE(rtl::Pos(u"rtl_text_test", rtl::ProgramPath()), 0);
}

TEST(Paths, RenameFileReplacesAnExistingTargetAndRemoveFileDeletes) {
  ScratchDir dir;
  const std::u16string from = rtl::ToWide(dir.File("new.part"));
  const std::u16string to = rtl::ToWide(dir.File("target.txt"));
  WriteFile(dir.File("new.part"), "new");
  WriteFile(dir.File("target.txt"), "old contents");
  EXPECT_TRUE(os::RenameFile(from, to));
  EXPECT_FALSE(os::FileExists(from));
  EXPECT_EQ(testing_files::ReadFile(dir.File("target.txt")), "new");
  const os::Done gone = os::RenameFile(from, to);  // the source is gone, and the failure says why
  EXPECT_FALSE(gone);
  EXPECT_NE(os::FailureText(gone.failure), "");
  EXPECT_TRUE(os::RemoveFile(to));
  EXPECT_FALSE(os::FileExists(to));
  EXPECT_FALSE(os::RemoveFile(to));
}
