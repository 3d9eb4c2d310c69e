// What fmix's pack writer refuses, before anything is written.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "fmix/cli_error.h"
#include "fmix/file_mix_writer.h"
#include "fmix/output_file.h"
#include "rtl/text.h"
#include "tests/test_files.h"

using testing_files::ScratchDir;
using testing_files::WriteFile;

namespace {

std::string Refusal(const std::function<void()>& add) {
  try {
    add();
  } catch (const CliError& e) {
    EXPECT_EQ(e.ExitCode(), 1);
    return e.what();
  }
  return "(accepted)";
}

}  // namespace

TEST(FileMixWriter, NameRules) {
  for (const std::string& name : {std::string("CONFIG.TXT"), std::string("a b.txt"), std::string(256, 'n'),
                                  rtl::ToAnsi(u"Ärger.txt"), std::string("com0"), std::string("console.txt")})
    EXPECT_EQ(TFileMixWriter::NameProblem(name), "") << name;
  for (const std::string& name : {std::string(), std::string(257, 'n'), std::string("a/b"), std::string("a\\b"),
                                  std::string("c:x"), std::string(".."), std::string("."), std::string("a?b"),
                                  std::string("a\x01"), std::string("dot."), std::string("space "), std::string("con"),
                                  std::string("Con.txt"), std::string("LPT1"), std::string("com9.log")})
    EXPECT_NE(TFileMixWriter::NameProblem(name), "") << name;
}

TEST(FileMixWriter, RefusesDuplicatesAndTooManyEntries) {
  TFileMixWriter writer;
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
  TFileMixWriter writer;
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
  TFileMixWriter writer;
  writer.AddFile("in", dir.File("in"), kStored);
  WriteFile(dir.File("in"), "01234");
  {
    TOutputFile out(dir.File("p.pack"));
    EXPECT_NE(Refusal([&] { writer.WriteTo(out); }).find(dir.File("in")), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("p.pack")));
}
