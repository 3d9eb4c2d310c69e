#include "tar_xz/tar_header.h"

#include <cstring>

namespace {

// ustar field offsets and sizes.
constexpr std::size_t kName = 0, kNameSize = 100, kSize = 124, kSizeSize = 12, kChecksum = 148,
                      kChecksumSize = 8, kType = 156, kMagic = 257, kPrefix = 345, kPrefixSize = 155;

std::string Field(const unsigned char* block, std::size_t at, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(block + at);
  return std::string(text, strnlen(text, size));
}

// An octal number, padded with blanks or NULs on either side.
bool ParseOctal(const unsigned char* field, std::size_t size, std::uint64_t& value) {
  std::size_t i = 0;
  while (i < size && field[i] == ' ') ++i;
  value = 0;
  bool digits = false;
  for (; i < size && field[i] >= '0' && field[i] <= '7'; ++i, digits = true) {
    if (value >> 60) return false;
    value = value * 8 + (field[i] - '0');
  }
  for (; i < size; ++i)
    if (field[i] != ' ' && field[i] != '\0') return false;
  return digits;
}

bool ParseDecimal(const std::string& text, std::uint64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return true;
}

}  // namespace

bool TTarHeader::IsEnd(const unsigned char* block) {
  for (std::size_t i = 0; i < kBlock; ++i)
    if (block[i] != 0) return false;
  return true;
}

bool TTarHeader::Parse(const unsigned char* block) {
  // The sum of the header's bytes, its checksum field taken as blanks; old
  // tars summed them as signed chars.
  std::uint64_t stored = 0, sum = 0, signedSum = 0;
  if (!ParseOctal(block + kChecksum, kChecksumSize, stored)) return false;
  for (std::size_t i = 0; i < kBlock; ++i) {
    const bool checksum = i >= kChecksum && i < kChecksum + kChecksumSize;
    sum += checksum ? ' ' : block[i];
    signedSum += checksum ? ' ' : static_cast<signed char>(block[i]);
  }
  if ((sum != stored && signedSum != stored) || !ParseOctal(block + kSize, kSizeSize, size_)) return false;
  const bool posix = std::memcmp(block + kMagic, "ustar\0" "00", 8) == 0;
  const bool v7 = !posix && std::memcmp(block + kMagic, "ustar  \0", 8) != 0;
  type_ = static_cast<char>(block[kType]);
  name_ = Field(block, kName, kNameSize);
  const std::string prefix = posix ? Field(block, kPrefix, kPrefixSize) : std::string();
  if (!prefix.empty()) name_ = prefix + '/' + name_;
  // v7 knew no folder type: a regular entry whose name ends in '/' is one.
  if (v7 && (type_ == '0' || type_ == '\0') && !name_.empty() && name_.back() == '/') type_ = kFolder;
  utf8_ = false;
  return true;
}

// Records read "LENGTH KEY=VALUE\n", LENGTH counting the whole record.
bool TTarHeader::ApplyPax(const std::string& records) {
  std::string sparseName;
  std::size_t at = 0;
  while (at < records.size()) {
    const std::size_t blank = records.find(' ', at);
    std::uint64_t length = 0;
    if (blank == std::string::npos || !ParseDecimal(records.substr(at, blank - at), length) ||
        length <= blank + 1 - at || length > records.size() - at || records[at + length - 1] != '\n')
      return false;
    const std::string record = records.substr(blank + 1, at + length - 1 - (blank + 1));
    const std::size_t equals = record.find('=');
    if (equals == std::string::npos) return false;
    const std::string key = record.substr(0, equals), value = record.substr(equals + 1);
    if (key == "path") {
      name_ = value;
      utf8_ = true;
    } else if (key == "size" && !ParseDecimal(value, size_)) {
      return false;
    } else if (key.compare(0, 11, "GNU.sparse.") == 0) {
      sparse_ = true;
      if (key == "GNU.sparse.name") sparseName = value;
    }
    at += length;
  }
  // GNU tar stores a sparse file under a made-up path, its own name here.
  if (!sparseName.empty()) {
    name_ = sparseName;
    utf8_ = true;
  }
  return true;
}

void TTarHeader::ApplyLongName(const std::string& body) {
  name_ = body.substr(0, body.find('\0'));
  utf8_ = false;
}
