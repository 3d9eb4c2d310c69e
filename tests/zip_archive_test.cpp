// The ZIP writer of fmix against the plug-in's portable reader and extractor,
// and against the standard tools where the host has them.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fmix/report/cli_error.h"
#include "fmix/cli/commands.h"
#include "zip/archive_names.h"
#include "zip/unpackable_entries.h"
#include "rtl/name_case.h"
#include "plugin/command_line.h"
#include "rtl/entry_name.h"
#include "plugin/zip_extractor.h"
#include "zip/zip_memory_source.h"
#include "zip/zip_name_decoder.h"
#include "zip/zip_reader.h"
#include "zip/zip_writer.h"
#include "rtl/text.h"
#include "tests/test_files.h"

namespace fs = std::filesystem;
using namespace testing_files;

namespace {

// Names read as on Western Windows.
const TZipNameDecoder kNames(1252, 437);

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
  } catch (const ECliError& e) {
    return e.ExitCode();
  }
}

// Why the reader refuses to open file.
std::u16string OpenFailure(const std::string& file) {
  TZipReader reader;
  return reader.Open(file, kNames) ? u"(no error)" : reader.Failure();
}

bool Append(void* text, const char* data, std::size_t size) {
  static_cast<std::string*>(text)->append(data, size);
  return true;
}

std::u16string FromUtf8(const std::string& utf8) { return fs::u8path(utf8).u16string(); }

// Why TArchiveNames refuses entries of these names; empty when it does not.
std::u16string NamesProblem(const std::vector<std::u16string>& names) {
  std::vector<TZipEntry> entries(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) entries[i].name = names[i];
  return TArchiveNames(entries).Problem();
}

// Opens reader on a ZIP of source's files under these names, in this order.
void ZipAndOpen(const ScratchDir& scratch, const std::string& source, const std::vector<std::string>& names,
                TZipReader& reader) {
  std::string bytes;
  TZipWriter writer([&](const char* data, std::size_t size) { bytes.append(data, size); });
  for (const std::string& name : names) writer.AddFile(name, rtl::ToWide(source + name));
  writer.Finish();
  WriteFile(scratch.File("arc.yz1"), bytes);
  ASSERT_TRUE(reader.Open(scratch.File("arc.yz1"), kNames)) << rtl::ToAnsi(reader.Failure());
}

// The names in folder, sorted.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

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

  TZipReader reader;
  ASSERT_TRUE(reader.Open(archive, kNames)) << rtl::ToAnsi(reader.Failure());
  const auto& entries = reader.Entries();
  std::vector<std::u16string> names;
  for (const TZipEntry& entry : entries) names.push_back(entry.name);
  ASSERT_EQ(names, (std::vector<std::u16string>{u"a/b/x.txt", u"a/text.txt", u"e.txt", u"empty/",
                                                u"random.bin", FromUtf8(kUtf8Name)}));
  EXPECT_EQ(entries[1].method, 8) << "text deflates";
  EXPECT_EQ(entries[2].method, 0) << "an empty file is stored";
  EXPECT_EQ(entries[4].method, 0) << "random bytes are stored";
  for (std::size_t i = 0; i < entries.size(); ++i)
    EXPECT_EQ((entries[i].flags & 0x800) != 0, i == 5) << "UTF-8 flag only on non-ASCII names";

  const std::string target = scratch.File("dst") + static_cast<char>(fs::path::preferred_separator);
  TZipExtractor extractor(reader, rtl::ToWide(target));
  ASSERT_TRUE(extractor.ExtractAll()) << rtl::ToAnsi(extractor.Failure());
  EXPECT_EQ(extractor.Files(), 5);
  for (const char* name : {"a/b/x.txt", "a/text.txt", "e.txt", "random.bin"})
    EXPECT_EQ(ReadFile(target + name), ReadFile(source + name)) << name;
  std::ifstream utf8Named(fs::u8path(target + kUtf8Name), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(utf8Named), {}), "umlaut\n");
  EXPECT_TRUE(fs::is_directory(target + "empty"));
}

// A failure once writing began leaves nothing of the run, so that no part of
// the payload stays to be started: neither the files written before (in
// memory or through a temporary file) nor the folders made for them. What
// the folder held before stays.
TEST(ZipExtractor, AFailedRunRemovesWhatItWroteAndKeepsWhatWasThere) {
  ScratchDir scratch;
  const char delimiter = static_cast<char>(fs::path::preferred_separator);
  const std::string source = scratch.File("src/"), target = scratch.File("dst") + delimiter;
  fs::create_directories(source + "sub/deep");
  WriteFile(source + "a.txt", "a");
  WriteFile(source + "sub/big.bin", Bytes((1 << 20) + 1, 2));
  WriteFile(source + "sub/deep/b.txt", "b");
  WriteFile(source + "z.txt", "z");
  TZipReader reader;
  ZipAndOpen(scratch, source, {"a.txt", "sub/big.bin", "sub/deep/b.txt", "z.txt"}, reader);
  fs::create_directories(target + "z.txt");  // where the last file must go
  WriteFile(target + "CONFIG.TXT", "app\\setup.exe");
  TZipExtractor extractor(reader, rtl::ToWide(target));
  EXPECT_FALSE(extractor.ExtractAll());
  EXPECT_EQ(extractor.Failure(), u"cannot create z.txt");
  EXPECT_EQ(Listing(target), (std::vector<std::string>{"CONFIG.TXT", "z.txt"}));
  EXPECT_TRUE(fs::is_empty(target + "z.txt"));
}

// A large file is written under a name of its own making, never through an
// entry's: entries named as the temporary files were or are, written before
// it, keep their content, and a folder of such a name is no obstacle.
TEST(ZipExtractor, ALargeFilesTemporaryNameTakesNoEntrysPlace) {
  ScratchDir scratch;
  const char delimiter = static_cast<char>(fs::path::preferred_separator);
  const std::string source = scratch.File("src/"), target = scratch.File("dst") + delimiter;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"big.bin.yz1part", "beside"},     {"big.bin", Bytes((1 << 20) + 1, 3)},
      {"~0.yz1part", "before"},          {"~1.bin", Bytes((1 << 20) + 1, 4)},
      {"x.bin.yz1part/in.txt", "in"},    {"x.bin", Bytes((1 << 20) + 1, 5)}};
  fs::create_directories(source + "x.bin.yz1part");
  std::vector<std::string> names;
  for (const auto& file : files) {
    WriteFile(source + file.first, file.second);
    names.push_back(file.first);
  }
  TZipReader reader;
  ZipAndOpen(scratch, source, names, reader);
  TZipExtractor extractor(reader, rtl::ToWide(target));
  ASSERT_TRUE(extractor.ExtractAll()) << rtl::ToAnsi(extractor.Failure());
  for (const auto& file : files) EXPECT_EQ(ReadFile(target + file.first), file.second) << file.first;
  EXPECT_EQ(Listing(target), (std::vector<std::string>{"big.bin", "big.bin.yz1part", "x.bin", "x.bin.yz1part",
                                                       "~0.yz1part", "~1.bin"}));
}

TEST(ZipArchive, CommandRefusesBadArgumentsWithoutLeavingOutput) {
  ScratchDir scratch;
  const std::string archive = scratch.File("out.yz1");
  EXPECT_EQ(Zip({archive}), 2);
  EXPECT_EQ(Zip({archive, scratch.File("a"), scratch.File("b")}), 2);
  try {
    RunZip({archive, scratch.File("missing")});
    ADD_FAILURE() << "a missing folder was accepted";
  } catch (const ECliError& e) {
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

// An archive behind other bytes reads with its offsets shifted; records
// that share one entry's data and a local header whose name is not the
// central record's are refused on opening.
TEST(ZipArchive, ReaderShiftsPastBytesBeforeAndRefusesSharedOrRenamedEntries) {
  ScratchDir scratch;
  fs::create_directories(scratch.File("src"));
  WriteFile(scratch.File("src/a.txt"), "a");
  WriteFile(scratch.File("src/b.txt"), "bb");
  ASSERT_EQ(Zip({scratch.File("a.zip"), scratch.File("src")}), 0);
  const std::string plain = ReadFile(scratch.File("a.zip"));

  WriteFile(scratch.File("sfx.zip"), std::string(1000, 'x') + plain);
  TZipReader shifted;
  ASSERT_TRUE(shifted.Open(scratch.File("sfx.zip"), kNames));
  EXPECT_EQ(shifted.BytesBefore(), 1000);
  std::string data;
  EXPECT_TRUE(shifted.Extract(shifted.Entries()[1], Append, &data));
  EXPECT_EQ(data, "bb");

  const std::size_t central = plain.find("PK\x01\x02"), end = plain.size() - 22;
  std::string shared = plain.substr(0, central) + plain.substr(central, 51) + plain.substr(central);
  const auto put16 = [&](std::size_t at, unsigned v) {
    shared[at] = static_cast<char>(v);
    shared[at + 1] = static_cast<char>(v >> 8);
  };
  put16(end + 51 + 8, 3);
  put16(end + 51 + 10, 3);
  put16(end + 51 + 12, static_cast<unsigned>(end - central + 51));
  WriteFile(scratch.File("shared.zip"), shared);
  EXPECT_EQ(OpenFailure(scratch.File("shared.zip")), u"entries that overlap refused: a.txt and a.txt");

  std::string renamed = plain;
  renamed.replace(renamed.find("b.txt"), 5, "c.txt");
  WriteFile(scratch.File("renamed.zip"), renamed);
  EXPECT_EQ(OpenFailure(scratch.File("renamed.zip")), u"central and local names differ: b.txt");

  // The same archive in memory, and cut before its directory, named as given.
  const std::string sfx = std::string(1000, 'x') + plain;
  TZipMemorySource memory(sfx.data(), sfx.size(), u"ARC.YZ1");
  TZipReader inMemory;
  ASSERT_TRUE(inMemory.Open(memory, kNames)) << rtl::ToAnsi(inMemory.Failure());
  EXPECT_EQ(inMemory.BytesBefore(), 1000);
  data.clear();
  EXPECT_TRUE(inMemory.Extract(inMemory.Entries()[1], Append, &data));
  EXPECT_EQ(data, "bb");
  TZipMemorySource cut(plain.data(), central, u"ARC.YZ1");
  TZipReader refused;
  EXPECT_FALSE(refused.Open(cut, kNames));
  EXPECT_EQ(refused.Failure(), u"archive truncated: ARC.YZ1");
}

// The name rule: flag, Unicode Path field, flagless UTF-8, then the OEM
// code page for names made on MS-DOS or Windows and the ANSI one otherwise.
TEST(ZipNameDecoder, FollowsFlagFieldUtf8ThenLegacyCodePage) {
  const std::string utf8 = "\xC3\x9C" "ber.txt", oem = "\x9A" "ber.txt";  // Über.txt; 0x9A is Ü in 437
  const auto decode = [](const TZipNameDecoder& rule, const std::string& raw, std::uint16_t flags,
                         std::uint16_t madeBy, const std::string& extra = {}) {
    std::u16string name;
    return rule.Decode(raw, flags, madeBy, extra, name) ? name : u"(no text)";
  };
  EXPECT_EQ(decode(kNames, utf8, 0x800, 0x0314), u"\u00DCber.txt");
  EXPECT_EQ(decode(kNames, utf8, 0, 0x0314), u"\u00DCber.txt") << "flagless UTF-8";
  EXPECT_EQ(decode(kNames, oem, 0, 0x0014), u"\u00DCber.txt") << "MS-DOS host: OEM";
  EXPECT_EQ(decode(kNames, oem, 0, 0x0314), u"\u0161ber.txt") << "Unix host: ANSI";
  const auto crc = crc32(0, reinterpret_cast<const Bytef*>(oem.data()), static_cast<uInt>(oem.size()));
  std::string field = std::string("\x75\x70", 2) + static_cast<char>(5 + utf8.size()) + '\0' + '\x01';
  for (int i = 0; i < 4; ++i) field += static_cast<char>(crc >> (8 * i));
  EXPECT_EQ(decode(kNames, oem, 0, 0x0314, std::string("\x0A\0\0\0", 4) + field + utf8), u"\u00DCber.txt");
  EXPECT_EQ(decode(kNames, "\x9A" "ber.bin", 0, 0x0314, field + utf8), u"\u0161ber.bin") << "CRC of another name";

  const std::string sjis = "\x83\x5C\x83\x74\x83\x67.txt";  // ソフト.txt, a trail byte 0x5C
  EXPECT_EQ(decode(TZipNameDecoder(932, 932), sjis, 0, 0x0014), u"\u30BD\u30D5\u30C8.txt");
  EXPECT_EQ(decode(TZipNameDecoder(932, 437), sjis, 0, 0x0014), u"\u30BD\u30D5\u30C8.txt")
      << "a US OEM code page under a Japanese ANSI one fails the known-answer test";
}

TEST(ArchiveNames, RefusesNamesWindowsCannotCreateOrWouldMerge) {
  const auto problem = NamesProblem;
  EXPECT_EQ(problem({u"./", u"./a/./b.txt", u"a/B.txt/c"}), u"name of both a file and a folder refused: ./a/./b.txt");
  EXPECT_EQ(problem({u"b", u"a", u"B/x", u"a/"}), u"name of both a file and a folder refused: b") << "the first such file";
  EXPECT_EQ(problem({u"Readme.txt", u"README.TXT"}), u"names that would be one file refused: Readme.txt and README.TXT");
  EXPECT_EQ(problem({u"\u00FCber", u"\u00DCBER"}), u"names that would be one file refused: \u00FCber and \u00DCBER");
  EXPECT_EQ(problem({u"\u0561/a", u"\u0531/A"}), u"names that would be one file refused: \u0561/a and \u0531/A");
  for (const char16_t* name : {u"a?.txt", u"dir./x", u"x ", u"con.txt", u"a/LPT1"})
    EXPECT_EQ(problem({name}).rfind(u"name that Windows cannot create refused: " + std::u16string(name) + u"; it ", 0),
              0u);
  EXPECT_EQ(problem({u"tab\there"}),
            u"name that Windows cannot create refused: tab\\x09here; it holds a control character or one of <>\"|?*");
  EXPECT_EQ(problem({u"ok.txt", u"../x"}), u"unsafe name refused: ../x");
  EXPECT_EQ(problem({u"./", u"a/./b", u"a//c", u"con2.txt", u"a..b"}), u"");
}

// The names' tree costs their length however deep they go (a key for every
// folder of every path took 0.5 GB and 20 s for one path of 16,384 folders,
// eight such paths would take 4 GB); a part over 255 units and a path over
// 32,255 are refused, with names cut in the line.
TEST(ArchiveNames, DeepPathsCostTheirLengthAndWindowsLimitsHold) {
  std::u16string deep;
  for (int i = 0; i < 16000; ++i) deep += u"a/";
  std::vector<std::u16string> names;
  for (char16_t top = u'b'; top < u'j'; ++top) names.push_back(top + (u"/" + deep) + u"f");
  EXPECT_EQ(NamesProblem(names), u"");
  names.push_back(u"b/" + deep + u"F");
  const std::u16string cut = names[0].substr(0, 128) + u"...";
  EXPECT_EQ(NamesProblem(names), u"names that would be one file refused: " + cut + u" and " + cut);

  const std::u16string part(255, u'p');
  std::u16string longest;
  for (int i = 0; i < 125; ++i) longest += part + u"/";
  longest += std::u16string(255, u'q');
  EXPECT_EQ(longest.size(), TEntryName::kLongestPath);
  EXPECT_EQ(NamesProblem({longest}), u"");
  EXPECT_EQ(NamesProblem({longest + u"q"}), u"name that Windows cannot create refused: " + longest.substr(0, 128) +
                                                u"...; it has a part longer than 255 characters, the most that Windows "
                                                u"allows");
  EXPECT_EQ(NamesProblem({u"x/" + longest}), u"name that Windows cannot create refused: x/" + longest.substr(0, 126) +
                                                 u"...; it is longer than 32,255 characters: with the unpack folder it "
                                                 u"passes the 32,767 that Windows allows");
}

// One rule for the whole Basic Multilingual Plane: every script's pairs,
// the odd mappings of the simple uppercase table, and nothing for letters
// without a one-letter capital or beyond the plane.
TEST(NameCase, FoldsEveryScriptOfThePlaneBySimpleUppercase) {
  EXPECT_EQ(TNameCase::Key(u"\u0141\u00F3d\u017A \u0142\u00F3d\u017A"),
            u"\u0141\u00D3D\u0179 \u0141\u00D3D\u0179");  // Łódź łódź
  const char16_t pairs[][2] = {{u'\u0561', u'\u0531'},   // Armenian
                               {u'\u10D0', u'\u1C90'},   // Georgian Mkhedruli to Mtavruli
                               {u'\uAB70', u'\u13A0'},   // Cherokee
                               {u'\u2C30', u'\u2C00'},   // Glagolitic
                               {u'\u03C2', u'\u03A3'},   // final sigma
                               {u'\u00FF', u'\u0178'},   // ÿ
                               {u'\u1F80', u'\u1F88'},   // iota subscript: the one-letter mapping
                               {u'\u00DF', u'\u00DF'},   // ß: no one-letter capital
                               {u'\u0130', u'\u0130'},   // capital already
                               {u'\uFF5A', u'\uFF3A'}};  // full-width z
  for (const auto& pair : pairs) EXPECT_EQ(TNameCase::Upper(pair[0]), pair[1]) << std::hex << int(pair[0]);
  EXPECT_EQ(TNameCase::Key(u"\U00010428"), u"\U00010428") << "Deseret lies beyond the plane";
}

// One line per cause in the order found, whatever the number of entries: a
// count, the first three names (control characters spelled out) and what to do.
TEST(UnpackableEntries, OneLinePerCauseWithCountNamesAndRemedy) {
  std::vector<TZipEntry> entries;
  const auto add = [&](const std::u16string& name, std::uint16_t method, std::uint16_t flags = 0,
                       std::uint16_t madeBy = 0x0314, std::uint32_t mode = 0100644) {
    TZipEntry entry;
    entry.name = name;
    entry.method = method;
    entry.flags = flags;
    entry.madeBy = madeBy;
    entry.externalAttributes = mode << 16;
    entries.push_back(entry);
  };
  add(u"ok.txt", 8);
  for (int i = 0; i < 5; ++i) add(u"b" + rtl::ToWide(std::to_string(i)), 12);
  add(u"Icon\r", 9);
  add(u"secret", 8, 1);
  add(u"aes", 99, 1);
  add(u"link", 0, 0, 0x031E, 0120777);
  add(u"dos", 0, 0, 0x0014, 0120777);  // not made on Unix: no mode
  EXPECT_EQ(TUnpackableEntries(entries).Problems(),
            (std::vector<std::u16string>{
                u"5 entries refused, compressed with BZip2 (method 12), which the plug-in cannot unpack: b0, b1, b2 "
                u"and 2 more; zip it again with Deflate",
                u"1 entry refused, compressed with Deflate64 (method 9), which the plug-in cannot unpack: Icon\\r; "
                u"zip it again with Deflate",
                u"2 entries refused, encrypted (the plug-in asks for no password): secret, aes; zip it again "
                u"without a password",
                u"1 entry refused, a symbolic link (it would become a file holding the link's target): link; "
                u"zip it again without -y, so that it holds the files linked to"}));
  entries.resize(1);
  EXPECT_TRUE(TUnpackableEntries(entries).Problems().empty());
}

TEST(EntryName, RefusesEveryNameThatLeavesOrNamesNoEntry) {
  for (const char16_t* name : {u"", u"/abs.txt", u"\\abs.txt", u"C:evil.txt", u"a/C:x", u"../x", u"a/../../x",
                               u"a\\..\\x", u"..", u"a/...", u"x:stream", u"."})
    EXPECT_FALSE(TEntryName(name).IsSafe()) << rtl::ToAnsi(name);
  for (const char16_t* name : {u"a.txt", u"a/b/c.txt", u"a..b/c", u"..a", u"folder/", u"a//b", u"./a", u"./"})
    EXPECT_TRUE(TEntryName(name).IsSafe()) << rtl::ToAnsi(name);
  EXPECT_EQ(TEntryName(u".\\a//./b/").Path(), u"a/b");
  EXPECT_TRUE(TEntryName(u"a\\b\\").IsFolder());
  EXPECT_FALSE(TEntryName(u"a/b").IsFolder());
}

TEST(CommandLine, QuotedWordsKeepBackslashesAndBlanks) {
  using Words = std::vector<std::string>;
  const auto split = [](const std::string& line) {
    Words words;
    return SplitCommandLine(line, words) ? words : Words{"(unclosed)"};
  };
  EXPECT_EQ(split("-x \"C:\\a b\\arc.yz1\" \"C:\\out dir\\\""), (Words{"-x", "C:\\a b\\arc.yz1", "C:\\out dir\\"}));
  EXPECT_EQ(split("  -x  a\\  \"\" "), (Words{"-x", "a\\", ""}));
  EXPECT_EQ(split(""), Words{});
  EXPECT_EQ(split("-x \"C:\\arc.yz1"), Words{"(unclosed)"});
}
