// The solid format's reader on archives that xz, GNU tar and bsdtar write,
// on damaged ones, and on what fmix zip --solid writes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "fmix/cli/commands.h"
#include "rtl/text.h"
#include "tar_xz/tar_reader.h"
#include "tar_xz/tar_writer.h"
#include "tar_xz/xz_compressor.h"
#include "tar_xz/xz_decoder.h"
#include "tests/test_files.h"
#include "zip/zip_memory_source.h"
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

std::string Le(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
  return out;
}

std::string Crc32(const std::string& bytes) {
  return Le(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())), 4);
}

std::string PaddedTo4(std::string bytes) { return bytes.append((4 - bytes.size() % 4) % 4, '\0'); }

// One xz stream of one block of the LZMA2 chunks given, whose content is
// content (of less than 128 bytes), with a CRC-32 check and a 4 KiB dictionary.
std::string XzStream(const std::string& chunks, const std::string& content) {
  const std::string flags("\0\1", 2);
  const std::string block = std::string("\x02\0\x21\x01\0\0\0\0", 8);  // LZMA2, dictionary byte 0
  const std::string blockHeader = block + Crc32(block);
  const std::string index = PaddedTo4(std::string("\0\x01", 2) + char(blockHeader.size() + chunks.size() + 4) +
                                      char(content.size()));
  const std::string footer = Le((index.size() + 4) / 4 - 1, 4) + flags;
  return std::string("\xFD" "7zXZ\0", 6) + flags + Crc32(flags) + blockHeader + PaddedTo4(chunks) + Crc32(content) +
         index + Crc32(index) + Crc32(footer) + footer + "YZ";
}

// What TXzDecoder reads from xz, or "refused: " and why.
std::string Decoded(const std::string& xz) {
  TZipMemorySource source(xz.data(), xz.size(), u"memory");
  TXzDecoder decoder(source);
  std::string content(256, '\0');
  std::size_t got = 0;
  if (!decoder.Start() || !decoder.Read(&content[0], content.size(), got))
    return "refused: " + rtl::ToAnsi(decoder.Failure());
  return content.substr(0, got);
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
  struct Archive {
    std::string command, root;
  };
  const std::map<std::string, Archive> archives = {
      {"crc32", {"xz --check=crc32 -c " + tar, tree_}},
      {"crc64, small dictionary", {"xz --check=crc64 --lzma2=preset=6,dict=64KiB -c " + tar, tree_}},
      {"blocks", {"xz -T2 --block-size=100KiB -c " + tar, tree_}},
      {"gnu long names", {"tar --format=gnu -C " + Tree() + " -cJf - .", tree_}},
      {"bsdtar", {"bsdtar --format=pax -C " + Tree() + " -cJf - .", tree_}},
      {"v7, which holds no long name", {"tar --format=v7 -C '" + tree_ + "a' -cJf - .", tree_ + "a/"}},
      // A part of the tar in each stream, with padding and an empty stream
      // between; then an empty stream before one block, which stays whole.
      {"streams", {"(head -c 200000 " + tar + " | xz; printf '\\0\\0\\0\\0'; xz </dev/null; tail -c +200001 " +
                       tar + " | xz --check=crc32; printf '\\0\\0\\0\\0')", tree_}},
      {"an empty stream first", {"(xz </dev/null; xz -c " + tar + ")", tree_}},
  };
  for (const auto& [what, archive] : archives) {
    const std::string file = scratch_.File("t.tar.xz");
    Shell(archive.command + " > " + file);
    const Contents expected = TreeContents(archive.root);
    EXPECT_EQ(ArchiveContents(file), expected) << what;
    EXPECT_EQ(ArchiveContents(file, false), expected) << what << ", out of order";
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
  WriteFile(scratch_.File("padding"), bytes + std::string(3, '\0'));
  const std::string sparse = scratch_.File("sparse/");  // a file of 4.5 MB with a hole, as tar -S stores it
  Shell("mkdir " + sparse + " && printf data | dd of=" + sparse + "disk.img bs=1 seek=100000 status=none && " +
        "truncate -s 4500000 " + sparse + "disk.img");
  for (const std::string version : {"0.0", "0.1", "1.0"})
    Shell("tar --format=posix -S --sparse-version=" + version + " -C " + sparse + " -cJf " +
          scratch_.File("sparse" + version) + " .");
  Shell("tar --format=gnu -S -C " + sparse + " -cJf " + scratch_.File("sparse_gnu") + " .");
  const std::map<std::string, std::string> refusals = {
      {"flipped", "CRC-64 mismatch"},
      {"truncated", "truncated stream"},
      {"trailing", "data after the end of the xz stream"},
      {"link", "symbolic links are not supported: ./link"},
      {"x86", "the x86 (BCJ) filter is not supported"},
      {"sha256", "the SHA-256 check is not supported"},
      {"dictionary", "dictionary larger than 64 MiB"},
      {"padding", "data after the end of the xz stream"},
      {"sparse0.0", "sparse files are not supported; archive them without tar -S: ./disk.img"},
      {"sparse0.1", "sparse files are not supported; archive them without tar -S: ./disk.img"},
      {"sparse1.0", "sparse files are not supported; archive them without tar -S: ./disk.img"},
      {"sparse_gnu", "sparse files are not supported; archive them without tar -S: ./disk.img"},
  };
  for (const auto& [file, reason] : refusals)
    EXPECT_NE(Refusal(scratch_.File(file)).find(reason), std::string::npos)
        << file << ": " << Refusal(scratch_.File(file));
}

// LZMA2 chunks in the order xz allows, or refused as xz refuses them: the
// first chunk resets the dictionary, and after a dictionary reset the first
// LZMA chunk brings properties.
TEST(Lzma2ChunkTest, ReadsOnlyTheSequencesXzReads) {
  // "hello hello hello" as LZMA (lc = lp = pb = 0: its bytes decode alike
  // wherever a state reset puts them), as xz --format=raw writes it.
  const std::string hello = "hello hello hello", lzma("\0\x34\x1A\x72\x48\x01\x2C\x63\x6B\x84\x5E\0\0", 13);
  const std::string sizes("\0\x10\0\x0C", 4), stored("\x01\0\0s", 4), end(1, '\0');
  const auto chunk = [&](char control, bool properties) {
    return control + sizes + (properties ? std::string(1, '\0') : "") + lzma;
  };
  const std::string first = chunk('\xE0', true), content = hello + "s" + hello;
  EXPECT_EQ(Decoded(XzStream(first + stored + chunk('\xC0', true) + end, content)), content);
  for (const std::string& chunks : {first + stored + chunk('\xA0', false) + end,  // a state reset wants properties
                                    first + stored + chunk('\x80', false) + end,
                                    chunk('\xC0', true) + end})  // the first chunk must reset the dictionary
    EXPECT_EQ(Decoded(XzStream(chunks, content)), "refused: damaged data");
}

// The list of entries stays bounded: a name longer than Windows' longest
// path, or names of more than 16 Mi characters in all, are refused.
TEST_F(TarXzTest, RefusesNamesBeyondItsBounds) {
  const auto archive = [&](std::size_t count, std::size_t length) {
    const std::string file = scratch_.File("names.tar");
    std::ofstream out(file, std::ios::binary);
    TTarWriter writer([&](const char* data, std::size_t size) { out.write(data, static_cast<std::streamsize>(size)); });
    for (std::size_t i = 0; i < count; ++i) {
      const std::string number = std::to_string(100000 + i);
      writer.AddFolder(number + std::string(length - number.size() - 1, 'n') + "/");
    }
    writer.Finish();
    out.close();
    Shell("xz -0 -f " + file);
    return file + ".xz";
  };
  EXPECT_EQ(Refusal(archive(1, 32767)), "(opened)");
  EXPECT_NE(Refusal(archive(1, 32768)).find("names longer than 32,767 characters are not supported: 100000nnn"),
            std::string::npos);
  EXPECT_EQ(Refusal(archive(512, 32767)), "(opened)");
  EXPECT_NE(Refusal(archive(513, 32767)).find("the entries' names exceed 16,777,216 characters in all"),
            std::string::npos);
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
