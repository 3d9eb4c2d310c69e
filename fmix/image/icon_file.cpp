#include "fmix/image/icon_file.h"

#include <algorithm>

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
// its size at 8 and its offset in the file at 12. The places are checked
// before any image is copied.
bool TIconFile::Read(const std::string& bytes) {
  std::uint16_t reserved = 1, type = 0, count = 0;
  if (!GetLe(bytes, 0, reserved) || !GetLe(bytes, 2, type) || !GetLe(bytes, 4, count) || reserved != 0 ||
      type != 1 || count == 0)
    return Fail("not an icon file (.ico)");
  if (count > kMaxImages)
    return Fail("the icon's directory lists " + std::to_string(count) + " images; an icon holds at most " +
                std::to_string(kMaxImages));
  const std::size_t directoryEnd = kHeaderSize + kEntrySize * count;
  if (directoryEnd > bytes.size())
    return Fail("the icon file is cut off inside its directory of " + std::to_string(count) + " images");
  std::vector<Place> places;
  for (std::uint16_t i = 0; i < count; ++i) {
    Place place{0, 0, i + 1};
    GetLe(bytes, kHeaderSize + kEntrySize * i + 8, place.size);
    GetLe(bytes, kHeaderSize + kEntrySize * i + 12, place.offset);
    if (place.size == 0 || place.offset > bytes.size() || place.size > bytes.size() - place.offset)
      return Fail(ImageName(place) + " lies outside the file");
    if (place.offset < directoryEnd) return Fail(ImageName(place) + " begins inside the icon's directory");
    places.push_back(place);
  }
  if (!CheckApart(places)) return false;
  for (const Place& place : places) {
    images_.push_back(bytes.substr(place.offset, place.size));
    if (!IsImage(images_.back())) return Fail(ImageName(place) + " is neither a bitmap nor PNG");
    entries_.push_back(bytes.substr(kHeaderSize + kEntrySize * (place.number - 1), 12));
  }
  return true;
}

// Each image in bytes of its own, as every icon editor writes them: a file
// that names one image 256 times would otherwise become 256 copies of it.
bool TIconFile::CheckApart(std::vector<Place> places) {
  std::stable_sort(places.begin(), places.end(), [](const Place& a, const Place& b) { return a.offset < b.offset; });
  for (std::size_t i = 1; i < places.size(); ++i)
    if (std::uint64_t{places[i - 1].offset} + places[i - 1].size > places[i].offset) {
      const auto [low, high] = std::minmax(places[i - 1].number, places[i].number);
      return Fail("images " + std::to_string(low) + " and " + std::to_string(high) +
                  " of the icon share bytes, which no icon editor writes");
    }
  return true;
}

std::string TIconFile::ImageName(const Place& place) {
  return "image " + std::to_string(place.number) + " of the icon";
}

bool TIconFile::Fail(const std::string& failure) {
  failure_ = failure;
  return false;
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
