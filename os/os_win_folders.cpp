// Win32 implementation of the folder calls of the platform seam, which only
// fmix makes. They are kept apart from os_win.cpp because the plug-in
// compiles that file into itself and keeps every function of it.
#include "os/os.h"
#include "os/win_text.h"

#include <windows.h>

#include <cwchar>

namespace os {
namespace {

Done CallResult(bool ok) { return {ok, ok ? 0 : GetLastError()}; }

EntryKind KindOf(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::kLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::kFolder;
  return attributes & FILE_ATTRIBUTE_DEVICE ? EntryKind::kOther : EntryKind::kFile;
}

// The volume and file index of what a name reaches, links followed; a
// folder is opened too (backup semantics).
bool FileIdentity(const std::u16string& name, BY_HANDLE_FILE_INFORMATION& info) {
  const HANDLE file = CreateFileW(WinText(name), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  return ok;
}

}  // namespace

// The search pattern is the folder's name and "\*" (no delimiter after one
// that ends in a delimiter or a drive colon). An empty drive holds not even
// "." and "..": its search finds no file at all.
Done ListFolder(const std::u16string& folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  const std::u16string ends = kFolderPartEnds;
  const bool delimited = !folder.empty() && ends.find(folder.back()) != std::u16string::npos;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(WinText(folder + (delimited ? u"*" : u"\\*")), &found);
  if (search == INVALID_HANDLE_VALUE) return CallResult(GetLastError() == ERROR_FILE_NOT_FOUND);
  do {
    const std::u16string name = FromWinText(found.cFileName, std::wcslen(found.cFileName));
    if (name == u"." || name == u"..") continue;
    const EntryKind kind = KindOf(found.dwFileAttributes);
    const std::uint64_t size = static_cast<std::uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
    entries.push_back({name, kind, kind == EntryKind::kFile ? size : 0});
  } while (FindNextFileW(search, &found));
  const DWORD error = GetLastError();
  FindClose(search);
  return {error == ERROR_NO_MORE_FILES, error == ERROR_NO_MORE_FILES ? 0 : error};
}

bool SameFile(const std::u16string& a, const std::u16string& b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  return FileIdentity(a, first) && FileIdentity(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// The longest name GetTempPathW gives is MAX_PATH + 1 characters.
Done TemporaryFolder(std::u16string& folder) {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
  if (n == 0 || n > MAX_PATH + 1) return CallResult(false);
  folder = FromWinText(buffer, n);
  const DWORD attributes = GetFileAttributesW(buffer);
  if (attributes == INVALID_FILE_ATTRIBUTES) return CallResult(false);
  const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return {isFolder, isFolder ? 0 : static_cast<std::uint32_t>(ERROR_DIRECTORY)};
}

}  // namespace os
