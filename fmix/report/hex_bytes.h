// Bytes in hex ("66 4D 69 78"), for messages about data that is no text.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

inline std::string HexBytes(const char* data, std::size_t size) {
  std::string hex;
  for (std::size_t i = 0; i < size; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", static_cast<unsigned char>(data[i]));
    hex += byte;
  }
  return hex;
}
