#include "launcher/folders.h"

#include <windows.h>
#include <shlobj.h>

#include "rtl/exception.h"
#include "rtl/text.h"

namespace {

constexpr DWORD kFolderBufferLength = 1024;

// UTF-16 folder text up to its first NUL, as 8-bit text with one trailing
// backslash.
std::string AsFolder(const wchar_t* buffer) {
  std::size_t n = 0;
  while (n < kFolderBufferLength && buffer[n] != L'\0') ++n;
  std::string folder = rtl::ToAnsi(std::u16string(reinterpret_cast<const char16_t*>(buffer), n));
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

}  // namespace

std::string GetTempFolder() {
  wchar_t buffer[kFolderBufferLength + 1] = {};
  if (GetTempPathW(kFolderBufferLength, buffer) == 0) throw Exception(u"GetTempPathW failed");
  return AsFolder(buffer);
}

std::string GetSpecialFolder(int folderId) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(GetDesktopWindow(), folderId, &items)))
    throw Exception(u"SHGetSpecialFolderLocation failed");
  wchar_t buffer[kFolderBufferLength + 1] = {};
  const BOOL found = SHGetPathFromIDListW(items, buffer);
  CoTaskMemFree(items);
  if (!found) throw Exception(u"SHGetPathFromIDListW failed");
  return AsFolder(buffer);
}

std::string GetDesktopFolder() { return GetSpecialFolder(CSIDL_DESKTOPDIRECTORY); }
