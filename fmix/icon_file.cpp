#include "fmix/icon_file.h"

#include "rtl/le_bytes.h"

namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;  // ICONDIRENTRY
constexpr std::uint32_t kBitmapInfoSize = 40;
const char kPngSignature[] = "\x89PNG\r\n\x1a\n";

bool IsImage(const std::string& image) {
  std::uint32_t headerSize = 0;
  return image.compare(0, 8, kPngSignature, 8) == 0 || (GetLe(image, 0, headerSize) && headerSize == kBitmapInfoSize);
}

}  // namespace

TIconFile::TIconFile(const std::string& bytes) {
  if (!Read(bytes)) {
    entries_.clear();
    images_.clear();
  }
}

// ICONDIR: reserved 0, type 1, the count; then an ICONDIRENTRY per image,
// its size at 8 and its offset in the file at 12.
bool TIconFile::Read(const std::string& bytes) {
  std::uint16_t reserved = 1, type = 0, count = 0;
  if (!GetLe(bytes, 0, reserved) || !GetLe(bytes, 2, type) || !GetLe(bytes, 4, count) || reserved != 0 ||
      type != 1 || count == 0) {
    failure_ = "not an icon file (.ico)";
    return false;
  }
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::size_t entry = kHeaderSize + kEntrySize * i;
    std::uint32_t size = 0, offset = 0;
    if (!GetLe(bytes, entry + 8, size) || !GetLe(bytes, entry + 12, offset) || size == 0 ||
        offset > bytes.size() || size > bytes.size() - offset) {
      failure_ = "image " + std::to_string(i + 1) + " of the icon lies outside the file";
      return false;
    }
    images_.push_back(bytes.substr(offset, size));
    if (!IsImage(images_.back())) {
      failure_ = "image " + std::to_string(i + 1) + " of the icon is neither a bitmap nor PNG";
      return false;
    }
    entries_.push_back(bytes.substr(entry, 12));
  }
  return true;
}

// GRPICONDIR: the ICONDIR header, then per image the first 12 bytes of its
// ICONDIRENTRY and its resource number in place of the offset.
std::string TIconFile::Group(std::uint16_t firstId) const {
  std::string group;
  AppendLe<std::uint16_t>(group, 0);
  AppendLe<std::uint16_t>(group, 1);
  AppendLe<std::uint16_t>(group, static_cast<std::uint16_t>(entries_.size()));
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    group += entries_[i];
    AppendLe<std::uint16_t>(group, static_cast<std::uint16_t>(firstId + i));
  }
  return group;
}
