// The pack reader and its look-up, the shared scrambling and the reserved
// copy, with packs built byte by byte and by the pack writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "fmix/host/code_page.h"
#include "fmix/host/output_file.h"
#include "os/os.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "tests/pack_fixtures.h"
#include "tests/test_files.h"
#include "unit_pack_files/entry_lookup.h"
#include "unit_pack_files/file_mix_reader.h"
#include "unit_pack_files/file_mix_writer.h"
#include "unit_pack_files/reserved_copy.h"
#include "unit_pack_files/scramble.h"
#include "velm_stream/tv_file_stream.h"
#include "velm_stream/tv_memory_stream.h"

using pack_fixtures::Pack;
using pack_fixtures::Record;
using namespace testing_files;

namespace {

const char kDelimiter = static_cast<char>(os::kPathDelimiter);

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) hex += {kDigits[c >> 4], kDigits[c & 15]};
  return hex;
}

std::string Content(const TVMemoryStream& s) { return std::string(s.Memory(), static_cast<std::size_t>(s.Size())); }

// The reader on a pack written into dir under a new name (a reader keeps
// its file open with no sharing).
std::unique_ptr<TFileMixReader> Open(const ScratchDir& dir, const std::string& pack) {
  static int count = 0;
  const std::string name = dir.File("p" + std::to_string(++count) + ".pack");
  WriteFile(name, pack);
  return std::make_unique<TFileMixReader>(name);
}

std::string Text(TFileMixReader& reader, const std::string& name, bool refuseMode2 = TFileMixReader::kDecodeMode2) {
  std::string text = "(untouched)";
  reader.ExtractToString(name, text, refuseMode2);
  return text;
}

// An entry's bytes, descrambled, looked up by name; "(none)" when that fails.
std::string ByName(TFileMixReader& reader, const std::string& name) {
  std::unique_ptr<TVMemoryStream> stream;
  return reader.ExtractByName(name, stream, TFileMixReader::kDecodeMode2) ? Content(*stream) : "(none)";
}

template <class F>
std::u16string InOutMessage(F f) {
  return testing_files::MessageOf<EInOutError>(f);
}

std::u16string FormatMessage(const std::string& fileName) {
  return u"\"" + rtl::ToWide(fileName) + u"\"は、TFileMixHeaderでは形式が違うため読めません。";
}

std::u16string CreateMessage(const std::string& fileName) {
  return u"ファイル『" + rtl::ToWide(fileName) + u"』の生成エラー";
}

}  // namespace

// The first bytes of each key stream: scrambling zeros yields the stream.
// The same vectors hold in both builds, so packs travel between them.
TEST(Scramble, KnownKeyStreams) {
  const std::string mode1 = "715531236c507e715531236c507e715531236c507e715531";
  const std::string mode2 = "30cf342dab419f51b4cef42b7d4d2617c7041360d4082cc7";
  std::string zeros(24, '\0');
  ScrambleBytes(&zeros[0], zeros.size(), kMode1);
  EXPECT_EQ(Hex(zeros), mode1);
  // Read back through the reader: two mode-2 entries each start the generator
  // afresh, and the stream runs on across CopyFrom's chunks.
  ScratchDir dir;
  const std::string big(200000, '\0');
  auto reader = Open(dir, Pack({{"a", big, kMode2}, {"b", big, kMode2}, {"c", std::string(24, '\0'), kMode1}}));
  const std::string a = ByName(*reader, "a"), b = ByName(*reader, "b");
  EXPECT_EQ(Hex(a.substr(0, 24)), mode2);
  EXPECT_EQ(Hex(a.substr(61439, 4)), "d9c0a542");
  EXPECT_EQ(Hex(a.substr(199990)), "7a665d3574b4b13a6c46");
  EXPECT_EQ(a, b);
  EXPECT_EQ(Hex(Text(*reader, "c")), mode1);
}

// ExtractAll descrambles each entry chunk by chunk: entries of every length
// come out as one pass over the whole entry gives them (the key streams run on
// across chunks), and so does the key stream applied in pieces of any size.
class ChunkedDescrambling : public testing::TestWithParam<ScrambleMode> {};

TEST_P(ChunkedDescrambling, GivesTheBytesOfOnePass) {
  const std::size_t chunk = TVStream::kCopyChunk;
  std::vector<Record> records;
  std::vector<std::string> plain;
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{23}, std::size_t{4097}, chunk - 1, chunk,
                           chunk + 1, 2 * chunk + 21}) {
    plain.push_back(Bytes(size, static_cast<unsigned>(size)));
    std::string stored = plain.back();
    ScrambleBytes(&stored[0], stored.size(), GetParam());
    records.push_back({"e" + std::to_string(size), stored, static_cast<std::uint8_t>(GetParam())});
  }
  ScratchDir dir;
  const std::string out = dir.File("out") + kDelimiter;
  Open(dir, Pack(records))->ExtractAll(out);
  for (std::size_t i = 0; i < records.size(); ++i)
    EXPECT_EQ(ReadFile(out + records[i].name), plain[i]) << records[i].name;

  std::string whole = Bytes(5000, 2), pieces = whole;
  ScrambleBytes(&whole[0], whole.size(), GetParam());
  TScrambler scrambler(GetParam());
  for (std::size_t at = 0, n = 0; at < pieces.size(); at += n, ++n)
    scrambler.Apply(&pieces[at], std::min(n, pieces.size() - at));
  EXPECT_EQ(pieces, whole);
}

INSTANTIATE_TEST_SUITE_P(EveryMode, ChunkedDescrambling, testing::Values(kStored, kMode1, kMode2));

// Every size around CopyFrom's chunk, in every mode, written by the writer
// and read back byte for byte, by name and by ExtractAll.
TEST(FileMixWriter, RoundTripsThroughTheReader) {
  ScratchDir dir;
  const TCodePage western;
  TFileMixWriter writer(western);
  std::vector<std::pair<std::string, std::string>> plain;
  unsigned seed = 1;
  for (std::size_t size : {0, 1, 61439, 61440, 61441, 3 * 1024 * 1024 + 7})
    for (ScrambleMode mode : {kStored, kMode1, kMode2}) {
      plain.emplace_back("E" + std::to_string(size) + "_" + std::to_string(mode), Bytes(size, seed++));
      writer.AddBytes(plain.back().first, plain.back().second, mode);
    }
  {
    TOutputFile out(dir.File("p.pack"));
    writer.WriteTo(out);
    out.Commit();
  }
  const std::string pack = ReadFile(dir.File("p.pack"));
  ASSERT_EQ(pack.size(), writer.PackSize());
  TFileMixReader reader(dir.File("p.pack"));
  EXPECT_EQ(pack[4], 1);
  EXPECT_EQ(reader.Directory().Count, static_cast<std::int32_t>(plain.size()));
  std::uint32_t expectedOffset = 11 + 265 * static_cast<std::uint32_t>(plain.size());
  reader.ExtractAll(dir.File("out") + kDelimiter);
  for (std::size_t i = 0; i < plain.size(); ++i) {
    const TFileMixEntry* entry = reader.Entry(static_cast<std::int32_t>(i));
    SCOPED_TRACE(plain[i].first);
    EXPECT_EQ(entry->DataOffset, expectedOffset);
    expectedOffset += entry->DataSize;
    const std::string stored = pack.substr(entry->DataOffset, entry->DataSize);
    EXPECT_EQ(stored == plain[i].second, entry->Scramble == kStored || stored.empty());
    EXPECT_EQ(ByName(reader, plain[i].first), plain[i].second);
    EXPECT_EQ(ReadFile(dir.File("out") + kDelimiter + plain[i].first), plain[i].second);
  }
  EXPECT_EQ(expectedOffset, pack.size());
  std::uint32_t totalSize = 0;
  std::memcpy(&totalSize, pack.data() + 7, 4);
  EXPECT_EQ(totalSize, pack.size());
}

TEST(FileMixReader, LookupFoldsOnlyAsciiLettersAndTakesTheFirstMatch) {
  ScratchDir dir;
  const std::string upper = rtl::ToAnsi(u"ÄRGER.TXT"), lower = rtl::ToAnsi(u"ärger.txt");
  const std::string longName(256, 'n');
  auto reader = Open(dir, Pack({{"CONFIG.TXT", "first"}, {upper, "umlaut"}, {"config.txt", "second"}}));
  EXPECT_EQ(Text(*reader, "config.txt"), "first");
  EXPECT_EQ(Text(*reader, "Config.Txt"), "first");
  EXPECT_EQ(Text(*reader, rtl::ToAnsi(u"Ärger.txt")), "umlaut");
  EXPECT_EQ(Text(*reader, lower), "(untouched)");
  std::unique_ptr<TVMemoryStream> stream;
  EXPECT_FALSE(reader->ExtractByName("missing", stream, TFileMixReader::kDecodeMode2));
  EXPECT_EQ(stream, nullptr);
  // ExtractAll writes both records of one name, the later one last.
  // A name of all 256 bytes, with no NUL after it.
  auto longer = Open(dir, Pack({{longName, "long"}}));
  EXPECT_EQ(Text(*longer, longName), "long");
  EXPECT_EQ(Text(*longer, longName.substr(1)), "(untouched)");
  auto twice = Open(dir, Pack({{"same", "one"}, {"same", "two"}}));
  twice->ExtractAll(dir.File("twice") + kDelimiter);
  EXPECT_EQ(ReadFile(dir.File("twice") + kDelimiter + "same"), "two");
  EXPECT_EQ(Text(*twice, "SAME"), "one");
}

// The look-up that verify shares with the reader also takes the last record
// of a name, the one whose data ExtractAll leaves.
TEST(EntryLookup, TakesTheFirstOrTheLastRecordOfAName) {
  const std::vector<std::u16string> names = {u"config.txt", u"ÄRGER", u"CONFIG.TXT", u"ärger"};
  const auto nameOf = [&](std::int32_t i) { return names[static_cast<std::size_t>(i)]; };
  EXPECT_EQ(FindEntryIndex(4, u"Config.Txt", Match::kFirst, nameOf), 0);
  EXPECT_EQ(FindEntryIndex(4, u"Config.Txt", Match::kLast, nameOf), 2);
  EXPECT_EQ(FindEntryIndex(4, u"äRGER", Match::kFirst, nameOf), 3);
  EXPECT_EQ(FindEntryIndex(4, u"ARGER", Match::kLast, nameOf), -1);
}

TEST(FileMixReader, EdgeRecords) {
  ScratchDir dir;
  auto none = Open(dir, Pack({}));
  none->ExtractAll(dir.File("a") + kDelimiter + "b" + kDelimiter);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("a") + kDelimiter + "b"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("a") + kDelimiter + "b"));
  EXPECT_EQ(Text(*none, "config.txt"), "(untouched)");

  std::string pack = Pack({{"empty", "", kMode2}, {"three", "raw", 3}, {"two", "xyz", kMode2},
                           {"one", "xyz", kMode1}});
  pack[4] = 7;                      // Version
  pack[7] = pack[8] = pack[9] = 0;  // TotalSize
  auto reader = Open(dir, pack);
  EXPECT_EQ(Text(*reader, "empty"), "");
  EXPECT_EQ(Text(*reader, "three"), "raw");
  std::unique_ptr<TVMemoryStream> stream;
  EXPECT_FALSE(reader->ExtractByName("two", stream, TFileMixReader::kRefuseMode2));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(Content(*stream), "xyz");  // copied, still scrambled
  EXPECT_EQ(Text(*reader, "two", TFileMixReader::kRefuseMode2), "(untouched)");
  std::string one = "xyz";
  ScrambleBytes(&one[0], one.size(), kMode1);
  EXPECT_EQ(Text(*reader, "one", TFileMixReader::kRefuseMode2), one);
  reader->ExtractAll(dir.File("out") + kDelimiter);
  EXPECT_EQ(ReadFile(dir.File("out") + kDelimiter + "empty"), "");

  // A text larger than any path is refused before it is read.
  const std::size_t most = TFileMixReader::kMaxTextSize;
  auto texts = Open(dir, Pack({{"most", std::string(most, 'm')}, {"more", std::string(most + 1, 'x')}}));
  EXPECT_EQ(Text(*texts, "most").size(), most);
  EXPECT_EQ(Text(*texts, "more"), "(untouched)");
}

// An entry whose data runs past the end of the file: ExtractAll stops with the
// read error before writing it, so no cut-off file passes for a whole one;
// ExtractToStream keeps the whole chunks copied before the short read.
TEST(FileMixReader, DataPastTheEndOfTheFile) {
  ScratchDir dir;
  const std::string tail = Bytes(61440 + 50, 3);
  std::string pack = Pack({{"first", "first"}, {"long", tail, kMode1}, {"next", "next"}});
  const std::uint32_t longOffset = static_cast<std::uint32_t>(pack.size() - tail.size() - 4);
  pack_fixtures::SetRecordField(pack, 1, pack_fixtures::kDataSize, 2 * 61440 + 100);
  auto reader = Open(dir, pack);
  const std::string out = dir.File("out") + kDelimiter;
  EXPECT_EQ(InOutMessage([&] { reader->ExtractAll(out); }), u"ストリームの読み込みエラー");
  EXPECT_EQ(ReadFile(out + "first"), "first");
  EXPECT_FALSE(rtl::FileExists(rtl::ToWide(out + "long")));
  EXPECT_FALSE(rtl::FileExists(rtl::ToWide(out + "next")));
  EXPECT_EQ(ByName(*reader, "long"), "(none)");
  TVMemoryStream stream;
  reader->ExtractToStream(reader->Entry(1), stream);
  EXPECT_EQ(Content(stream), pack.substr(longOffset, 61440));
}

// DataOffset is unsigned: an offset past 2 GiB reaches data there (a sparse
// file), rather than a negative position.
TEST(FileMixReader, OffsetsBeyondTwoGigabytesAreUnsigned) {
  ScratchDir dir;
  std::string pack = Pack({{"far", "near"}});  // the bytes a failed seek would read
  pack_fixtures::SetRecordField(pack, 0, pack_fixtures::kDataOffset, 0x80000010u);
  WriteFile(dir.File("p.pack"), pack);
  {
    TVFileStream file(dir.File("p.pack"), 2);
    file.SetPosition(0x80000010LL);
    file.WriteBuffer("FAR!", 4);
  }
  TFileMixReader reader(dir.File("p.pack"));
  EXPECT_EQ(Text(reader, "far"), "FAR!");
}

TEST(FileMixReader, RefusesWhatIsNoCompletePack) {
  ScratchDir dir;
  const std::string name = dir.File("p.pack");
  const std::string valid = Pack({{"a", "data"}, {"b", "more"}});
  for (const std::string& bytes : {std::string(), "fmix" + valid.substr(4), valid.substr(0, 3),
                                   valid.substr(0, 10), valid.substr(0, 11 + 265 + 100)}) {
    WriteFile(name, bytes);
    EXPECT_EQ(InOutMessage([&] { TFileMixReader reader(name); }), FormatMessage(name)) << bytes.size();
  }
  EXPECT_EQ(InOutMessage([&] { TFileMixReader reader(dir.File("missing")); }),
            CreateMessage(dir.File("missing")));
  WriteFile(name, valid.substr(0, 11 + 2 * 265));  // records complete, data missing
  EXPECT_NO_THROW(TFileMixReader reader(name));
}

// A pack in a stream reads as one in a file, from the stream's start
// wherever it stands; the name given stands in the format error.
TEST(FileMixReader, ReadsAPackFromAStream) {
  const auto stream = [](const std::string& bytes) {
    auto memory = std::make_unique<TVMemoryStream>();
    memory->WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    return memory;
  };
  const std::string valid = Pack({{"a", "data"}, {"b", "more"}});
  TFileMixReader reader(stream(valid), "copy");
  EXPECT_EQ(Text(reader, "B"), "more");
  EXPECT_EQ(InOutMessage([&] { TFileMixReader cut(stream(valid.substr(0, 11 + 265)), "copy"); }),
            FormatMessage("copy"));
}

// ExtractAll refuses, before opening it, a file that a name would put
// outside the folder; what came before stays written.
TEST(FileMixReader, ExtractAllRefusesUnsafeNames) {
  for (const std::string name : {"/abs.txt", "\\abs.txt", "C:x.txt", "..", "../up.txt", "..\\up.txt",
                                 "a/../../up.txt", "a\\..\\..\\up.txt", "sub/..", ".", "...", "a/.../b"}) {
    SCOPED_TRACE(name);
    ScratchDir dir;
    auto reader = Open(dir, Pack({{"ok.txt", "ok"}, {name, "evil"}, {"late.txt", "late"}}));
    const std::string folder = dir.File("out") + kDelimiter;
    EXPECT_EQ(InOutMessage([&] { reader->ExtractAll(folder); }), CreateMessage(folder + name));
    EXPECT_EQ(ReadFile(folder + "ok.txt"), "ok");
    std::size_t files = 0;
    for (const auto& item : std::filesystem::recursive_directory_iterator(dir.Path()))
      files += item.is_regular_file();
    EXPECT_EQ(files, 2u);  // the pack and ok.txt
  }
}

// A name with a folder part is written into that subfolder only if it exists.
TEST(FileMixReader, ExtractAllNeedsTheSubfolder) {
  ScratchDir dir;
  const std::string name = std::string("sub") + kDelimiter + "a.txt";
  auto reader = Open(dir, Pack({{name, "in sub"}}));
  const std::string folder = dir.File("out") + kDelimiter;
  EXPECT_EQ(InOutMessage([&] { reader->ExtractAll(folder); }), CreateMessage(folder + name));
  std::filesystem::create_directories(folder + "sub");
  reader->ExtractAll(folder);
  EXPECT_EQ(ReadFile(folder + name), "in sub");
}

// The reservation changes nothing that a plain CopyFrom shows: content, Size,
// Position, Capacity, and the error when the source falls short.
TEST(ReservedCopy, MatchesAPlainCopy) {
  const std::string source = Bytes(200000, 9);
  struct Case { std::size_t prefill; std::int32_t position; std::int64_t sourceStart, count; };
  const Case cases[] = {{0, 0, 0, 1},         {0, 0, 0, 61440},         {0, 0, 0, 61441},
                        {0, 0, 0, 200000},    {10000, 5000, 7, 150000}, {10000, 10000, 0, 70000},
                        {0, 100, 0, 8000},    {70000, 0, 0, 4000},      {0, 0, 100000, 200000},
                        {0, 0, 199950, 100},  {20000, 3, 1000, 199001}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.prefill << "/" << c.position << "/" << c.sourceStart << "/" << c.count);
    TVMemoryStream results[2];
    bool raised[2] = {false, false};
    for (int reserved = 0; reserved < 2; ++reserved) {
      TVMemoryStream from;
      from.WriteBuffer(source.data(), static_cast<std::int32_t>(source.size()));
      from.SetPosition(c.sourceStart);
      TVMemoryStream& to = results[reserved];
      const std::string fill = Bytes(c.prefill, 4);
      to.WriteBuffer(fill.data(), static_cast<std::int32_t>(fill.size()));
      to.SetPosition(c.position);
      try {
        if (reserved)
          ReservedCopy(to, from, c.count);
        else
          to.CopyFrom(from, c.count);
      } catch (const EInOutError&) {
        raised[reserved] = true;
      }
    }
    EXPECT_EQ(raised[0], raised[1]);
    EXPECT_EQ(results[0].Size(), results[1].Size());
    EXPECT_EQ(results[0].Position(), results[1].Position());
    EXPECT_EQ(results[0].Capacity(), results[1].Capacity());
    // A write past the end leaves the bytes between the old end and the
    // position unwritten: neither copy defines them.
    const std::size_t gapStart = std::min<std::size_t>(c.prefill, static_cast<std::size_t>(c.position));
    const std::size_t gapEnd = std::max<std::size_t>(c.prefill, static_cast<std::size_t>(c.position));
    const std::string plain = Content(results[0]), reserved = Content(results[1]);
    EXPECT_EQ(plain.substr(0, gapStart), reserved.substr(0, gapStart));
    EXPECT_EQ(plain.substr(std::min(gapEnd, plain.size())), reserved.substr(std::min(gapEnd, reserved.size())));
  }
}

// A copy whose block cannot be had (here: beyond what 32-bit positions reach)
// leaves the failure to the copy itself, after its first chunk was read.
TEST(ReservedCopy, GrowsWhenThereIsNoRoom) {
  const std::string source = Bytes(8192, 3);
  TVMemoryStream from;
  from.WriteBuffer(source.data(), static_cast<std::int32_t>(source.size()));
  from.SetPosition(0);
  TVMemoryStream to;
  to.SetPosition(0x7FFFF000);
  EXPECT_THROW(ReservedCopy(to, from, 8192), EOutOfMemory);
  EXPECT_EQ(from.Position(), 8192);
  EXPECT_EQ(to.Size(), 0);
  EXPECT_EQ(to.Capacity(), 0);
}
