#include "unit_archive/dll_search.h"

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// Looked up at run time: Windows 7 without its search-path update, Vista and
// XP lack it.
SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories() {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return nullptr;
  return reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
}

}  // namespace

void RestrictDllSearch() {
  const SetDefaultDllDirectoriesFunction setDefault = FindSetDefaultDllDirectories();
  if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  SetDllDirectoryW(L"");
}

// The LOAD_LIBRARY_SEARCH_ flags come with SetDefaultDllDirectories; older
// systems search the library's folder first with the altered search path.
DWORD FullPathLoadFlags() {
  static const DWORD flags = FindSetDefaultDllDirectories()
                                 ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                                 : LOAD_WITH_ALTERED_SEARCH_PATH;
  return flags;
}
