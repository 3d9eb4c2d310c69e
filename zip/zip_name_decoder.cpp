#include "zip/zip_name_decoder.h"

#include <zlib.h>

#include <algorithm>

#include "os/os.h"
#include "zip/zip_format.h"

namespace {

using namespace zip_format;

constexpr std::size_t kUnicodePathHead = 5;  // version 1, then the CRC-32 of the stored name

std::uint16_t Get16(const std::string& s, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                    static_cast<unsigned char>(s[at + 1]) << 8);
}

std::uint32_t Get32(const std::string& s, std::size_t at) {
  return Get16(s, at) | static_cast<std::uint32_t>(Get16(s, at + 2)) << 16;
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// UTF-8 to UTF-16: false when a sequence is malformed, overlong or a
// surrogate; each such sequence becomes U+FFFD.
bool Utf8ToWide(const std::string& text, std::u16string& out) {
  static const std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  bool valid = true;
  out.clear();
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i++]);
    const int extra = lead < 0x80 ? 0 : lead < 0xC0 ? -1 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF8 ? 3 : -1;
    std::uint32_t code = extra > 0 ? lead & (0x3F >> extra) : lead;
    int k = 0;
    for (; k < extra && i < text.size() && IsContinuation(text[i]); ++k, ++i)
      code = code << 6 | (static_cast<unsigned char>(text[i]) & 0x3F);
    if (extra < 0 || k < extra || code < kSmallest[extra] || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      out += u'\xFFFD';
      valid = false;
    } else if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return valid;
}

// The UTF-8 name of a Unicode Path field in extra that belongs to raw; empty
// when there is none or its CRC-32 is that of another name.
std::string UnicodePath(const std::string& extra, const std::string& raw) {
  for (std::size_t at = 0; at + 4 <= extra.size();) {
    const std::size_t size = Get16(extra, at + 2), body = at + 4;
    if (body + size > extra.size()) break;
    if (Get16(extra, at) == kUnicodePathTag && size > kUnicodePathHead && extra[body] == 1 &&
        Get32(extra, body + 1) ==
            crc32(0, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uInt>(raw.size())))
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
    Utf8ToWide(raw, name);
    return true;
  }
  const std::string unicode = UnicodePath(centralExtra, raw);
  if (!unicode.empty()) {
    Utf8ToWide(unicode, name);
    return true;
  }
  if (!IsAscii(raw) && Utf8ToWide(raw, name)) return true;
  return os::CodePageToWide(LegacyCodePage(madeBy), raw, name);
}
