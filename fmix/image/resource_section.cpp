#include "fmix/image/resource_section.h"

#include <algorithm>

#include "fmix/report/cli_error.h"
#include "rtl/le_bytes.h"

namespace {

constexpr std::size_t kSectionRecord = 40;
constexpr std::size_t kResourceDirectory = 2;
constexpr std::uint32_t kResourceCharacteristics = 0x40000040;  // initialized data, readable

// Where the headers of a 32-bit image keep what a rebuild changes.
struct Headers {
  std::uint64_t pe = 0;
  std::uint64_t optional = 0;  // the optional header
  std::uint64_t sectionTable = 0;
  std::uint16_t sections = 0;
  std::uint32_t directoryCount = 0;

  explicit Headers(const std::string& image) {
    std::uint32_t start = 0;
    std::uint16_t optionalSize = 0;
    if (!GetLe(image, 60, start)) return;
    pe = start;
    if (!GetLe(image, pe + 6, sections) || !GetLe(image, pe + 20, optionalSize) ||
        !GetLe(image, pe + 24 + 92, directoryCount))
      return;
    optional = pe + 24;
    sectionTable = optional + optionalSize;
  }
  std::uint64_t Directory(std::size_t index) const { return optional + 96 + 8 * index; }
  std::uint64_t Record(std::size_t index) const { return sectionTable + kSectionRecord * index; }
  std::uint32_t Get32(const std::string& image, std::uint64_t offset) const {
    std::uint32_t value = 0;
    GetLe(image, offset, value);
    return value;
  }
  // Where the highest section ends in memory: a new section goes behind it.
  std::uint64_t EndOfImage(const std::string& image) const {
    std::uint64_t end = 0;
    for (std::uint16_t i = 0; i < sections; ++i)
      end = std::max(end, std::uint64_t{Get32(image, Record(i) + 12)} +
                              std::max(Get32(image, Record(i) + 8), Get32(image, Record(i) + 16)));
    return end;
  }
};

// The file alignment of an image is a power of two up to 64 KiB; a 32-bit
// image spans at most 2 GB.
constexpr std::uint32_t kMaxFileAlignment = 0x10000;
constexpr std::uint64_t kMaxImageSize = 0x80000000u;

bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

std::uint32_t AlignUp(std::uint64_t value, std::uint32_t alignment) {
  return static_cast<std::uint32_t>((value + alignment - 1) / alignment * alignment);
}

}  // namespace

// The resource directory's bytes run from its address to the end of the
// raw data of the section that holds it.
TResourceSection::TResourceSection(const std::string& image) {
  const Headers headers(image);
  if (headers.directoryCount <= kResourceDirectory) return;
  const std::uint32_t rva = headers.Get32(image, headers.Directory(kResourceDirectory));
  if (rva == 0) return;
  for (std::uint16_t i = 0; i < headers.sections; ++i) {
    const std::uint32_t address = headers.Get32(image, headers.Record(i) + 12);
    const std::uint32_t rawSize = headers.Get32(image, headers.Record(i) + 16);
    const std::uint32_t raw = headers.Get32(image, headers.Record(i) + 20);
    if (rva < address || rva - address >= rawSize) continue;
    if (std::uint64_t{raw} + rawSize > image.size()) break;
    tree_ = TResourceTree(image.substr(raw + (rva - address), rawSize - (rva - address)), rva);
    failure_ = tree_.Failure();
    return;
  }
  failure_ = "the resource directory lies in no section of the file";
}

std::string TResourceSection::Rebuild(const std::string& image, const TResourceTree& tree,
                                      const std::string& imageName) {
  const Headers headers(image);
  std::uint32_t headerSize = 0, firstRaw = 0;
  GetLe(image, headers.optional + 60, headerSize);
  GetLe(image, headers.Record(0) + 20, firstRaw);
  const std::uint64_t record = headers.Record(headers.sections);
  if (headers.directoryCount <= kResourceDirectory || record + kSectionRecord > headerSize ||
      record + kSectionRecord > firstRaw || record + kSectionRecord > image.size() || image.find_first_not_of('\0', record) < record + kSectionRecord)
    throw FileError(imageName, "the stub's headers have no room for another section");

  const std::uint32_t sectionAlignment = headers.Get32(image, headers.optional + 32);
  const std::uint32_t fileAlignment = headers.Get32(image, headers.optional + 36);
  if (!IsPowerOfTwo(sectionAlignment) || !IsPowerOfTwo(fileAlignment) || fileAlignment > kMaxFileAlignment)
    throw FileError(imageName, "the stub's headers give no valid section and file alignment");
  const std::uint64_t end = headers.EndOfImage(image);
  if (end > kMaxImageSize) throw FileError(imageName, "the stub's sections reach past 2 GB");
  const std::uint32_t rva = AlignUp(end, sectionAlignment);
  std::string section = tree.Write(rva);
  const std::uint32_t virtualSize = static_cast<std::uint32_t>(section.size());
  PadTo(section, fileAlignment);

  std::string out = image;
  out.replace(record, kSectionRecord, std::string(".rsrc\0\0\0", 8) + std::string(32, '\0'));
  SetLe<std::uint32_t>(out, record + 8, virtualSize);
  SetLe<std::uint32_t>(out, record + 12, rva);
  SetLe<std::uint32_t>(out, record + 16, static_cast<std::uint32_t>(section.size()));
  SetLe<std::uint32_t>(out, record + 20, static_cast<std::uint32_t>(out.size()));
  SetLe<std::uint32_t>(out, record + 36, kResourceCharacteristics);
  SetLe<std::uint16_t>(out, headers.pe + 6, static_cast<std::uint16_t>(headers.sections + 1));
  SetLe<std::uint32_t>(out, headers.optional + 8,
                       headers.Get32(image, headers.optional + 8) + static_cast<std::uint32_t>(section.size()));
  SetLe<std::uint32_t>(out, headers.optional + 56, AlignUp(std::uint64_t{rva} + virtualSize, sectionAlignment));
  SetLe<std::uint32_t>(out, headers.Directory(kResourceDirectory), rva);
  SetLe<std::uint32_t>(out, headers.Directory(kResourceDirectory) + 4, virtualSize);
  out += section;
  SetLe<std::uint32_t>(out, headers.optional + 64, Checksum(out));
  return out;
}

// The one's-complement sum of the image's 16-bit words, folded to 16 bits,
// plus the file's length.
std::uint32_t TResourceSection::Checksum(const std::string& image) {
  const Headers headers(image);
  const std::uint64_t field = headers.optional + 64;
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < image.size(); i += 2) {
    if (i == field || i == field + 2) continue;
    std::uint16_t word = static_cast<unsigned char>(image[i]);
    if (i + 1 < image.size()) word |= static_cast<std::uint16_t>(static_cast<unsigned char>(image[i + 1]) << 8);
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return static_cast<std::uint32_t>(sum + image.size());
}
