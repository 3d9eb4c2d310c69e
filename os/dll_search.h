// Where Windows looks for DLLs: for those it loads on the process's behalf
// (theming, box drawing, the shell's helpers) and for the plug-in's own.
#pragma once

#include <windows.h>

// Restricts the process's DLL search to the system folder, so that no DLL
// planted beside the setup or in the current folder is loaded by name. Uses
// SetDefaultDllDirectories where the system has it; else it takes the current
// folder out of the search with SetDllDirectoryW(L"") and loads the system
// DLLs that the run loads by name later from the system folder, as the
// program's own folder stays first in the search. Call it first.
void RestrictDllSearch();

// The flags for LoadLibraryExW of a library named by its full path: its own
// folder and the system folder serve its imports.
DWORD FullPathLoadFlags();
