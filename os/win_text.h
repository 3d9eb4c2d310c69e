// UTF-16 text between the units (std::u16string) and Win32's wchar_t, which
// is UTF-16 on Windows. Only Windows code includes this header.
#pragma once

#include <cstddef>
#include <string>

namespace os {

inline const wchar_t* WinText(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline std::u16string FromWinText(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace os
