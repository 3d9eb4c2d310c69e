// The sample installer: records where it ran, with which arguments and in
// which current folder, by appending one line to "receipt.txt" beside itself,
// then exits. It stands in for a real installer in the demo and the tests.
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<std::size_t>(n - 1) : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  return out;
}

// The command line without the program's own name.
const wchar_t* Arguments(const wchar_t* line) {
  bool quoted = false;
  for (; *line && (quoted || (*line != L' ' && *line != L'\t')); ++line)
    if (*line == L'"') quoted = !quoted;
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t cwd[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH, cwd);
  std::wstring receipt = self;
  receipt.resize(receipt.find_last_of(L'\\') + 1);
  receipt += L"receipt.txt";

  const std::string line = "installer=" + Utf8(self) + "\r\nargs=" + Utf8(Arguments(GetCommandLineW())) +
                           "\r\ncwd=" + Utf8(cwd) + "\r\n";
  HANDLE file = CreateFileW(receipt.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == line.size() ? 0 : 1;
}
