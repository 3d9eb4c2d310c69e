#include "fmix/report/printable.h"

#include <cstdio>

#include "rtl/text.h"

namespace {

bool IsBidiControl(char16_t c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

// c as it is, or spelled out: "\r", "\n", "\x1B", "\u009B".
void Append(char16_t c, std::u16string& shown) {
  const char* format = c == u'\r' ? "\\r" : c == u'\n' ? "\\n" : nullptr;
  if (!format && (c < 0x20 || c == 0x7F)) format = "\\x%02X";
  if (!format && ((c >= 0x80 && c <= 0x9F) || IsBidiControl(c))) format = "\\u%04X";
  if (!format) {
    shown += c;
    return;
  }
  char escape[8];
  const int length = std::snprintf(escape, sizeof escape, format, static_cast<unsigned>(c));
  shown.append(escape, escape + length);
}

}  // namespace

std::string Printable(const std::u16string& text) {
  std::u16string shown;
  std::size_t i = 0;
  // A surrogate pair is never cut in two.
  for (; i < text.size() && (shown.size() < kShownLimit || (text[i] >= 0xDC00 && text[i] <= 0xDFFF)); ++i)
    Append(text[i], shown);
  if (i == text.size()) return rtl::ToAnsi(shown);
  return rtl::ToAnsi(shown) + "... (" + std::to_string(text.size() - i) + " more characters)";
}

std::string Printable(const std::string& text) { return Printable(rtl::ToWide(text)); }
