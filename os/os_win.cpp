// Win32 implementation of the platform seam.
#include "os/os.h"
#include "os/win_text.h"

#include <io.h>
#include <windows.h>

#include <cstdio>

namespace os {
namespace {

HANDLE NativeHandle(FileHandle h) { return reinterpret_cast<HANDLE>(h); }

// A call's result, with GetLastError when it failed.
Opened Wrap(HANDLE h) {
  return {reinterpret_cast<FileHandle>(h), h == INVALID_HANDLE_VALUE ? GetLastError() : 0};
}

Done CallResult(bool ok) { return {ok, ok ? 0 : GetLastError()}; }

// The code page of this process's 8-bit text: the system's (CP_ACP), or
// UTF-8 after UseUtf8Text. A constant, so that no start-up code sets it.
UINT textCodePage = CP_ACP;

}  // namespace

Opened FileCreate(const std::u16string& name) {
  return Wrap(CreateFileW(WinText(name), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// CREATE_NEW fails on any existing name, a link included.
Opened FileCreateNew(const std::u16string& name) {
  return Wrap(CreateFileW(WinText(name), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

Opened FileOpen(const std::u16string& name, Access access, Share share) {
  static const DWORD kAccess[] = {GENERIC_READ, GENERIC_WRITE,
                                  GENERIC_READ | GENERIC_WRITE};
  static const DWORD kShare[] = {0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE};
  return Wrap(CreateFileW(WinText(name), kAccess[static_cast<int>(access)],
                          kShare[static_cast<int>(share)], nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::int32_t FileRead(FileHandle h, void* buffer, std::int32_t count) {
  DWORD done = 0;
  if (!ReadFile(NativeHandle(h), buffer, static_cast<DWORD>(count), &done, nullptr)) return 0;
  return static_cast<std::int32_t>(done);
}

std::int32_t FileWrite(FileHandle h, const void* buffer, std::int32_t count) {
  DWORD done = 0;
  if (!WriteFile(NativeHandle(h), buffer, static_cast<DWORD>(count), &done, nullptr)) return 0;
  return static_cast<std::int32_t>(done);
}

std::int64_t FileSeek(FileHandle h, std::int64_t offset, int origin) {
  LONG high = static_cast<LONG>(static_cast<std::uint64_t>(offset) >> 32);
  DWORD low = SetFilePointer(NativeHandle(h), static_cast<LONG>(offset & 0xFFFFFFFF), &high,
                             static_cast<DWORD>(origin));
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != 0) return -1;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32) | low);
}

void FileTruncate(FileHandle h) { SetEndOfFile(NativeHandle(h)); }

void FileClose(FileHandle h) { CloseHandle(NativeHandle(h)); }

// The plug-in's copy of this file and of rtl's text (VELM_PLUGIN_RTL) leaves
// out what only the stub and fmix call, so that the DLL does not import the
// global heap's functions or GetModuleFileNameW.
#ifndef VELM_PLUGIN_RTL
void* BlockAlloc(std::size_t size) {
  HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, size);
  return handle ? GlobalLock(handle) : nullptr;
}

void* BlockResize(void* block, std::size_t size) {
  HGLOBAL handle = GlobalHandle(block);
  GlobalUnlock(handle);
  HGLOBAL resized = GlobalReAlloc(handle, size, GMEM_MOVEABLE);
  if (!resized) {
    GlobalLock(handle);  // keep the old block held, as before the call
    return nullptr;
  }
  return GlobalLock(resized);
}

void BlockFree(void* block) {
  HGLOBAL handle = GlobalHandle(block);
  GlobalUnlock(handle);
  GlobalFree(handle);
}
#endif

std::u16string AnsiToWide(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(textCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(textCodePage, 0, text.data(), static_cast<int>(text.size()),
                      reinterpret_cast<wchar_t*>(&out[0]), n);
  return out;
}

std::string WideToAnsi(const std::u16string& text) {
  if (text.empty()) return {};
  const wchar_t* src = WinText(text);
  int len = static_cast<int>(text.size());
  int n = WideCharToMultiByte(textCodePage, 0, src, len, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(textCodePage, 0, src, len, &out[0], n, nullptr, nullptr);
  return out;
}

bool CodePageKnown(unsigned codePage) { return IsValidCodePage(codePage) != 0; }

// UTF-8 takes neither the best-fit flag nor the used-default test; it only
// reports characters it cannot encode (lone surrogates).
bool WideToCodePage(unsigned codePage, const std::u16string& text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  const int len = static_cast<int>(text.size());
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(codePage, flags, WinText(text), len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  out.assign(static_cast<std::size_t>(n), '\0');
  n = WideCharToMultiByte(codePage, flags, WinText(text), len, &out[0], n, nullptr, utf8 ? nullptr : &usedDefault);
  return n > 0 && !usedDefault;
}

bool CodePageToWide(unsigned codePage, const std::string& text, std::u16string& out) {
  out.clear();
  if (text.empty()) return true;
  const int len = static_cast<int>(text.size());
  int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), len, nullptr, 0);
  if (n <= 0) return false;
  out.assign(static_cast<std::size_t>(n), u'\0');
  return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), len,
                             reinterpret_cast<wchar_t*>(&out[0]), n) > 0;
}

bool FileExists(const std::u16string& name) {
  DWORD attributes = GetFileAttributesW(WinText(name));
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
      error == ERROR_INVALID_NAME)
    return false;
  // Other failures (a file held by another process, say): ask the directory.
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(WinText(name), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::u16string& name) {
  DWORD attributes = GetFileAttributesW(WinText(name));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool NameTaken(const std::u16string& name) {
  if (GetFileAttributesW(WinText(name)) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

Done MakeDirectory(const std::u16string& name) {
  return CallResult(CreateDirectoryW(WinText(name), nullptr) != 0);
}

bool RemoveFile(const std::u16string& name) { return DeleteFileW(WinText(name)) != 0; }

bool RemoveFolder(const std::u16string& name) { return RemoveDirectoryW(WinText(name)) != 0; }

bool FreeSpace(const std::u16string& folder, std::uint64_t& bytes) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(WinText(folder), &available, nullptr, nullptr)) return false;
  bytes = available.QuadPart;
  return true;
}

Done RenameFile(const std::u16string& from, const std::u16string& to) {
  return CallResult(MoveFileExW(WinText(from), WinText(to), MOVEFILE_REPLACE_EXISTING) != 0);
}

// The system's message without its closing period and line break.
std::string FailureText(std::uint32_t failure) {
  if (failure == 0) return {};
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, failure, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string message = n ? FromWinText(text, n) : u"error " + AnsiToWide(std::to_string(failure));
  LocalFree(text);
  while (!message.empty() && (message.back() <= u' ' || message.back() == u'.')) message.pop_back();
  return WideToAnsi(message);
}

#ifndef VELM_PLUGIN_RTL
// A name that fills the buffer may have been cut short (the call then
// reports the buffer's size), so it is asked again with a larger one, up to
// the longest path Windows knows.
std::u16string ProgramPath() {
  for (DWORD size = MAX_PATH + 1; size <= 0x10000; size *= 2) {
    std::u16string buffer(size, u'\0');
    const DWORD n = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(&buffer[0]), size);
    if (n == 0) return {};
    if (n < size) return buffer.substr(0, n);
  }
  return {};
}

std::u16string InstalledDataFolder(const std::u16string&) {
  const std::u16string program = ProgramPath();
  const std::size_t slash = program.rfind(u'\\');
  return slash == std::u16string::npos ? std::u16string() : program.substr(0, slash);
}
#endif

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void UseUtf8Text() { textCodePage = CP_UTF8; }

}  // namespace os
