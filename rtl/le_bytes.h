// Little-endian fields, as PE images, resources, icon files, packs, ZIP and
// xz files store them: the one set of readers and writers for them all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

// The field of width T at p, which the caller has checked lies inside its
// buffer.
template <class T>
T LoadLe(const void* p) {
  using Unsigned = std::make_unsigned_t<T>;
  const unsigned char* bytes = static_cast<const unsigned char*>(p);
  Unsigned value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) value |= static_cast<Unsigned>(static_cast<Unsigned>(bytes[i]) << (8 * i));
  return static_cast<T>(value);
}
inline std::uint16_t Le16(const void* p) { return LoadLe<std::uint16_t>(p); }
inline std::uint32_t Le32(const void* p) { return LoadLe<std::uint32_t>(p); }
inline std::uint64_t Le64(const void* p) { return LoadLe<std::uint64_t>(p); }

// The field of width T at offset; false when it lies outside bytes.
template <class T>
bool GetLe(std::string_view bytes, std::uint64_t offset, T& value) {
  if (offset > bytes.size() || sizeof(T) > bytes.size() - offset) return false;
  value = LoadLe<T>(bytes.data() + offset);
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
