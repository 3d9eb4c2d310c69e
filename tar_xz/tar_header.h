// TTarHeader: one 512-byte header of a tar archive (POSIX ustar, the GNU
// form of its magic, or Unix v7's, which has no magic and only the name
// field), and the extensions that rename or resize the entry after them: a
// pax extended header ('x': path, size) and a GNU long name ('L'). Sparse
// files (GNU's type 'S', or pax's GNU.sparse keys) are recognised, so that
// they can be refused rather than read as their stored pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TTarHeader {
 public:
  static constexpr std::size_t kBlock = 512;
  static constexpr char kPax = 'x', kPaxGlobal = 'g', kLongName = 'L', kLongLink = 'K';
  static constexpr char kFolder = '5', kSparse = 'S';

  // An all-zero block: the end of the archive.
  static bool IsEnd(const unsigned char* block);
  // Reads block; false when it is no ustar header or its checksum fails.
  [[nodiscard]] bool Parse(const unsigned char* block);
  // Applies a pax extended header's records; false when they are malformed.
  [[nodiscard]] bool ApplyPax(const std::string& records);
  // Applies a GNU long name (the body of an 'L' entry).
  void ApplyLongName(const std::string& body);

  char Type() const { return type_; }
  bool IsFile() const { return type_ == '0' || type_ == '\0' || type_ == '7'; }
  bool IsSparse() const { return sparse_ || type_ == kSparse; }
  // The name as stored: UTF-8 when it came from a pax header.
  const std::string& Name() const { return name_; }
  bool NameIsUtf8() const { return utf8_; }
  std::uint64_t Size() const { return size_; }

 private:
  std::string name_;
  bool utf8_ = false;
  std::uint64_t size_ = 0;
  char type_ = 0;
  bool sparse_ = false;
};
