// TVersionResource: the version information of an image (an RT_VERSION
// resource: VS_VERSIONINFO with its VS_FIXEDFILEINFO, one StringFileInfo
// table and the VarFileInfo translation), built from what the publisher
// gives or read back from a resource's bytes.
//
//   TVersionResource version(0x0409);
//   version.SetFileVersion("1.2.3.4");
//   version.SetString("ProductName", u"Example");
//   tree.Set(16, 1, 0x0409, version.Write());
#pragma once

#include <cstdint>
#include <map>
#include <string>

class TVersionResource {
 public:
  // Empty information in the given language (code page 1200, UTF-16).
  explicit TVersionResource(std::uint16_t language);
  // Reads an RT_VERSION datum; Failure() says why Windows would not read it.
  explicit TVersionResource(const std::string& bytes);

  // Whether key is one of the strings a publisher sets.
  static bool KnownKey(const std::string& key);
  // "A.B.C.D" into the fixed part; false when it is no such version.
  bool SetFileVersion(const std::string& version);
  bool SetProductVersion(const std::string& version);
  void SetString(const std::string& key, const std::u16string& value);

  const std::string& Failure() const { return failure_; }
  // The fixed part's file version, "A.B.C.D".
  std::string FileVersion() const;
  // A string of the table; empty when absent.
  std::u16string String(const std::string& key) const;
  // The datum; FileVersion and ProductVersion strings default to the numbers.
  std::string Write() const;

 private:
  struct Block;
  bool Read(const std::string& bytes);
  void ReadStrings(const Block& stringFileInfo);

  std::uint16_t language_ = 0;
  std::uint64_t fileVersion_ = 0;
  std::uint64_t productVersion_ = 0;
  std::map<std::string, std::u16string> strings_;
  std::string failure_;
};
