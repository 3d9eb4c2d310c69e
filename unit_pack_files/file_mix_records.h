// The pack's on-disk records, laid out byte for byte: an 11-byte header and
// 265-byte directory records, little-endian, with no filler.
#pragma once

#include <cstdint>
#include <string>

#pragma pack(push, 1)

struct TFileMixHeader {
  char Magic[4];             // "fMix"
  std::uint8_t Version;      // 1; not examined by the reader
  std::uint16_t EntryCount;  // number of directory records
  std::uint32_t TotalSize;   // size of the whole pack; not examined by the reader
};

struct TFileMixEntry {
  char Name[256];            // system code page, NUL-filled; all 256 bytes when no NUL
  std::uint32_t DataOffset;  // from the first byte of the pack
  std::uint32_t DataSize;
  std::uint8_t Scramble;     // 0 stored, 1 mode 1, 2 mode 2; others read as stored
};

#pragma pack(pop)

static_assert(sizeof(TFileMixHeader) == 11, "the pack header is 11 bytes");
static_assert(sizeof(TFileMixEntry) == 265, "a directory record is 265 bytes");

constexpr char kFileMixMagic[4] = {'f', 'M', 'i', 'x'};

// The record's name: its bytes up to the first NUL, at most 256.
inline std::string EntryName(const TFileMixEntry& entry) {
  std::size_t size = 0;
  while (size < sizeof entry.Name && entry.Name[size] != '\0') ++size;
  return std::string(entry.Name, size);
}
