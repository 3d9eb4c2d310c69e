// TVFileStream: a stream over an operating-system file handle. It keeps no
// position, buffer or name of its own; every call is one system call.
#pragma once

#include <memory>
#include <string>

#include "os/os.h"
#include "velm_stream/tv_stream.h"

class TVFileStream : public TVStream {
 public:
  // Mode 0xFFFF creates (or empties) the file, 0xFFFE creates a new one
  // (shared with no one) and fails where the name exists; any other mode
  // opens an existing one: bits 0-1 choose the access, bits 4-7 the sharing.
  // Raises EInOutError when the file cannot be created or opened. An 8-bit
  // name (system code page) that has no exact UTF-16 form is not opened.
  static constexpr std::uint16_t kCreate = 0xFFFF;
  static constexpr std::uint16_t kCreateNew = 0xFFFE;
  // The open modes in use: read, others may read too (but not write); read,
  // shared with no one.
  static constexpr std::uint16_t kOpenShareRead = 0x20;
  static constexpr std::uint16_t kOpenExclusive = 0x00;
  TVFileStream(const std::string& fileName, std::uint16_t mode);
  TVFileStream(const std::u16string& fileName, std::uint16_t mode);
  ~TVFileStream() override;

  // What TryOpen gives back: the stream, or null and the system's code for
  // why the file could not be opened (os::FailureText; 0 for a name that has
  // no exact UTF-16 form or a mode that has no meaning).
  struct Opened {
    std::unique_ptr<TVFileStream> stream;
    std::uint32_t failure;
  };
  // Opens as the constructor does, but gives a failure back instead of
  // raising it, for callers that report why.
  static Opened TryOpen(const std::string& fileName, std::uint16_t mode);
  static Opened TryOpen(const std::u16string& fileName, std::uint16_t mode);
  TVFileStream(const TVFileStream&) = delete;
  TVFileStream& operator=(const TVFileStream&) = delete;

  void SetSize(std::int64_t newSize) override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  std::int64_t Seek(std::int64_t offset, int origin) override;

  os::FileHandle Handle() const { return handle_; }

 private:
  TVFileStream() = default;  // no file yet: TryOpen gives it one
  static os::Opened OpenHandle(const std::u16string& name, std::uint16_t mode);

  os::FileHandle handle_ = os::kNoFile;
};
