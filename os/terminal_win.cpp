// Win32 implementation of the command line and the standard streams. Apart
// from the rest of the seam, so that the stub and the plug-in, which use
// neither, do not link shell32 and the console functions.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>

#include "os/os.h"
#include "os/win_text.h"

namespace os {
namespace {

HANDLE StandardHandle(Stream stream) {
  return GetStdHandle(stream == Stream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

// CommandLineToArgvW splits as the C runtime does; the program's own name
// comes first and is left out.
std::vector<std::string> CommandLineWords(int, char**) {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> out;
  for (int i = 1; words && i < count; ++i) out.push_back(WideToAnsi(FromWinText(words[i], std::wcslen(words[i]))));
  LocalFree(words);
  return out;
}

// A console is written in UTF-16, which shows every character whatever its
// code page; a file or pipe gets the system code page, as before.
void WriteStandard(Stream stream, const std::string& text) {
  const HANDLE handle = StandardHandle(stream);
  const std::u16string wide = AnsiToWide(text);
  const wchar_t* chars = WinText(wide);
  const int length = static_cast<int>(wide.size());
  DWORD done = 0;
  if (IsConsole(handle)) {
    WriteConsoleW(handle, chars, static_cast<DWORD>(length), &done, nullptr);
    return;
  }
  const int n = WideCharToMultiByte(CP_ACP, 0, chars, length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, chars, length, &bytes[0], n, nullptr, nullptr);
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

}  // namespace os
