#include "tests/pack_fixtures.h"


namespace pack_fixtures {
namespace {

void Put(std::string& bytes, std::size_t at, std::uint32_t value, int width) {
  if (bytes.size() < at + width) bytes.resize(at + width, '.');
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

std::uint32_t Get(const std::string& bytes, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
  return value;
}

}  // namespace

std::string Pack(const std::vector<Record>& records) {
  std::string header = "fMix";
  Put(header, 4, 1, 1);
  Put(header, 5, static_cast<std::uint32_t>(records.size()), 2);
  const std::uint32_t start = 11 + 265 * static_cast<std::uint32_t>(records.size());
  std::string directory, data;
  for (const Record& r : records) {
    std::string record = r.name.substr(0, 256);
    record.resize(256, '\0');
    Put(record, 256, start + static_cast<std::uint32_t>(data.size()), 4);
    Put(record, 260, static_cast<std::uint32_t>(r.data.size()), 4);
    Put(record, 264, r.scramble, 1);
    directory += record;
    data += r.data;
  }
  Put(header, 7, start + static_cast<std::uint32_t>(data.size()), 4);
  return header + directory + data;
}

void SetRecordField(std::string& pack, int index, int offsetInRecord, std::uint32_t value) {
  Put(pack, 11 + 265 * static_cast<std::size_t>(index) + offsetInRecord, value, 4);
}

std::string Image(std::uint32_t rawPointer, std::uint32_t rawSize, std::uint16_t sections,
                  std::uint16_t peOffset) {
  std::string image = "MZ";
  Put(image, 60, peOffset, 4);
  Put(image, peOffset, 0x00004550, 4);  // "PE\0\0"
  Put(image, peOffset + 6u, sections, 2);
  Put(image, peOffset + 20u, 224, 2);
  const std::size_t last = peOffset + 248u + 40u * (sections - 1u);
  Put(image, last + 16, rawSize, 4);
  Put(image, last + 20, rawPointer, 4);
  if (image.size() < std::uint64_t{rawPointer} + rawSize) image.resize(rawPointer + rawSize, '.');
  return image;
}

std::uint32_t EndOfSections(const std::string& image) {
  const std::uint32_t pe = Get(image, 60, 4);
  const std::uint32_t count = Get(image, pe + 6, 2);
  const std::uint32_t table = pe + 24 + Get(image, pe + 20, 2);
  const std::size_t last = table + 40 * (count - 1);
  return Get(image, last + 20, 4) + Get(image, last + 16, 4);
}

std::vector<std::string> WineImages() {
#ifdef _WIN32
  const std::string folder = "Z:\\usr\\lib\\i386-linux-gnu\\wine\\i386-windows\\";
#else
  const std::string folder = "/usr/lib/i386-linux-gnu/wine/i386-windows/";
#endif
  return {folder + "notepad.exe", folder + "winver.exe", folder + "hostname.exe"};
}

}  // namespace pack_fixtures
