#include <gtest/gtest.h>

#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "rtl/exception.h"
#include "rtl/text.h"
#include "tests/test_files.h"
#include "velm_stream/tv_file_stream.h"
#include "velm_stream/tv_memory_stream.h"

using namespace testing_files;

namespace {

// A memory stream that records the count of every Read and Write call.
class RecordingStream : public TVMemoryStream {
 public:
  std::int32_t Read(void* buffer, std::int32_t count) override {
    reads.push_back(count);
    return TVMemoryStream::Read(buffer, count);
  }
  std::int32_t Write(const void* buffer, std::int32_t count) override {
    writes.push_back(count);
    return TVMemoryStream::Write(buffer, count);
  }
  std::vector<std::int32_t> reads, writes;
};

std::string Content(const TVMemoryStream& s) { return std::string(s.Memory(), static_cast<std::size_t>(s.Size())); }

void Fill(TVMemoryStream& s, const std::string& bytes) {
  s.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

}  // namespace

TEST(MemoryStream, ReadsAndWritesExactly) {
  TVMemoryStream s;
  EXPECT_EQ(s.Memory(), nullptr);
  Fill(s, "hello world");
  EXPECT_EQ(s.Size(), 11);
  EXPECT_EQ(s.Position(), 11);
  EXPECT_EQ(s.Capacity(), 8192);
  s.Seek(6, 0);
  char buf[16] = {};
  EXPECT_EQ(s.Read(buf, 100), 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(s.Read(buf, 1), 0);  // at the end
  s.Seek(0, 0);
  EXPECT_EQ(s.Write("J", 1), 1);
  EXPECT_EQ(Content(s), "Jello world");
  EXPECT_EQ(s.Size(), 11);
}

TEST(MemoryStream, NegativePositionAndCountsDoNothing) {
  TVMemoryStream s;
  Fill(s, "abc");
  s.Seek(-5, 0);
  char c = 'x';
  EXPECT_EQ(s.Read(&c, 1), 0);
  EXPECT_EQ(s.Write(&c, 1), 0);
  EXPECT_EQ(s.Position(), -5);
  EXPECT_EQ(Content(s), "abc");
  s.Seek(0, 0);
  EXPECT_EQ(s.Read(&c, -1), 0);
  EXPECT_EQ(s.Write(&c, -1), 0);
  EXPECT_EQ(s.Position(), 0);
}

TEST(MemoryStream, WritingPastTheEndGrowsSizeAndRoundsCapacity) {
  TVMemoryStream a;
  a.Seek(100, 0);
  EXPECT_EQ(a.Write("z", 1), 1);
  EXPECT_EQ(a.Size(), 101);
  EXPECT_EQ(a.Capacity(), 8192);
  EXPECT_EQ(a.Memory()[100], 'z');

  TVMemoryStream b;  // a zero-byte write still moves the end
  b.Seek(10, 0);
  EXPECT_EQ(b.Write("", 0), 0);
  EXPECT_EQ(b.Size(), 10);
  EXPECT_EQ(b.Position(), 10);
}

TEST(MemoryStream, SeekCutsTo32BitsAndSignExtends) {
  TVMemoryStream s;
  Fill(s, "0123456789");
  EXPECT_EQ(s.Seek(0x100000003LL, 0), 3);
  EXPECT_EQ(s.Seek(-4, 1), -1);
  EXPECT_EQ(s.Seek(5, 2), 15);  // no clamping
  EXPECT_EQ(s.Seek(0, 7), 15);  // unknown origin
  s.Seek(0x7FFFFFFF, 0);
  EXPECT_EQ(s.Seek(1, 1), -2147483648LL);  // wraps, sign-extended
}

TEST(MemoryStream, SetSizeRules) {
  TVMemoryStream s;
  Fill(s, std::string(10000, 'a'));
  EXPECT_EQ(s.Capacity(), 16384);
  s.SetSize(10000);  // equal to the size: taken exactly, the block trims
  EXPECT_EQ(s.Capacity(), 10000);
  EXPECT_EQ(s.Position(), 10000);
  s.Seek(500, 0);
  s.SetSize(20000);
  EXPECT_EQ(s.Capacity(), 24576);
  EXPECT_EQ(s.Position(), 500);  // above the position: left alone
  s.SetSize(100);
  EXPECT_EQ(s.Position(), 100);  // below it: moved to the new end
  EXPECT_EQ(Content(s), std::string(100, 'a'));
  s.SetSize(0);
  EXPECT_EQ(s.Memory(), nullptr);
  EXPECT_EQ(s.Capacity(), 0);
}

TEST(MemoryStream, ClearReleasesEverything) {
  TVMemoryStream s;
  Fill(s, "abc");
  s.Clear();
  EXPECT_EQ(s.Memory(), nullptr);
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(s.Capacity(), 0);
}

TEST(MemoryStream, SizesBeyond32BitsRaiseAndChangeNothing) {
  TVMemoryStream s;
  Fill(s, "abc");
  const std::u16string oom = u"メモリの再確保に失敗";
  EXPECT_EQ(MessageOf<EOutOfMemory>([&] { s.SetSize(0x80000000LL); }), oom);
  EXPECT_EQ(MessageOf<EOutOfMemory>([&] { s.SetSize(-1); }), oom);
  EXPECT_EQ(MessageOf<EOutOfMemory>([&] { s.SetCapacity(0x7FFFF000); }), oom);  // rounding overflows
  s.Seek(0x7FFFFFF0, 0);
  char buf[32] = {};
  EXPECT_EQ(MessageOf<EOutOfMemory>([&] { s.Write(buf, 32); }), oom);
  EXPECT_EQ(MessageOf<EOutOfMemory>([&] { s.Reserve(32); }), oom);
  EXPECT_EQ(Content(s), "abc");
  EXPECT_EQ(s.Capacity(), 8192);
  EXPECT_EQ(s.Position(), 0x7FFFFFF0);
}

TEST(StreamBase, ExactReadAndWriteRaiseOnShortfall) {
  RecordingStream s;
  s.ReadBuffer(nullptr, 0);
  s.WriteBuffer(nullptr, 0);
  EXPECT_TRUE(s.reads.empty());
  EXPECT_TRUE(s.writes.empty());
  Fill(s, "abc");
  s.Seek(1, 0);
  char buf[8];
  EXPECT_EQ(MessageOf<EInOutError>([&] { s.ReadBuffer(buf, 5); }), u"ストリームの読み込みエラー");
  EXPECT_EQ(s.Position(), 3);  // the bytes read stay read
  EXPECT_EQ(std::string(buf, 2), "bc");
  s.Seek(-1, 0);
  EXPECT_EQ(MessageOf<EInOutError>([&] { s.WriteBuffer(buf, 1); }), u"ストリームの書き込みエラー");
}

TEST(StreamBase, GetSizeKeepsThePosition) {
  TVMemoryStream s;
  Fill(s, "abcdef");
  s.Seek(2, 0);
  EXPECT_EQ(s.GetSize(), 6);
  EXPECT_EQ(s.Position(), 2);
}

TEST(CopyFrom, ChunksAt61440) {
  for (std::int32_t count : {61439, 61440, 61441, 3 * 61440 + 7}) {
    SCOPED_TRACE(count);
    TVMemoryStream src;
    std::string data = Bytes(static_cast<std::size_t>(count));
    Fill(src, data);
    src.Seek(0, 0);
    RecordingStream dst;
    EXPECT_EQ(dst.CopyFrom(src, count), count);
    std::vector<std::int32_t> expected;
    for (std::int32_t left = count; left > 0; left -= 61440) expected.push_back(left < 61440 ? left : 61440);
    EXPECT_EQ(dst.writes, expected);
    EXPECT_EQ(Content(dst), data);
    EXPECT_EQ(src.Position(), count);
  }
}

TEST(CopyFrom, GrowsTheBlockIn8192Steps) {
  TVMemoryStream src;
  Fill(src, Bytes(200000));
  RecordingStream dst;
  std::vector<std::int32_t> capacities;
  src.Seek(0, 0);
  for (int i = 0; i < 3; ++i) {
    dst.CopyFrom(src, 61440);
    capacities.push_back(dst.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<std::int32_t>{65536, 122880, 188416}));
}

TEST(CopyFrom, CountZeroCopiesTheWholeSourceFromItsStart) {
  TVMemoryStream src;
  Fill(src, "0123456789");
  src.Seek(4, 0);
  TVMemoryStream dst;
  EXPECT_EQ(dst.CopyFrom(src, 0), 10);
  EXPECT_EQ(Content(dst), "0123456789");
  EXPECT_EQ(src.Position(), 10);

  TVMemoryStream empty;
  RecordingStream dst2;
  EXPECT_EQ(dst2.CopyFrom(empty, 0), 0);
  EXPECT_TRUE(dst2.writes.empty());
}

TEST(CopyFrom, ShortSourceKeepsTheWholeChunksCopiedBefore) {
  TVMemoryStream src;
  Fill(src, Bytes(100000));
  src.Seek(0, 0);
  TVMemoryStream dst;
  EXPECT_EQ(MessageOf<EInOutError>([&] { dst.CopyFrom(src, 200000); }), u"ストリームの読み込みエラー");
  EXPECT_EQ(dst.Size(), 61440);
  TVMemoryStream small;
  Fill(small, "abc");
  small.Seek(0, 0);
  TVMemoryStream dst2;
  EXPECT_THROW(dst2.CopyFrom(small, 4), EInOutError);
  EXPECT_EQ(dst2.Size(), 0);
}

TEST(CopyFrom, NegativeCountRaisesBeforeCopying) {
  TVMemoryStream src;
  Fill(src, "abc");
  src.Seek(1, 0);
  RecordingStream dst;
  EXPECT_EQ(MessageOf<EInOutError>([&] { dst.CopyFrom(src, -1); }), u"ストリームの読み込みエラー");
  EXPECT_TRUE(dst.writes.empty());
  EXPECT_EQ(src.Position(), 1);
}

TEST(FileStream, CreateWriteReopenAndRead) {
  ScratchDir dir;
  const std::string name = dir.File("a.bin");
  {
    TVFileStream f(name, TVFileStream::kCreate);
    f.WriteBuffer("hello", 5);
    EXPECT_EQ(f.GetSize(), 5);
    EXPECT_EQ(f.Seek(0, 1), 5);
  }
  TVFileStream f(name, 0);
  char buf[8] = {};
  EXPECT_EQ(f.Read(buf, 8), 5);
  EXPECT_EQ(f.Read(buf, 8), 0);
  EXPECT_EQ(f.Write("x", 1), 0);  // opened for reading only
  EXPECT_EQ(f.Seek(-1, 0), -1);
  EXPECT_EQ(f.Seek(0x100000000LL, 0), 0x100000000LL);  // 64-bit positions
}

// A new file is made only where nothing bears the name: an existing file
// stays as it is, and a link (dangling or not) is never followed.
TEST(FileStream, CreateNewTakesOnlyAFreeName) {
  ScratchDir dir;
  const std::string taken = dir.File("taken.bin");
  WriteFile(taken, "old");
  EXPECT_THROW(TVFileStream(taken, TVFileStream::kCreateNew), EInOutError);
  EXPECT_EQ(ReadFile(taken), "old");
#ifndef _WIN32
  ASSERT_EQ(::symlink(dir.File("target.bin").c_str(), dir.File("link.bin").c_str()), 0);
  EXPECT_THROW(TVFileStream(dir.File("link.bin"), TVFileStream::kCreateNew), EInOutError);
  EXPECT_FALSE(rtl::FileExists(rtl::ToWide(dir.File("target.bin"))));
#endif
  TVFileStream fresh(dir.File("fresh.bin"), TVFileStream::kCreateNew);
  fresh.WriteBuffer("new", 3);
  fresh.SetPosition(0);
  char buf[4] = {};
  EXPECT_EQ(fresh.Read(buf, 4), 3);
}

TEST(FileStream, SetSizeTruncatesAndMovesThePosition) {
  ScratchDir dir;
  TVFileStream f(dir.File("b.bin"), TVFileStream::kCreate);
  f.WriteBuffer("0123456789", 10);
  f.Seek(2, 0);
  f.SetSize(4);
  EXPECT_EQ(f.Seek(0, 1), 4);
  EXPECT_EQ(f.GetSize(), 4);
  EXPECT_EQ(f.Seek(0, 1), 4);
}

TEST(FileStream, InvalidModesAndMissingFilesFailWithTheName) {
  ScratchDir dir;
  const std::string name = dir.File("c.bin");
  WriteFile(name, "x");
  const std::u16string expected = u"ファイル『" + rtl::ToWide(name) + u"』の生成エラー";
  EXPECT_EQ(MessageOf<EInOutError>([&] { TVFileStream f(name, 3); }), expected);
  EXPECT_EQ(MessageOf<EInOutError>([&] { TVFileStream f(name, 0x50); }), expected);
  EXPECT_EQ(MessageOf<EInOutError>([&] { TVFileStream f(name, 0xF2); }), expected);
  const std::string missing = dir.File("missing.bin");
  EXPECT_EQ(MessageOf<EInOutError>([&] { TVFileStream f(missing, 0); }),
            u"ファイル『" + rtl::ToWide(missing) + u"』の生成エラー");
  EXPECT_NO_THROW(TVFileStream(name, 0x0C));  // bits 2-3 are ignored
}

TEST(SaveToFile, WritesTheWholeContentAndReplacesTheFile) {
  ScratchDir dir;
  const std::string name = dir.File("d.bin");
  WriteFile(name, "a much longer old content");
  TVMemoryStream s;
  Fill(s, "new");
  s.Seek(1, 0);
  s.SaveToFile(name);
  EXPECT_EQ(ReadFile(name), "new");
  EXPECT_EQ(s.Position(), 1);
  TVMemoryStream empty;
  empty.SaveToFile(name);
  EXPECT_EQ(ReadFile(name), "");
}

#ifdef _WIN32
// Sharing exists only on Windows.
TEST(FileStream, ModeTableDecidesSharing) {
  ScratchDir dir;
  const std::string name = dir.File("e.bin");
  WriteFile(name, "data");
  {
    TVFileStream holder(name, 0);  // read, no sharing
    EXPECT_THROW(TVFileStream(name, 0x20), EInOutError);
    EXPECT_THROW(TVFileStream(name, 0x40), EInOutError);
  }
  {
    TVFileStream holder(name, TVFileStream::kOpenShareRead);
    EXPECT_NO_THROW(TVFileStream(name, 0x20));
    EXPECT_THROW(TVFileStream(name, 0x22), EInOutError);  // a writer is refused
  }
  {
    TVFileStream holder(name, 0x42);  // read-write, sharing everything
    TVFileStream other(name, 0x41);
    EXPECT_EQ(other.Write("D", 1), 1);
  }
  {
    TVFileStream holder(name, 0x31);  // write, others may write only
    EXPECT_THROW(TVFileStream(name, 0x40), EInOutError);
    EXPECT_NO_THROW(TVFileStream(name, 0x41));
  }
  EXPECT_EQ(ReadFile(name), "Data");
  {
    TVFileStream holder(name, 0x10);  // 0x10 also shares nothing
    EXPECT_THROW(TVFileStream(name, 0x40), EInOutError);
  }
  TVMemoryStream s;
  Fill(s, "x");
  TVFileStream holder(name, 0x40);
  EXPECT_THROW(s.SaveToFile(name), EInOutError);  // creating needs exclusive access
}
#endif
