// Names in fmix's output: control characters spelled out ("\n", "\r",
// "\x01"), so that every message and every listed name stays one line.
// Works on 8-bit text in any code page fmix writes: UTF-8 and the Windows
// code pages never use bytes below 0x20 inside a character.
#pragma once

#include <cstdio>
#include <string>

inline std::string Printable(const std::string& text) {
  std::string shown;
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x20) {
      shown += c;
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, c == '\r' ? "\\r" : c == '\n' ? "\\n" : "\\x%02X",
                  static_cast<unsigned>(static_cast<unsigned char>(c)));
    shown += escape;
  }
  return shown;
}
