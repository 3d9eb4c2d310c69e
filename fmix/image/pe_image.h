// TPeImage: the few facts of a Windows PE image that fmix checks before it
// appends a pack: where the raw data of the last section ends (where the
// launcher looks for its pack) and whether a certificate table is present;
// and, for the plug-in, the names that a DLL exports and the DLLs it imports.
// The image may be hostile: names, import descriptors and sections are read
// within fixed bounds, so that time and memory follow the image's size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TPeImage {
 public:
  // Parses the headers of an image held in memory; Valid() tells whether it
  // is a well-formed PE image.
  explicit TPeImage(const std::string& bytes);

  bool Valid() const { return valid_; }
  bool Is32Bit() const { return is32Bit_; }
  bool IsDll() const { return isDll_; }
  // The end of the raw data of the last section record.
  std::uint64_t EndOfSections() const { return endOfSections_; }
  // The certificate table (security directory): file offset and size; 0 when absent.
  std::uint32_t CertificateOffset() const { return certificateOffset_; }
  std::uint32_t CertificateSize() const { return certificateSize_; }
  // True when the export directory names this entry (exact, case-sensitive;
  // names of up to 255 bytes).
  bool Exports(const std::string& name) const;
  // The names of the DLLs in the import directory, as the image spells them,
  // each once; ImportsRead() is false when the directory lies outside the
  // bytes given or is damaged (Windows would not load such an image), and
  // when it names a DLL longer than 255 bytes or holds over 256 descriptors.
  const std::vector<std::string>& Imports() const { return imports_; }
  bool ImportsRead() const { return importsRead_; }

 private:
  bool Parse(const std::string& bytes);
  bool ParseExports(const std::string& bytes, std::uint64_t directories, std::uint64_t sectionTable,
                    std::uint16_t sections);
  bool ParseImports(const std::string& bytes, std::uint64_t directories, std::uint64_t sectionTable,
                    std::uint16_t sections);

  bool valid_ = false;
  bool is32Bit_ = false;
  bool isDll_ = false;
  std::uint64_t endOfSections_ = 0;
  std::uint32_t certificateOffset_ = 0;
  std::uint32_t certificateSize_ = 0;
  std::vector<std::string> exports_;
  std::vector<std::string> imports_;
  bool importsRead_ = false;
};
