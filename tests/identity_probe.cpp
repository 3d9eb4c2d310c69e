// identity_probe FILE: prints what Windows reads of an executable's icon and
// version information, through the calls Explorer's Properties use: one
// "key=value" line each, in UTF-8.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

void Print(const char* key, const std::wstring& value) {
  char utf8[1024] = "";
  WideCharToMultiByte(CP_UTF8, 0, value.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
  std::printf("%s=%s\n", key, utf8);
}

void PrintVersion(const wchar_t* file) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(file, &handle);
  std::string data(size, '\0');
  if (size == 0 || !GetFileVersionInfoW(file, 0, size, &data[0])) {
    std::printf("version=none\n");
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(&data[0], L"\\", reinterpret_cast<void**>(&fixed), &length))
    std::printf("fixed=%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
  WORD* translation = nullptr;
  if (!VerQueryValueW(&data[0], L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length))
    return;
  std::printf("translation=%04x%04x\n", translation[0], translation[1]);
  for (const char* key : {"ProductName", "CompanyName", "FileDescription", "FileVersion", "ProductVersion"}) {
    wchar_t path[128];
    swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%hs", translation[0], translation[1], key);
    wchar_t* value = nullptr;
    if (VerQueryValueW(&data[0], path, reinterpret_cast<void**>(&value), &length)) Print(key, value);
  }
}

void PrintIcon(const wchar_t* file) {
  HICON large = nullptr, small = nullptr;
  const UINT groups = ExtractIconExW(file, -1, nullptr, nullptr, 0);
  ExtractIconExW(file, 0, &large, &small, 1);
  std::printf("icons=%u", groups);
  for (HICON icon : {large, small}) {
    ICONINFO info = {};
    BITMAP bitmap = {};
    if (icon && GetIconInfo(icon, &info) && GetObjectW(info.hbmColor, sizeof bitmap, &bitmap))
      std::printf(" %ldx%ld", bitmap.bmWidth, bitmap.bmHeight);
  }
  std::printf("\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  PrintVersion(argv[1]);
  PrintIcon(argv[1]);
  return 0;
}
