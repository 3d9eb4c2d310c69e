#include "fmix/image/stub_identity.h"

#include <cstdlib>

#include "fmix/report/cli_error.h"
#include "fmix/host/host_files.h"
#include "fmix/image/resource_section.h"
#include "rtl/text.h"

namespace {

constexpr std::uint16_t kIcon = 3;
constexpr std::uint16_t kGroupIcon = 14;
constexpr std::uint16_t kVersion = 16;
constexpr std::uint16_t kFirstIconId = 1;
constexpr std::uint16_t kGroupId = 1;
constexpr std::uint16_t kVersionId = 1;
// A version resource gives its length in 16 bits.
constexpr std::size_t kMaxVersionSize = 0xFFFF;

std::uint16_t Language(const std::string& text) {
  char* end = nullptr;
  const unsigned long language = std::strtoul(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || language == 0 || language > 0xFFFF)
    throw UsageError("--version-language " + Printable(text) + ": not a language number (LANGID) such as 0x0409");
  return static_cast<std::uint16_t>(language);
}

}  // namespace

TStubIdentity::TStubIdentity(const Options& options) {
  if (!options.language.empty()) language_ = Language(options.language);
  if (!options.icon.empty()) ReadIcon(options.icon);
  if (!options.fileVersion.empty() || !options.productVersion.empty() || !options.strings.empty())
    TakeVersion(options);
}

void TStubIdentity::ReadIcon(const std::string& iconName) {
  icon_.emplace(ReadWholeFile(iconName));
  if (!icon_->Failure().empty()) throw FileError(iconName, icon_->Failure());
}

// The product version defaults to the file version.
void TStubIdentity::TakeVersion(const Options& options) {
  version_.emplace(language_);
  const std::string& product = options.productVersion.empty() ? options.fileVersion : options.productVersion;
  if (!options.fileVersion.empty() && !version_->SetFileVersion(options.fileVersion))
    throw UsageError("--file-version " + Printable(options.fileVersion) + ": not a version A.B.C.D (each 0 to 65535)");
  if (!product.empty() && !version_->SetProductVersion(product))
    throw UsageError("--product-version " + Printable(product) + ": not a version A.B.C.D (each 0 to 65535)");
  for (const std::string& item : options.strings) {
    const std::size_t equals = item.find('=');
    const std::string key = item.substr(0, equals);
    if (equals == std::string::npos || !TVersionResource::KnownKey(key))
      throw UsageError("--version-string " + Printable(item) + ": KEY=VALUE with KEY one of CompanyName, "
                       "FileDescription, LegalCopyright, ProductName, ProductVersion, OriginalFilename, "
                       "InternalName, Comments, FileVersion");
    version_->SetString(key, rtl::ToWide(item.substr(equals + 1)));
  }
  const std::size_t size = version_->Write().size();
  if (size > kMaxVersionSize)
    throw UsageError("--version-string: the version information would take " + std::to_string(size) +
                     " bytes, more than a version resource holds (" + std::to_string(kMaxVersionSize) +
                     "); shorten the strings");
}

std::string TStubIdentity::Apply(const std::string& stub, const std::string& stubName) const {
  if (!icon_ && !version_) return stub;
  const TResourceSection section(stub);
  if (!section.Failure().empty()) throw FileError(stubName, "its resources cannot be read: " + section.Failure());
  TResourceTree tree = section.Tree();
  if (icon_) {
    tree.RemoveType(kIcon);
    tree.RemoveType(kGroupIcon);
    for (std::size_t i = 0; i < icon_->Images().size(); ++i)
      tree.Set(kIcon, static_cast<std::uint16_t>(kFirstIconId + i), language_, icon_->Images()[i]);
    tree.Set(kGroupIcon, kGroupId, language_, icon_->Group(kFirstIconId));
  }
  if (version_) {
    tree.RemoveType(kVersion);
    tree.Set(kVersion, kVersionId, language_, version_->Write());
  }
  return TResourceSection::Rebuild(stub, tree, stubName);
}
