#include "os/utf8.h"

#include <cstdint>

namespace os {
namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

bool Utf8ToUtf16(const std::string& text, std::u16string& out) {
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

}  // namespace os
