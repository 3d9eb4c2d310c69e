// Packs and image layouts built byte by byte, independently of the pack unit,
// for the tests of the locator and the reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pack_fixtures {

struct Record {
  std::string name;  // NUL-filled to 256 bytes; 256 bytes leave no NUL
  std::string data;  // stored as given
  std::uint8_t scramble = 0;
};

// Header, directory and data back to back, Version 1, TotalSize the size.
std::string Pack(const std::vector<Record>& records);
// Little-endian 32-bit field of record index, at offset 256 or 260 in it.
void SetRecordField(std::string& pack, int index, int offsetInRecord, std::uint32_t value);
constexpr int kDataOffset = 256;
constexpr int kDataSize = 260;

// A file laid out as the locator reads a 32-bit PE image: "MZ", the PE header
// at peOffset, the section count, and the last of the sections' records with
// its raw-data pointer and size. Filled with "." up to the end of that raw
// data, so the file ends where the sections end.
std::string Image(std::uint32_t rawPointer, std::uint32_t rawSize, std::uint16_t sections = 3,
                  std::uint16_t peOffset = 0x80);

// The end of the last section's raw data of a real PE image, found through
// the whole header (32-bit e_lfanew, 16-bit section count, the stored
// optional-header size) rather than the locator's fixed offsets.
std::uint32_t EndOfSections(const std::string& image);

// Wine's own 32-bit executables, as the running build names them.
std::vector<std::string> WineImages();

}  // namespace pack_fixtures
