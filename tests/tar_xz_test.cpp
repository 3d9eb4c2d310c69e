// The solid format's reader on archives that xz, GNU tar and bsdtar write,
// on damaged ones, and on what fmix zip --solid writes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "fmix/commands.h"
#include "rtl/text.h"
#include "tar_xz/tar_reader.h"
#include "tar_xz/xz_compressor.h"
#include "tests/test_files.h"
#include "zip/zip_name_decoder.h"

namespace fs = std::filesystem;
using namespace testing_files;

namespace {

const TZipNameDecoder kNames(1252, 437);
// Over 100 bytes and not ASCII: ustar cannot hold it.
const std::string kLongName = std::string(60, 'd') + "/\xE6\x97\xA5\xE6\x9C\xAC-" + std::string(80, 'n') + ".txt";

// A tree with a nested file, an empty file, an empty folder, a long UTF-8
// name, text that compresses well and random bytes that LZMA2 stores.
void MakeTree(const std::string& root) {
  fs::create_directories(fs::u8path(root + "a/b"));
  fs::create_directories(fs::u8path(root + "empty"));
  fs::create_directories(fs::u8path(root + std::string(60, 'd')));
  WriteFile(root + "a/b/x.txt", "hello\n");
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i % 37) + " of the sample\n";
  WriteFile(root + "a/text.txt", text);
  WriteFile(root + "e.txt", "");
  WriteFile(root + "random.bin", Bytes(300000, 7));
  std::ofstream(fs::u8path(root + kLongName), std::ios::binary) << "long\n";
}

using Contents = std::map<std::u16string, std::string>;  // a folder's name ends in "/"

// Every file's bytes and every empty folder under root.
Contents TreeContents(const std::string& root) {
  Contents contents;
  for (const auto& item : fs::recursive_directory_iterator(fs::u8path(root))) {
    const std::string name = fs::relative(item.path(), fs::u8path(root)).generic_u8string();
    if (item.is_regular_file())
      contents[rtl::ToWide(name)] = ReadFile(item.path().u8string());
    else if (fs::is_empty(item.path()))
      contents[rtl::ToWide(name + "/")] = "";
  }
  return contents;
}

bool Append(void* context, const char* data, std::size_t size) {
  static_cast<std::string*>(context)->append(data, size);
  return true;
}

// The archive's entries and bytes, extracted last to first (which restarts
// the decoder for each entry, unless the tar stayed in memory) unless inOrder; "./" and folders that hold
// entries are left out, as the tree's listing leaves them out.
Contents ArchiveContents(const std::string& archive, bool inOrder = true) {
  TTarReader reader;
  EXPECT_TRUE(reader.Open(archive, kNames)) << rtl::ToAnsi(reader.Failure());
  std::vector<TZipEntry> entries = reader.Entries();
  if (!inOrder) std::reverse(entries.begin(), entries.end());
  Contents contents;
  for (const TZipEntry& entry : entries) {
    std::u16string name = entry.name.compare(0, 2, u"./") == 0 ? entry.name.substr(2) : entry.name;
    std::string bytes;
    EXPECT_TRUE(reader.Extract(entry, Append, &bytes)) << rtl::ToAnsi(reader.Failure());
    if (!name.empty()) contents[name] = bytes;
  }
  for (auto it = contents.begin(); it != contents.end();) {
    const bool parent = it->first.back() == u'/' && std::next(it) != contents.end() &&
                        std::next(it)->first.compare(0, it->first.size(), it->first) == 0;
    it = parent ? contents.erase(it) : std::next(it);
  }
  return contents;
}

void Shell(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

// The tar writer writes nothing as the padding of a file of whole blocks;
// such empty writes, even several in a row, leave the stream whole.
TEST(XzCompressor, TakesEmptyWrites) {
  std::string xz;
  TXzCompressor compressor([&xz](const char* data, std::size_t size) { xz.append(data, size); }, 1);
  for (int i = 0; i < 3; ++i) EXPECT_NO_THROW(compressor.Write("", 0));
  EXPECT_NO_THROW(compressor.Write("x", 1));
  EXPECT_NO_THROW(compressor.Finish());
  EXPECT_EQ(xz.substr(xz.size() - 2), "YZ");  // the stream footer's magic
}

// xz's bytes with the first block's dictionary size byte set to bits, and
// its header's CRC-32 made to match.
std::string WithDictionary(std::string xz, char bits) {
  const std::size_t header = 12, size = (static_cast<unsigned char>(xz[header]) + 1u) * 4;
  std::size_t at = header + 2;
  for (int field = 0x40; field <= 0x80; field <<= 1)  // compressed and uncompressed size, if given
    if (xz[header + 1] & field)
      while (xz[at++] & 0x80) {
      }
  xz[at + 2] = bits;  // behind the filter's ID (LZMA2) and its properties' size
  const auto crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(&xz[header]), size - 4));
  for (int i = 0; i < 4; ++i) xz[header + size - 4 + i] = static_cast<char>(crc >> (8 * i));
  return xz;
}

// Why the reader refuses archive, or "(opened)".
std::string Refusal(const std::string& archive) {
  TTarReader reader;
  return reader.Open(archive, kNames) ? "(opened)" : rtl::ToAnsi(reader.Failure());
}

class TarXzTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_ = scratch_.File("tree/");
    MakeTree(tree_);
  }
  std::string Tree() const { return "'" + tree_ + "'"; }

  ScratchDir scratch_;
  std::string tree_;
};

TEST_F(TarXzTest, ReadsWhatTarXzAndBsdtarWrite) {
  const std::string tar = scratch_.File("t.tar");
  Shell("tar --format=pax -C " + Tree() + " -cf " + tar + " .");
  const std::map<std::string, std::string> archives = {
      {"crc32", "xz --check=crc32 -c " + tar},
      {"crc64, small dictionary", "xz --check=crc64 --lzma2=preset=6,dict=64KiB -c " + tar},
      {"blocks", "xz -T2 --block-size=100KiB -c " + tar},
      {"gnu long names", "tar --format=gnu -C " + Tree() + " -cJf - ."},
      {"bsdtar", "bsdtar --format=pax -C " + Tree() + " -cJf - ."},
  };
  const Contents expected = TreeContents(tree_);
  for (const auto& [what, command] : archives) {
    const std::string archive = scratch_.File("t.tar.xz");
    Shell(command + " > " + archive);
    EXPECT_EQ(ArchiveContents(archive), expected) << what;
    EXPECT_EQ(ArchiveContents(archive, false), expected) << what << ", out of order";
  }
}

TEST_F(TarXzTest, RefusesDamageAndWhatItCannotRead) {
  const std::string tar = scratch_.File("t.tar"), good = scratch_.File("good.tar.xz");
  Shell("tar --format=pax -C " + Tree() + " -cf " + tar + " .");
  Shell("xz -c " + tar + " > " + good);
  const std::string bytes = ReadFile(good);
  std::string flipped = bytes;
  flipped[flipped.size() / 2] ^= 0x20;  // in random.bin's stored bytes
  WriteFile(scratch_.File("flipped"), flipped);
  WriteFile(scratch_.File("truncated"), bytes.substr(0, bytes.size() - 30));
  WriteFile(scratch_.File("trailing"), bytes + "junk");
  fs::create_symlink("a/text.txt", fs::u8path(tree_ + "link"));
  Shell("tar -C " + Tree() + " -cJf " + scratch_.File("link") + " .");
  Shell("xz --x86 --lzma2 -c " + tar + " > " + scratch_.File("x86"));
  Shell("xz --check=sha256 -c " + tar + " > " + scratch_.File("sha256"));
  WriteFile(scratch_.File("dictionary"), WithDictionary(bytes, 29));  // 96 MiB
  const std::string twoStreams = scratch_.File("two_streams");
  Shell("xz -c " + tar + " > " + twoStreams + " && printf x | xz -c >> " + twoStreams);
  const std::map<std::string, std::string> refusals = {
      {"flipped", "CRC-64 mismatch"},
      {"truncated", "truncated stream"},
      {"trailing", "data after the end of the xz stream"},
      {"link", "symbolic links are not supported: ./link"},
      {"x86", "the x86 (BCJ) filter is not supported"},
      {"sha256", "the SHA-256 check is not supported"},
      {"dictionary", "dictionary larger than 64 MiB"},
      {"two_streams", "data after the end of the xz stream"},
  };
  for (const auto& [file, reason] : refusals)
    EXPECT_NE(Refusal(scratch_.File(file)).find(reason), std::string::npos)
        << file << ": " << Refusal(scratch_.File(file));
}

// fmix zip --solid: the same tree gives the same bytes, which our reader,
// tar and xz read as the tree.
TEST_F(TarXzTest, FmixWritesWhatItReadsAndTheToolsAgree) {
  const std::string first = scratch_.File("first.yz1"), second = scratch_.File("second.yz1");
  ASSERT_EQ(RunZip({first, tree_, "--solid", "--quiet"}), 0);
  ASSERT_EQ(RunZip({second, tree_, "--solid", "--quiet"}), 0);
  EXPECT_EQ(ReadFile(first), ReadFile(second));
  EXPECT_EQ(ArchiveContents(first), TreeContents(tree_));
  const std::string copy = scratch_.File("copy/");
  fs::create_directories(copy);
  Shell("tar -C " + copy + " -xJf " + first);
  EXPECT_EQ(TreeContents(copy), TreeContents(tree_));
}

}  // namespace
