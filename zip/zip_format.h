// The ZIP format as the reader and the writer use it: record signatures and
// fixed sizes, general-purpose flags, compression methods and extra-field
// tags. Every number is little-endian in the file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zip_format {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;

constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kMaxCommentSize = 0xFFFF;

constexpr std::uint16_t kEncryptedFlag = 1 << 0;
constexpr std::uint16_t kUtf8Flag = 1 << 11;

constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint16_t kAesEncrypted = 99;

// "Version made by" names the host in its high byte; Unix keeps its file
// mode in the high 16 bits of the external attributes.
constexpr std::uint16_t kUnixHost = 3;
constexpr std::uint32_t kUnixFileType = 0170000;
constexpr std::uint32_t kUnixSymbolicLink = 0120000;

constexpr std::uint16_t kZip64ExtraTag = 0x0001;
constexpr std::uint16_t kUnicodePathTag = 0x7075;
// A size or offset of this value stands for one in the Zip64 extra field.
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFF;

}  // namespace zip_format
