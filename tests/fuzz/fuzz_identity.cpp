// fmix's readers of a setup's identity on any bytes, each taking the whole
// input: a resource directory, an image's resource section, an .ico file, a
// version resource and a certificate table. What reads whole is written and
// read back: the tree written again must be the same bytes, the icon and the
// version the same content. Nothing may escape but ECliError from a rebuild
// that the image's headers have no room for.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fmix/image/authenticode.h"
#include "fmix/report/cli_error.h"
#include "fmix/image/icon_file.h"
#include "fmix/image/image_identity.h"
#include "fmix/image/resource_section.h"
#include "fmix/image/resource_tree.h"
#include "fmix/image/version_resource.h"
#include "tests/fuzz/fuzz_input_file.h"

namespace {

constexpr std::uint32_t kRva = 0x1000;
const char* const kKeys[] = {"CompanyName", "ProductName", "FileVersion", "ProductVersion", "Comments"};

void Expect(bool holds) {
  if (!holds) std::abort();
}

// The tree written, read back and written again: the same bytes.
void RoundTrip(const TResourceTree& tree) {
  const std::string bytes = tree.Write(kRva);
  const TResourceTree back(bytes, kRva);
  Expect(back.Failure().empty() && back.Write(kRva) == bytes);
}

void ReadSection(const std::string& image) {
  const TResourceSection section(image);
  if (!section.Failure().empty()) return;
  RoundTrip(section.Tree());
  try {
    const TResourceSection rebuilt(TResourceSection::Rebuild(image, section.Tree(), "stub.exe"));
    Expect(rebuilt.Failure().empty() && rebuilt.Tree().Write(kRva) == section.Tree().Write(kRva));
  } catch (const ECliError&) {
  }
}

// The icon's images and group as fmix setup stores them, read back.
void ReadIcon(const std::string& bytes) {
  const TIconFile icon(bytes);
  if (!icon.Failure().empty()) return;
  TResourceTree tree;
  for (std::size_t i = 0; i < icon.Images().size(); ++i)
    tree.Set(3, static_cast<std::uint16_t>(1 + i), 0x0409, icon.Images()[i]);
  tree.Set(14, 1, 0x0409, icon.Group(1));
  RoundTrip(tree);
  const TResourceTree back(tree.Write(kRva), kRva);
  Expect(back.Type(3)->size() == icon.Images().size() &&
         back.Type(14)->begin()->second.begin()->second.Data() == icon.Group(1));
}

void ReadVersion(const std::string& bytes) {
  const TVersionResource version(bytes);
  if (!version.Failure().empty()) return;
  const TVersionResource back(version.Write());
  Expect(back.Failure().empty() && back.FileVersion() == version.FileVersion());
  for (const char* key : kKeys) Expect(version.String(key).empty() || back.String(key) == version.String(key));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const TResourceTree tree(bytes, kRva);
  if (tree.Failure().empty()) RoundTrip(tree);
  ReadSection(bytes);
  ReadIcon(bytes);
  ReadVersion(bytes);
  const std::string name = InputFile("_identity.exe", data, size);
  (void)TImageIdentity(name, size).Message();
  (void)TAuthenticode(name, 0, static_cast<std::uint32_t>(size)).Message();
  return 0;
}
