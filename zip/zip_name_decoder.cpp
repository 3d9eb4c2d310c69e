#include "zip/zip_name_decoder.h"

#include <algorithm>

#include "os/os.h"
#include "os/utf8.h"
#include "rtl/crc32.h"
#include "rtl/le_bytes.h"
#include "zip/zip_format.h"

namespace {

using namespace zip_format;

constexpr std::size_t kUnicodePathHead = 5;  // version 1, then the CRC-32 of the stored name

// The UTF-8 name of a Unicode Path field in extra that belongs to raw; empty
// when there is none or its CRC-32 is that of another name.
std::string UnicodePath(const std::string& extra, const std::string& raw) {
  for (std::size_t at = 0; at + 4 <= extra.size();) {
    const std::size_t size = Le16(extra.data() + at + 2), body = at + 4;
    if (body + size > extra.size()) break;
    if (Le16(extra.data() + at) == kUnicodePathTag && size > kUnicodePathHead && extra[body] == 1 &&
        Le32(extra.data() + body + 1) == TCrc32::Of(raw.data(), raw.size()))
      return extra.substr(body + kUnicodePathHead, size - kUnicodePathHead);
    at = body + size;
  }
  return {};
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool ReadsAsOneCharacter(unsigned codePage, const std::string& bytes) {
  std::u16string text;
  return os::CodePageToWide(codePage, bytes, text) && text.size() == 1;
}

// MS-DOS (FAT), OS/2 (HPFS), Windows NTFS and VFAT: names in the OEM code page.
bool MadeOnDosOrWindows(std::uint16_t madeBy) {
  const unsigned host = madeBy >> 8;
  return host == 0 || host == 6 || host == 11 || host == 14;
}

}  // namespace

TZipNameDecoder::TZipNameDecoder(unsigned ansiCodePage, unsigned oemCodePage)
    : ansi_(ansiCodePage), oem_(oemCodePage) {
  const std::string sample = "\x82\xA0";
  oemUsable_ = ReadsAsOneCharacter(ansi_, sample) == ReadsAsOneCharacter(oem_, sample);
}

unsigned TZipNameDecoder::LegacyCodePage(std::uint16_t madeBy) const {
  return MadeOnDosOrWindows(madeBy) && oemUsable_ ? oem_ : ansi_;
}

bool TZipNameDecoder::Decode(const std::string& raw, std::uint16_t flags, std::uint16_t madeBy,
                             const std::string& centralExtra, std::u16string& name) const {
  if (flags & kUtf8Flag) {
    os::Utf8ToUtf16(raw, name);
    return true;
  }
  const std::string unicode = UnicodePath(centralExtra, raw);
  if (!unicode.empty()) {
    os::Utf8ToUtf16(unicode, name);
    return true;
  }
  if (!IsAscii(raw) && os::Utf8ToUtf16(raw, name)) return true;
  return os::CodePageToWide(LegacyCodePage(madeBy), raw, name);
}
