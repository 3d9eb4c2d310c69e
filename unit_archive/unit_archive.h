// The archiver plug-in bridge: finds and loads the plug-in library Yz1.dll,
// hands its entry Yz1 one command line, looks at the text that the plug-in
// writes back for the word "error", and unloads the library again.
// Paths and the command line are 8-bit texts in the system code page.
#pragma once

#include <windows.h>

#include <string>

// The folder that the library search tries first: empty, or ending in a
// backslash. The launcher sets it to the unpack folder.
extern std::string PluginBaseDir;
// Set when the pack carries the plug-in: then only PluginBaseDir is tried, so
// that a copy planted elsewhere never stands in for one that failed to load.
extern bool PluginBaseDirOnly;

// The Windows calls through which the bridge loads the library, finds its
// entry, frees it and shows a box. Tests replace entries to watch or steer
// them; the launcher keeps the system's own.
struct TPluginSystemCalls {
  HMODULE(WINAPI* loadLibraryExW)(LPCWSTR, HANDLE, DWORD);
  HMODULE(WINAPI* loadLibraryA)(LPCSTR);
  FARPROC(WINAPI* getProcAddress)(HMODULE, LPCSTR);
  BOOL(WINAPI* freeLibrary)(HMODULE);
  int(WINAPI* messageBoxW)(HWND, LPCWSTR, LPCWSTR, UINT);
};
extern TPluginSystemCalls PluginSystemCalls;

// The library of the last load (0 after a failed one) and its entry Yz1
// (null when the library has no such export).
HMODULE PluginLibrary();
FARPROC PluginEntry();

// Tries PluginBaseDir, the platform's own search, the program's folder and
// its "plug-ins\" subfolder, in this order (only the first with
// PluginBaseDirOnly); the first handle above 32 wins. Folders are joined to
// name as UTF-16 and loaded by full path; a path that has no exact UTF-16
// form is not tried. When all fail, the last attempt's result is returned.
HMODULE LoadPluginLibrary(const std::string& name);
// Loads "yz1.dll" and looks up its entry; false when no place has it.
bool Yz1Load();
// Frees the library; true when it was freed.
bool Yz1Unload();
// Loads the library, calls its entry once with commandLine, shows the
// plug-in's output in a message box when it holds "error" (in any ASCII
// case), and unloads it. Raises Exception when the library cannot be found
// (output untouched) or when the call fails (the library stays loaded).
void Yz1Command(const std::string& commandLine, std::string& output);
// Runs the command -x "archive" "folder" (folder ends in a backslash).
void Yz1Extract(const std::string& archive, const std::string& folder);
