#include "launcher/shell_start.h"

#include <shellapi.h>

#include "rtl/exception.h"
#include "rtl/text.h"

static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "the 32-bit shell start record");

void OpenWithShell(HWND owner, const std::string& file, const std::string& parameters,
                   const std::string& directory) {
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = owner;
  info.lpVerb = IsWindowsVersion60() ? "runas" : nullptr;
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = directory.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&info)) throw Exception(u"起動に失敗しました。(" + rtl::ToWide(file) + u")");
}

bool IsWindowsVersion60() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  static_assert(sizeof(OSVERSIONINFOW) == 276, "the plain version record");
  GetVersionExW(&version);
  return version.dwMajorVersion == 6 && version.dwMinorVersion == 0;
}
