#include "fmix/image/pe_image.h"

#include <algorithm>
#include <cstring>

#include "rtl/le_bytes.h"

namespace {

constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint16_t kFileDll = 0x2000;
constexpr std::size_t kExportDirectory = 0;
constexpr std::size_t kImportDirectory = 1;
constexpr std::size_t kSecurityDirectory = 4;
constexpr std::size_t kImportDescriptorSize = 20;
constexpr std::uint32_t kMaxExportNames = 0x10000;
// Bounds that keep a hostile image from costing time and memory: the Windows
// loader takes at most 96 sections; a DLL name is a file name of at most 255
// bytes; a plug-in imports from a few dozen DLLs, not hundreds.
constexpr std::uint16_t kMaxSections = 96;
constexpr std::size_t kMaxNameLength = 255;
constexpr std::size_t kMaxImportDescriptors = 256;

// The file offset of a relative virtual address, through the section that
// holds it in its raw data; false when no section does or when there are
// more sections than the loader takes.
bool RvaToOffset(const std::string& bytes, std::uint64_t sectionTable, std::uint16_t sections,
                 std::uint32_t rva, std::uint64_t& offset) {
  if (sections > kMaxSections) return false;
  for (std::uint16_t i = 0; i < sections; ++i) {
    const std::uint64_t record = sectionTable + 40ull * i;
    std::uint32_t address = 0, rawSize = 0, rawPointer = 0;
    if (!GetLe(bytes, record + 12, address) || !GetLe(bytes, record + 16, rawSize) ||
        !GetLe(bytes, record + 20, rawPointer))
      return false;
    if (rva >= address && rva - address < rawSize) {
      offset = std::uint64_t{rawPointer} + (rva - address);
      return true;
    }
  }
  return false;
}

// The NUL-terminated text of at most kMaxNameLength bytes at offset; false
// when it is longer or runs past the file.
bool Text(const std::string& bytes, std::uint64_t offset, std::string& text) {
  if (offset >= bytes.size()) return false;
  const auto span = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size() - offset, kMaxNameLength + 1));
  const void* end = std::memchr(bytes.data() + offset, '\0', span);
  if (!end) return false;
  text.assign(bytes.data() + offset, static_cast<const char*>(end));
  return true;
}

}  // namespace

TPeImage::TPeImage(const std::string& bytes) { valid_ = Parse(bytes); }

bool TPeImage::Parse(const std::string& bytes) {
  std::uint32_t pe = 0;
  std::uint16_t sections = 0, optionalSize = 0, characteristics = 0, magic = 0;
  if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
  if (!GetLe(bytes, 60, pe) || !GetLe(bytes, pe + 6ull, sections) ||
      !GetLe(bytes, pe + 20ull, optionalSize) || !GetLe(bytes, pe + 22ull, characteristics) ||
      !GetLe(bytes, pe + 24ull, magic))
    return false;
  if (std::memcmp(bytes.data() + pe, "PE\0\0", 4) != 0 || sections == 0) return false;
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) return false;
  is32Bit_ = magic == kMagicPe32;
  isDll_ = (characteristics & kFileDll) != 0;

  const std::uint64_t directories = pe + 24ull + (is32Bit_ ? 96 : 112);
  std::uint32_t directoryCount = 0;
  if (!GetLe(bytes, directories - 4, directoryCount)) return false;
  if (directoryCount > kSecurityDirectory &&
      (!GetLe(bytes, directories + 8 * kSecurityDirectory, certificateOffset_) ||
       !GetLe(bytes, directories + 8 * kSecurityDirectory + 4, certificateSize_)))
    return false;

  const std::uint64_t sectionTable = pe + 24ull + optionalSize;
  const std::uint64_t lastSection = sectionTable + 40ull * (sections - 1);
  std::uint32_t rawSize = 0, rawPointer = 0;
  if (!GetLe(bytes, lastSection + 16, rawSize) || !GetLe(bytes, lastSection + 20, rawPointer))
    return false;
  endOfSections_ = static_cast<std::uint64_t>(rawPointer) + rawSize;
  // A damaged export directory leaves the image valid, with no exports.
  if (directoryCount > kExportDirectory && !ParseExports(bytes, directories, sectionTable, sections))
    exports_.clear();
  importsRead_ = directoryCount <= kImportDirectory || ParseImports(bytes, directories, sectionTable, sections);
  return true;
}

// The names of the export directory (IMAGE_EXPORT_DIRECTORY): NumberOfNames
// at 24 and AddressOfNames, an array of name addresses, at 32.
bool TPeImage::ParseExports(const std::string& bytes, std::uint64_t directories,
                            std::uint64_t sectionTable, std::uint16_t sections) {
  std::uint32_t rva = 0, size = 0, count = 0, namesRva = 0;
  std::uint64_t directory = 0, names = 0;
  if (!GetLe(bytes, directories + 8 * kExportDirectory, rva) ||
      !GetLe(bytes, directories + 8 * kExportDirectory + 4, size))
    return false;
  if (rva == 0 && size == 0) return true;
  if (!RvaToOffset(bytes, sectionTable, sections, rva, directory) ||
      !GetLe(bytes, directory + 24, count) || !GetLe(bytes, directory + 32, namesRva) ||
      count > kMaxExportNames ||
      (count > 0 && !RvaToOffset(bytes, sectionTable, sections, namesRva, names)))
    return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t nameRva = 0;
    std::uint64_t name = 0;
    std::string text;
    if (!GetLe(bytes, names + 4ull * i, nameRva) ||
        !RvaToOffset(bytes, sectionTable, sections, nameRva, name) || name >= bytes.size())
      return false;
    if (Text(bytes, name, text)) exports_.push_back(text);  // a longer name is none that fmix asks for
  }
  return true;
}

// The import descriptors (IMAGE_IMPORT_DESCRIPTOR, 20 bytes each, the DLL's
// name address at 12) up to the one of zeros, each DLL named once; more than
// kMaxImportDescriptors of them count as damage.
bool TPeImage::ParseImports(const std::string& bytes, std::uint64_t directories,
                            std::uint64_t sectionTable, std::uint16_t sections) {
  std::uint32_t rva = 0;
  std::uint64_t descriptor = 0;
  if (!GetLe(bytes, directories + 8 * kImportDirectory, rva)) return false;
  if (rva == 0) return true;
  if (!RvaToOffset(bytes, sectionTable, sections, rva, descriptor)) return false;
  for (std::size_t read = 0; read <= kMaxImportDescriptors; ++read, descriptor += kImportDescriptorSize) {
    std::uint32_t nameRva = 0, lookup = 0;
    std::uint64_t name = 0;
    std::string text;
    if (!GetLe(bytes, descriptor + 12, nameRva) || !GetLe(bytes, descriptor, lookup)) return false;
    if (nameRva == 0 && lookup == 0) return true;
    if (!RvaToOffset(bytes, sectionTable, sections, nameRva, name) || !Text(bytes, name, text))
      return false;
    if (std::find(imports_.begin(), imports_.end(), text) == imports_.end()) imports_.push_back(text);
  }
  return false;
}

bool TPeImage::Exports(const std::string& name) const {
  return std::find(exports_.begin(), exports_.end(), name) != exports_.end();
}
