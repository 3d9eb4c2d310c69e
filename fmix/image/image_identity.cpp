#include "fmix/image/image_identity.h"

#include "fmix/host/host_files.h"
#include "rtl/le_bytes.h"
#include "fmix/report/printable.h"
#include "fmix/image/resource_section.h"
#include "fmix/image/version_resource.h"

namespace {

constexpr std::uint16_t kIcon = 3;
constexpr std::uint16_t kGroupIcon = 14;
constexpr std::uint16_t kVersion = 16;
constexpr std::size_t kGroupHeader = 6;
constexpr std::size_t kGroupEntry = 14;  // GRPICONDIRENTRY, the icon's number at 12
const char* const kShownStrings[] = {"ProductName", "CompanyName"};

std::string KeyText(const TResourceTree::Key& key) {
  return key.text.empty() ? std::to_string(key.id) : "\"" + Printable(key.text) + "\"";
}

}  // namespace

TImageIdentity::TImageIdentity(const std::string& fileName, std::uint64_t imageSize) {
  std::string image;
  if (!ReadFilePart(fileName, 0, static_cast<std::size_t>(imageSize), image))
    Fail("cannot read the image");
  else
    Describe(image);
}

bool TImageIdentity::Fail(const std::string& message) {
  valid_ = false;
  message_ = message;
  return false;
}

// Every group icon must name icons that are there; the first group is the
// one Explorer shows, the first version resource the one Properties shows.
void TImageIdentity::Describe(const std::string& image) {
  const TResourceSection section(image);
  if (section.Tree().PastBounds()) {
    checked_ = false;
    message_ = section.Failure() + ": fmix does not read such resources; the icon and version are not checked";
    return;
  }
  if (!section.Failure().empty()) {
    Fail(section.Failure() + ": Windows would not read the resources");
    return;
  }
  const TResourceTree::Names* groups = section.Tree().Type(kGroupIcon);
  const TResourceTree::Names* icons = section.Tree().Type(kIcon);
  std::string text;
  for (const auto& [name, languages] : groups ? *groups : TResourceTree::Names())
    for (const auto& [language, group] : languages) {
      std::uint16_t count = 0, id = 0;
      const std::string_view data = group.Data();
      if (!GetLe(data, 4, count) || data.size() < kGroupHeader + kGroupEntry * count) {
        Fail("group icon " + KeyText(name) + " is cut off");
        return;
      }
      for (std::uint16_t i = 0; i < count; ++i) {
        GetLe(data, kGroupHeader + kGroupEntry * i + 12, id);
        if (!icons || !icons->count(id)) {
          Fail("group icon " + KeyText(name) + " names icon " + std::to_string(id) + ", which the image lacks");
          return;
        }
      }
      if (text.empty()) text = "icon of " + std::to_string(count) + (count == 1 ? " image" : " images");
    }
  const TResourceTree::Names* versions = section.Tree().Type(kVersion);
  if (versions && !versions->empty() && !versions->begin()->second.empty()) {
    const TVersionResource version(std::string(versions->begin()->second.begin()->second.Data()));
    if (!version.Failure().empty()) {
      Fail(version.Failure() + ": Windows shows no version");
      return;
    }
    text += (text.empty() ? "" : "; ") + std::string("version ") + version.FileVersion();
    for (const char* key : kShownStrings)
      if (!version.String(key).empty())
        text += std::string("; ") + key + " \"" + Printable(version.String(key)) + "\"";
  }
  message_ = text;
}
