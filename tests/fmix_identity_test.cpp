// The resources fmix setup writes into its copy of the stub, and how verify
// reads them back: an image Windows loads, and faults Windows would not read.
#include <gtest/gtest.h>

#include <filesystem>

#include "fmix/report/cli_error.h"
#include "fmix/image/icon_file.h"
#include "fmix/image/image_identity.h"
#include "rtl/le_bytes.h"
#include "fmix/image/pe_image.h"
#include "fmix/image/resource_section.h"
#include "fmix/image/resource_tree.h"
#include "fmix/image/stub_identity.h"
#include "fmix/image/version_resource.h"
#include "tests/test_files.h"

using namespace testing_files;

namespace {

constexpr std::uint32_t kPe = 0x40;
constexpr std::uint32_t kOptional = kPe + 24;
constexpr std::uint32_t kSections = kOptional + 224;
constexpr std::uint16_t kManifest = 24;
constexpr std::uint16_t kVersionType = 16;
const std::string kManifestText = "<assembly/>";

// A 32-bit image of .text and a .rsrc holding a manifest, laid out as the
// linker lays out the stub (headers of 0x400 bytes, file alignment 0x200).
std::string MakeImage(std::uint32_t headerSize = 0x400) {
  std::string image(0x600, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  SetLe<std::uint32_t>(image, 60, kPe);
  image.replace(kPe, 4, std::string("PE\0\0", 4));
  SetLe<std::uint16_t>(image, kPe + 4, 0x14C);
  SetLe<std::uint16_t>(image, kPe + 6, 2);
  SetLe<std::uint16_t>(image, kPe + 20, 224);
  SetLe<std::uint16_t>(image, kPe + 22, 0x0102);
  SetLe<std::uint16_t>(image, kOptional, 0x10B);
  SetLe<std::uint32_t>(image, kOptional + 32, 0x1000);
  SetLe<std::uint32_t>(image, kOptional + 36, 0x200);
  SetLe<std::uint32_t>(image, kOptional + 56, 0x3000);
  SetLe<std::uint32_t>(image, kOptional + 60, headerSize);
  SetLe<std::uint32_t>(image, kOptional + 92, 16);
  TResourceTree tree;
  tree.Set(kManifest, 1, 0x0409, kManifestText);
  std::string rsrc = tree.Write(0x2000);
  SetLe<std::uint32_t>(image, kOptional + 96 + 16, 0x2000);
  SetLe<std::uint32_t>(image, kOptional + 96 + 20, static_cast<std::uint32_t>(rsrc.size()));
  PadTo(rsrc, 0x200);
  const std::uint32_t records[2][4] = {{0x100, 0x1000, 0x200, 0x400}, {0x80, 0x2000, 0x200, 0x600}};
  for (int i = 0; i < 2; ++i)
    for (int field = 0; field < 4; ++field) SetLe<std::uint32_t>(image, kSections + 40 * i + 8 + 4 * field, records[i][field]);
  return image + rsrc;
}

std::uint32_t Get32(const std::string& bytes, std::uint64_t offset) {
  std::uint32_t value = 0;
  EXPECT_TRUE(GetLe(bytes, offset, value));
  return value;
}

std::string Rebuilt(const std::string& image, const std::string& version) {
  TResourceTree tree = TResourceSection(image).Tree();
  tree.Set(kVersionType, 1, 0x0409, version);
  return TResourceSection::Rebuild(image, tree, "stub.exe");
}

std::string Refusal(const std::string& image) {
  try {
    Rebuilt(image, "v");
  } catch (const ECliError& e) {
    return e.what();
  }
  return "(accepted)";
}

// An .ico file of a 16x16 bitmap image and a 256x256 PNG one.
std::string IconFile() {
  std::string bitmap(40 + 16 * 16 * 4 + 16 * 4, '\x7F');
  SetLe<std::uint32_t>(bitmap, 0, 40);
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "rest of a PNG";
  std::string ico;
  for (std::uint16_t field : {0, 1, 2}) AppendLe(ico, field);
  const std::string* images[] = {&bitmap, &png};
  std::uint32_t offset = 6 + 2 * 16;
  for (int i = 0; i < 2; ++i) {
    ico += i == 0 ? std::string("\x10\x10\0\0", 4) : std::string(4, '\0');
    AppendLe<std::uint16_t>(ico, 1);
    AppendLe<std::uint16_t>(ico, 32);
    AppendLe<std::uint32_t>(ico, static_cast<std::uint32_t>(images[i]->size()));
    AppendLe<std::uint32_t>(ico, offset);
    offset += static_cast<std::uint32_t>(images[i]->size());
  }
  return ico + bitmap + png;
}

// A root of n entries that all lead to one table of n names, each of which
// leads to one table of languages: with one language, n² resources of one
// datum of 16 KiB; with none, n² steps that find nothing.
std::string SharedTables(std::uint16_t n, std::uint16_t languages, std::uint32_t rva) {
  const std::uint32_t names = 16 + 8u * n, language = names + 16 + 8u * n, entry = language + 24;
  std::string bytes;
  for (std::uint32_t target : {names, language, entry}) {
    const std::uint16_t count = target == entry ? languages : n;
    bytes.append(14, '\0');
    AppendLe(bytes, count);
    for (std::uint16_t i = 0; i < count; ++i) {
      AppendLe<std::uint32_t>(bytes, i + 1u);
      AppendLe<std::uint32_t>(bytes, target == entry ? entry : 0x80000000u | target);
    }
  }
  bytes.resize(entry);
  for (std::uint32_t field : {rva + entry + 16, 16384u, 0u, 0u}) AppendLe(bytes, field);
  return bytes + std::string(16384, 'D');
}

}  // namespace

// The new last section holds the whole tree, the stub's manifest included;
// the headers describe it, and the image still ends at its last section.
TEST(ResourceSection, RebuildKeepsResourcesAndFixesHeaders) {
  const std::string image = MakeImage();
  const std::string out = Rebuilt(image, "version bytes");
  const TPeImage pe(out);
  ASSERT_TRUE(pe.Valid());
  EXPECT_EQ(pe.EndOfSections(), out.size());
  EXPECT_EQ(out.compare(0x400, 0x400, image, 0x400, 0x400), 0) << "the old sections moved";
  EXPECT_EQ(Get32(out, kPe + 4) >> 16, 3u);
  const std::uint32_t rva = Get32(out, kSections + 80 + 12);
  EXPECT_EQ(rva, 0x3000u);
  EXPECT_EQ(Get32(out, kOptional + 96 + 16), rva);
  EXPECT_EQ(Get32(out, kOptional + 56), 0x4000u) << "SizeOfImage";
  EXPECT_EQ(Get32(out, kOptional + 8), 0x200u) << "SizeOfInitializedData";
  EXPECT_EQ(Get32(out, kOptional + 64), TResourceSection::Checksum(out));
  const TResourceSection read(out);
  ASSERT_EQ(read.Failure(), "");
  EXPECT_EQ(read.Tree().Type(kManifest)->begin()->second.begin()->second.Data(), kManifestText);
  EXPECT_EQ(read.Tree().Type(kVersionType)->begin()->second.begin()->second.Data(), "version bytes");
  EXPECT_EQ(Rebuilt(image, "version bytes"), out) << "not byte-identical";
}

TEST(ResourceSection, RefusesHeadersWithoutRoom) {
  std::string occupied = MakeImage();
  occupied[kSections + 80 + 3] = 'x';
  EXPECT_NE(Refusal(occupied).find("no room for another section"), std::string::npos);
  EXPECT_NE(Refusal(MakeImage(0x1A0)).find("no room for another section"), std::string::npos);
}

// The linker's checksum of the shipped stub, recomputed.
TEST(ResourceSection, ChecksumOfTheShippedStub) {
  if (!std::filesystem::exists(SHIPPED_STUB)) GTEST_SKIP() << SHIPPED_STUB << " not built";
  const std::string stub = testing_files::ReadFile(SHIPPED_STUB);
  EXPECT_EQ(TResourceSection::Checksum(stub), Get32(stub, Get32(stub, 60) + 24 + 64));
}

// Named entries come first, as the loader's search expects, and read back.
TEST(ResourceTree, NamesAndFaultsOutsideTheSection) {
  TResourceTree tree;
  tree.Set(kManifest, 1, 0, "m");
  tree.Set(10, TResourceTree::Key(u"custom"), 0x0411, "named");
  const std::string bytes = tree.Write(0x5000);
  EXPECT_EQ(Get32(bytes, 12), 0x00020000u) << "root: no named types, two numbered";
  const TResourceTree read(bytes, 0x5000);
  ASSERT_EQ(read.Failure(), "");
  const auto& names = *read.Type(10);
  EXPECT_EQ(names.begin()->first.text, u"custom");
  EXPECT_EQ(names.begin()->second.at(0x0411).Data(), "named");

  EXPECT_NE(TResourceTree(bytes, 0x6000).Failure(), "") << "data addressed below the section";
  EXPECT_NE(TResourceTree(bytes.substr(0, bytes.size() - 2), 0x5000).Failure(), "") << "data past its end";
  std::string loop = bytes;
  SetLe<std::uint32_t>(loop, 20, 0x80000000u);  // the first type's table is the root again
  EXPECT_NE(TResourceTree(loop, 0x5000).Failure(), "") << "a tree deeper than three levels";
}

// Tables or data reached many times are read once, not expanded: such a tree
// passes the bound at once, and verify only warns (Windows reads it).
TEST(ResourceTree, SharedTablesAndDataPassTheBound) {
  for (const std::string& bytes : {SharedTables(4096, 0, 0x5000), SharedTables(64, 1, 0x5000)}) {
    const TResourceTree tree(bytes, 0x5000);
    EXPECT_TRUE(tree.PastBounds());
    EXPECT_NE(tree.Failure().find("share bytes"), std::string::npos) << tree.Failure();
  }
  const TResourceTree one(SharedTables(1, 1, 0x5000), 0x5000);
  ASSERT_EQ(one.Failure(), "") << "a tree of one resource";
  EXPECT_EQ(one.Type(1)->at(1).at(1).Data(), std::string(16384, 'D'));
}

TEST(VersionResource, WrittenAndReadBack) {
  TVersionResource version(0x0407);
  ASSERT_TRUE(version.SetFileVersion("1.2.3.4"));
  ASSERT_TRUE(version.SetProductVersion("5.6.7.65535"));
  EXPECT_FALSE(version.SetFileVersion("1.2.3"));
  EXPECT_FALSE(version.SetFileVersion("1.2.3.65536"));
  version.SetString("ProductName", u"Größe 表");
  const std::string bytes = version.Write();
  const TVersionResource read(bytes);
  ASSERT_EQ(read.Failure(), "");
  EXPECT_EQ(read.FileVersion(), "1.2.3.4");
  EXPECT_EQ(read.String("ProductName"), u"Größe 表");
  EXPECT_EQ(read.String("FileVersion"), u"1.2.3.4");
  EXPECT_EQ(read.String("ProductVersion"), u"5.6.7.65535");
  EXPECT_NE(bytes.find(std::string("0\0004\0000\0007\0000\0004\0b\0000\0", 16)), std::string::npos)
      << "no string table 040704b0";
  std::string cut = bytes;
  SetLe<std::uint16_t>(cut, 0, static_cast<std::uint16_t>(bytes.size() + 4));
  EXPECT_NE(TVersionResource(cut).Failure(), "");
  EXPECT_NE(TVersionResource(bytes.substr(0, 40)).Failure(), "");
}

TEST(IconFile, ImagesAndGroup) {
  const TIconFile icon(IconFile());
  ASSERT_EQ(icon.Failure(), "");
  ASSERT_EQ(icon.Images().size(), 2u);
  EXPECT_EQ(icon.Images()[1].substr(1, 3), "PNG");
  const std::string group = icon.Group(7);
  ASSERT_EQ(group.size(), 6u + 2 * 14);
  EXPECT_EQ(group[6], 16);
  EXPECT_EQ(group[6 + 14 + 12], 8) << "the second image's number";
  std::string outside = IconFile();
  SetLe<std::uint32_t>(outside, 6 + 16 + 8, 100000);
  EXPECT_NE(TIconFile(outside).Failure(), "");
  EXPECT_NE(TIconFile("not an icon").Failure(), "");
}

// An icon that lists more images than an icon holds, or one image twice,
// is refused before any image is copied.
TEST(IconFile, RefusesTooManyAndSharedImages) {
  std::string many = IconFile();
  SetLe<std::uint16_t>(many, 4, 257);
  EXPECT_EQ(TIconFile(many).Failure(), "the icon's directory lists 257 images; an icon holds at most 256");
  std::string shared = IconFile();
  shared.replace(6 + 16 + 12, 4, shared, 6 + 12, 4);  // the second image's offset is the first's
  EXPECT_EQ(TIconFile(shared).Failure(), "images 1 and 2 of the icon share bytes, which no icon editor writes");
}

// Strings that would make the version resource pass its 16-bit length are a
// usage error, not a setup that verify then finds malformed.
TEST(StubIdentity, RefusesVersionInformationPastItsSize) {
  TStubIdentity::Options options;
  options.strings = {"Comments=" + std::string(40000, 'x')};
  try {
    const TStubIdentity identity(options);
    ADD_FAILURE() << "accepted";
  } catch (const ECliError& e) {
    EXPECT_EQ(e.ExitCode(), 2);
    EXPECT_NE(std::string(e.what()).find("more than a version resource holds (65535)"), std::string::npos) << e.what();
  }
}

// What verify says of an image's icon and version, and of a group icon that
// names an icon the image lacks.
TEST(ImageIdentity, DescribesAndFailsMissingIcons) {
  ScratchDir dir;
  const TIconFile icon(IconFile());
  TVersionResource version(0x0409);
  version.SetFileVersion("1.2.3.4");
  version.SetString("ProductName", u"Example");
  TResourceTree tree = TResourceSection(MakeImage()).Tree();
  tree.Set(3, 1, 0x0409, icon.Images()[0]);
  tree.Set(3, 2, 0x0409, icon.Images()[1]);
  tree.Set(14, 1, 0x0409, icon.Group(1));
  tree.Set(kVersionType, 1, 0x0409, version.Write());
  const std::string good = TResourceSection::Rebuild(MakeImage(), tree, "stub.exe");
  WriteFile(dir.File("good.exe"), good);
  const TImageIdentity identity(dir.File("good.exe"), good.size());
  EXPECT_TRUE(identity.Valid());
  EXPECT_EQ(identity.Message(), "icon of 2 images; version 1.2.3.4; ProductName \"Example\"");

  tree.RemoveType(3);
  const std::string missing = TResourceSection::Rebuild(MakeImage(), tree, "stub.exe");
  WriteFile(dir.File("missing.exe"), missing);
  const TImageIdentity broken(dir.File("missing.exe"), missing.size());
  EXPECT_FALSE(broken.Valid());
  EXPECT_EQ(broken.Message(), "group icon 1 names icon 1, which the image lacks");
}
