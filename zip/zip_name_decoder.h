// TZipNameDecoder: the one rule by which yz1.dll and fmix verify read the
// stored name of a ZIP entry, in this order:
//   1. general-purpose bit 11 set: the name is UTF-8;
//   2. else an Info-ZIP Unicode Path extra field (0x7075) whose CRC-32
//      matches the stored name: its UTF-8 name;
//   3. else a name that is valid UTF-8 and holds non-ASCII bytes is UTF-8
//      (Info-ZIP zip and others write such names without the flag);
//   4. else the legacy code page: the OEM one for entries made on MS-DOS or
//      Windows (as Windows' compressed folders and PKZIP write them), the
//      ANSI one for the rest. A known-answer test guards the OEM choice: the
//      bytes 82 A0 ("あ" in Shift-JIS) must read as one character in both
//      code pages or in neither, else the OEM code page belongs to another
//      script than the system's (a Japanese ANSI with a US OEM) and the ANSI
//      one is used.
#pragma once

#include <cstdint>
#include <string>

class TZipNameDecoder {
 public:
  // The Windows code pages of the system that extracts.
  TZipNameDecoder(unsigned ansiCodePage, unsigned oemCodePage);

  // The name as UTF-16; false when it is no text by the rule. centralExtra
  // is the extra field of the entry's central record, madeBy its "version
  // made by".
  bool Decode(const std::string& raw, std::uint16_t flags, std::uint16_t madeBy,
              const std::string& centralExtra, std::u16string& name) const;
  // The legacy code page that names without UTF-8 are read in, for such an
  // entry: the OEM one for MS-DOS and Windows hosts, else the ANSI one.
  unsigned LegacyCodePage(std::uint16_t madeBy) const;

 private:
  unsigned ansi_;
  unsigned oem_;
  bool oemUsable_;
};
