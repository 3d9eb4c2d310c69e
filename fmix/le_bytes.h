// Little-endian fields in byte strings, as PE images, resources and icon
// files store them.
#pragma once

#include <cstdint>
#include <string>

// The field of width T at offset; false when it lies outside bytes.
template <class T>
bool GetLe(const std::string& bytes, std::uint64_t offset, T& value) {
  if (offset > bytes.size() || sizeof(T) > bytes.size() - offset) return false;
  value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i)
    value |= static_cast<T>(static_cast<T>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i));
  return true;
}

// The field at offset, which must lie inside bytes.
template <class T>
void SetLe(std::string& bytes, std::uint64_t offset, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

template <class T>
void AppendLe(std::string& bytes, T value) {
  bytes.resize(bytes.size() + sizeof(T));
  SetLe(bytes, bytes.size() - sizeof(T), value);
}

// Zero bytes up to the next multiple of alignment.
inline void PadTo(std::string& bytes, std::size_t alignment) {
  bytes.resize((bytes.size() + alignment - 1) / alignment * alignment, '\0');
}
