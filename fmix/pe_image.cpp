#include "fmix/pe_image.h"

#include <cstring>

namespace {

constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint16_t kFileDll = 0x2000;
constexpr std::size_t kSecurityDirectory = 4;

// Little-endian field of width T at offset; false when it lies outside.
template <class T>
bool Field(const std::string& bytes, std::uint64_t offset, T& value) {
  if (offset + sizeof(T) > bytes.size()) return false;
  value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i)
    value |= static_cast<T>(static_cast<T>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i));
  return true;
}

}  // namespace

TPeImage::TPeImage(const std::string& bytes) { valid_ = Parse(bytes); }

bool TPeImage::Parse(const std::string& bytes) {
  std::uint32_t pe = 0;
  std::uint16_t sections = 0, optionalSize = 0, characteristics = 0, magic = 0;
  if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
  if (!Field(bytes, 60, pe) || !Field(bytes, pe + 6ull, sections) ||
      !Field(bytes, pe + 20ull, optionalSize) || !Field(bytes, pe + 22ull, characteristics) ||
      !Field(bytes, pe + 24ull, magic))
    return false;
  if (std::memcmp(bytes.data() + pe, "PE\0\0", 4) != 0 || sections == 0) return false;
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) return false;
  is32Bit_ = magic == kMagicPe32;
  isDll_ = (characteristics & kFileDll) != 0;

  const std::uint64_t directories = pe + 24ull + (is32Bit_ ? 96 : 112);
  std::uint32_t directoryCount = 0;
  if (!Field(bytes, directories - 4, directoryCount)) return false;
  if (directoryCount > kSecurityDirectory &&
      (!Field(bytes, directories + 8 * kSecurityDirectory, certificateOffset_) ||
       !Field(bytes, directories + 8 * kSecurityDirectory + 4, certificateSize_)))
    return false;

  const std::uint64_t lastSection = pe + 24ull + optionalSize + 40ull * (sections - 1);
  std::uint32_t rawSize = 0, rawPointer = 0;
  if (!Field(bytes, lastSection + 16, rawSize) || !Field(bytes, lastSection + 20, rawPointer))
    return false;
  endOfSections_ = static_cast<std::uint64_t>(rawPointer) + rawSize;
  return true;
}
