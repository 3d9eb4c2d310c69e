#include "unit_pack_files/pack_locator.h"

#include <cstdint>
#include <limits>

#include "rtl/le_bytes.h"
#include "rtl/text.h"
#include "velm_stream/tv_file_stream.h"

namespace {

template <class T>
T ReadAt(TVFileStream& file, std::int64_t position) {
  unsigned char bytes[sizeof(T)] = {};
  file.SetPosition(position);
  file.ReadBuffer(bytes, sizeof bytes);
  return LoadLe<T>(bytes);
}

// The end of the last section's raw data, from fixed offsets of a 32-bit PE
// image; -1 when that end is no usable file position.
std::int64_t EndOfSections(TVFileStream& file) {
  const std::int64_t pe = ReadAt<std::uint16_t>(file, 60);
  const std::int64_t sections = ReadAt<std::uint8_t>(file, pe + 6);
  const std::uint32_t rawSize = ReadAt<std::uint32_t>(file, pe + 224 + 40 * sections);
  const std::uint32_t rawPointer = ReadAt<std::uint32_t>(file, pe + 228 + 40 * sections);
  const std::uint64_t end = static_cast<std::uint64_t>(rawPointer) + rawSize;
  if (end > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return -1;
  return static_cast<std::int64_t>(end);
}

// Reads single bytes from the current position until one is "f".
bool ScanForPackStart(TVFileStream& file) {
  char byte = 0;
  while (file.Read(&byte, 1) == 1)
    if (byte == 'f') return true;
  return false;
}

}  // namespace

bool LoadAppendedPack(const std::u16string& fileName, TVStream& dest, bool copyData) {
  if (!rtl::FileExists(fileName)) return false;
  TVFileStream file(fileName, TVFileStream::kOpenShareRead);
  return LoadAppendedPack(file, dest, copyData);
}

bool LoadAppendedPack(TVFileStream& file, TVStream& dest, bool copyData) {
  const char first = ReadAt<char>(file, 0);
  if (first != 'M' && first != 'm') return false;
  const std::int64_t end = EndOfSections(file);
  const std::int64_t fileSize = file.GetSize();
  if (end < 0 || end > fileSize) return false;
  file.SetPosition(end);
  if (!ScanForPackStart(file)) return false;
  file.SetPosition(end);
  if (copyData) {
    // A pack that does not fit in a memory stream's block fails at once
    // rather than after the block has moved for hours.
    dest.Reserve(fileSize - end);
    dest.CopyFrom(file, fileSize - end);
    dest.SetPosition(0);
  }
  return true;
}
