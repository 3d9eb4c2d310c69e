#include "launcher/folders.h"

#include <windows.h>
#include <shlobj.h>

#include "os/win_text.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace {

constexpr DWORD kFolderBufferLength = 1024;

// The folder as 8-bit text that names exactly it: as it is, else by its
// short name (a profile folder outside the code page usually has one).
// Raises when neither form converts exactly: a near match would be another
// folder.
std::string ExactFolder(const std::u16string& folder) {
  std::string ansi;
  if (rtl::ToAnsiExact(folder, ansi)) return ansi;
  wchar_t shortName[kFolderBufferLength + 1] = {};
  const DWORD n = GetShortPathNameW(os::WinText(folder), shortName,
                                    kFolderBufferLength);
  if (n > 0 && n <= kFolderBufferLength &&
      rtl::ToAnsiExact(os::FromWinText(shortName, n), ansi))
    return ansi;
  throw EInOutError(u"no 8-bit name for the folder " + folder);
}

// UTF-16 folder text up to its first NUL, as 8-bit text with one trailing
// backslash.
std::string AsFolder(const wchar_t* buffer) {
  std::size_t n = 0;
  while (n < kFolderBufferLength && buffer[n] != L'\0') ++n;
  std::string folder = ExactFolder(os::FromWinText(buffer, n));
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
