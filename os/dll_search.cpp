#include "os/dll_search.h"

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// The system DLLs that Windows loads by name later in a run, on the
// launcher's behalf: theming, composition and drawing for its boxes and the
// common controls, the shell's property system when it starts the installer.
// Where the search cannot be restricted, they are loaded first from the
// system folder, so that a later load by name finds them loaded.
const wchar_t* const kLaterLoadedDlls[] = {L"uxtheme.dll", L"dwmapi.dll", L"msimg32.dll", L"propsys.dll"};

// Looked up at run time: Windows 7 without its search-path update, Vista and
// XP lack it.
SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories() {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return nullptr;
  return reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
}

// Loads each of the later loaded DLLs by its full path in the system folder;
// their own imports come from that folder too. A DLL that this Windows lacks
// fails to load and is then loaded by nothing else either.
void PreloadLaterLoadedDlls() {
  wchar_t path[MAX_PATH + 16] = {};
  const UINT n = GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  path[n] = L'\\';
  for (const wchar_t* name : kLaterLoadedDlls) {
    lstrcpynW(path + n + 1, name, 15);
    LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
}

}  // namespace

void RestrictDllSearch() {
  const SetDefaultDllDirectoriesFunction setDefault = FindSetDefaultDllDirectories();
  if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  SetDllDirectoryW(L"");
  PreloadLaterLoadedDlls();
}

// The LOAD_LIBRARY_SEARCH_ flags come with SetDefaultDllDirectories; older
// systems search the library's folder first with the altered search path.
// Looked up at each call (one for each plug-in loaded): a function-local
// static would link the runtime's thread-safe initialisation guard.
DWORD FullPathLoadFlags() {
  return FindSetDefaultDllDirectories() ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                                        : LOAD_WITH_ALTERED_SEARCH_PATH;
}
