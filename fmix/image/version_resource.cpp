#include "fmix/image/version_resource.h"

#include <cstdio>
#include <vector>

#include "rtl/le_bytes.h"

namespace {

constexpr std::uint16_t kCodePage = 1200;  // UTF-16
constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedSize = 52;
constexpr std::uint32_t kFileOsNtWindows32 = 0x00040004;
constexpr std::uint32_t kFileTypeApp = 1;
const char* const kKnownKeys[] = {"CompanyName",      "FileDescription", "LegalCopyright", "ProductName",
                                  "ProductVersion",   "OriginalFilename", "InternalName",  "Comments",
                                  "FileVersion"};

std::u16string AsciiToUtf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Narrow(const std::u16string& ascii) {
  std::string text;
  for (char16_t c : ascii) text += c < 0x80 ? static_cast<char>(c) : '?';
  return text;
}

bool ParseVersion(const std::string& text, std::uint64_t& version) {
  unsigned parts[4];
  char end = 0;
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &end) != 4 ||
      text.find_first_not_of("0123456789.") != std::string::npos)
    return false;
  std::uint64_t value = 0;
  for (unsigned part : parts) {
    if (part > 0xFFFF) return false;
    value = value << 16 | part;
  }
  version = value;
  return true;
}

std::string VersionText(std::uint64_t version) {
  return std::to_string(version >> 48) + "." + std::to_string(version >> 32 & 0xFFFF) + "." +
         std::to_string(version >> 16 & 0xFFFF) + "." + std::to_string(version & 0xFFFF);
}

// A block: wLength, wValueLength, wType (1 text, 0 binary), the key as
// UTF-16 with its NUL, the value and the children, each 32-bit aligned.
std::string BlockBytes(const std::u16string& key, const std::string& value, std::uint16_t valueLength,
                       std::uint16_t type, const std::vector<std::string>& children) {
  std::string block(6, '\0');
  for (char16_t c : key + u'\0') AppendLe<std::uint16_t>(block, c);
  PadTo(block, 4);
  block += value;
  for (const std::string& child : children) {
    PadTo(block, 4);
    block += child;
  }
  SetLe<std::uint16_t>(block, 0, static_cast<std::uint16_t>(block.size()));
  SetLe<std::uint16_t>(block, 2, valueLength);
  SetLe<std::uint16_t>(block, 4, type);
  return block;
}

std::string TextBlock(const std::string& key, const std::u16string& text) {
  std::string value;
  for (char16_t c : text + u'\0') AppendLe<std::uint16_t>(value, c);
  return BlockBytes(AsciiToUtf16(key), value, static_cast<std::uint16_t>(text.size() + 1), 1, {});
}

std::string TableKey(std::uint16_t language) {
  char key[9];
  std::snprintf(key, sizeof key, "%04x%04x", language, kCodePage);
  return key;
}

}  // namespace

struct TVersionResource::Block {
  std::u16string key;
  std::string value;
  std::vector<Block> children;

  // The block at offset, which must end inside bytes; false when it is malformed.
  bool Read(const std::string& bytes, std::size_t offset, std::size_t end) {
    std::uint16_t length = 0, valueLength = 0, type = 0;
    if (!GetLe(bytes, offset, length) || !GetLe(bytes, offset + 2, valueLength) ||
        !GetLe(bytes, offset + 4, type) || length < 6 || offset + length > end || type > 1)
      return false;
    end = offset + length;
    std::size_t at = offset + 6;
    for (std::uint16_t c = 0; GetLe(bytes, at, c) && at + 2 <= end && c != 0; at += 2) key += c;
    if ((at += 2) > end) return false;
    at = (at + 3) & ~std::size_t{3};
    const std::size_t valueBytes = type == 1 ? 2u * valueLength : valueLength;
    if (valueBytes != 0 && at + valueBytes > end) return false;
    if (valueBytes != 0) value = bytes.substr(at, valueBytes);
    for (at = (at + valueBytes + 3) & ~std::size_t{3}; at < end; at = (at + 3) & ~std::size_t{3}) {
      children.emplace_back();
      if (!children.back().Read(bytes, at, end)) return false;
      std::uint16_t childLength = 0;
      GetLe(bytes, at, childLength);
      at += childLength;
    }
    return true;
  }
};

TVersionResource::TVersionResource(std::uint16_t language) : language_(language) {}

TVersionResource::TVersionResource(const std::string& bytes) {
  if (!Read(bytes)) failure_ = "the version information is malformed";
}

bool TVersionResource::KnownKey(const std::string& key) {
  for (const char* known : kKnownKeys)
    if (key == known) return true;
  return false;
}

bool TVersionResource::SetFileVersion(const std::string& version) { return ParseVersion(version, fileVersion_); }

bool TVersionResource::SetProductVersion(const std::string& version) {
  return ParseVersion(version, productVersion_);
}

void TVersionResource::SetString(const std::string& key, const std::u16string& value) { strings_[key] = value; }

std::string TVersionResource::FileVersion() const { return VersionText(fileVersion_); }

std::u16string TVersionResource::String(const std::string& key) const {
  const auto found = strings_.find(key);
  return found == strings_.end() ? std::u16string() : found->second;
}

// VS_VERSIONINFO: the fixed part (VS_FIXEDFILEINFO), then StringFileInfo
// with one table for the language in UTF-16, then VarFileInfo's Translation.
std::string TVersionResource::Write() const {
  std::string fixed;
  for (std::uint32_t field : {kFixedSignature, 0x00010000u, static_cast<std::uint32_t>(fileVersion_ >> 32),
                              static_cast<std::uint32_t>(fileVersion_), static_cast<std::uint32_t>(productVersion_ >> 32),
                              static_cast<std::uint32_t>(productVersion_), 0x3Fu, 0u, kFileOsNtWindows32, kFileTypeApp,
                              0u, 0u, 0u})
    AppendLe(fixed, field);
  std::map<std::string, std::u16string> strings = strings_;
  strings.emplace("FileVersion", AsciiToUtf16(VersionText(fileVersion_)));
  strings.emplace("ProductVersion", AsciiToUtf16(VersionText(productVersion_)));
  std::vector<std::string> texts;
  for (const auto& [key, value] : strings) texts.push_back(TextBlock(key, value));
  std::string translation;
  AppendLe<std::uint16_t>(translation, language_);
  AppendLe<std::uint16_t>(translation, kCodePage);
  const std::string table = BlockBytes(AsciiToUtf16(TableKey(language_)), "", 0, 1, texts);
  return BlockBytes(u"VS_VERSION_INFO", fixed, kFixedSize, 0,
                    {BlockBytes(u"StringFileInfo", "", 0, 1, {table}),
                     BlockBytes(u"VarFileInfo", "", 0, 1, {BlockBytes(u"Translation", translation, 4, 0, {})})});
}

bool TVersionResource::Read(const std::string& bytes) {
  Block root;
  std::uint32_t signature = 0, high = 0, low = 0;
  if (!root.Read(bytes, 0, bytes.size()) || root.key != u"VS_VERSION_INFO" || root.value.size() != kFixedSize ||
      !GetLe(root.value, 0, signature) || signature != kFixedSignature)
    return false;
  GetLe(root.value, 8, high);
  GetLe(root.value, 12, low);
  fileVersion_ = std::uint64_t{high} << 32 | low;
  GetLe(root.value, 16, high);
  GetLe(root.value, 20, low);
  productVersion_ = std::uint64_t{high} << 32 | low;
  for (const Block& child : root.children)
    if (child.key == u"StringFileInfo") ReadStrings(child);
  return true;
}

// The first table's strings; a value runs to its NUL.
void TVersionResource::ReadStrings(const Block& stringFileInfo) {
  if (stringFileInfo.children.empty()) return;
  for (const Block& text : stringFileInfo.children.front().children) {
    std::u16string value;
    for (std::size_t at = 0; at + 1 < text.value.size(); at += 2) {
      std::uint16_t c = 0;
      GetLe(text.value, at, c);
      if (c == 0) break;
      value += c;
    }
    strings_[Narrow(text.key)] = value;
  }
}
