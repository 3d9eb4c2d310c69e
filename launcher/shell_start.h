// Starting the installer through the Windows shell.
#pragma once

#include <windows.h>

#include <string>

// Starts file with the shell ("runas" on Windows 6.0, the default verb
// elsewhere) in the working folder directory and returns without waiting.
// Raises when the shell refuses or fails, a declined elevation prompt
// included; the shell shows no box itself.
void OpenWithShell(HWND owner, const std::string& file, const std::string& parameters,
                   const std::string& directory);

// True exactly when the running Windows reports version 6.0.
bool IsWindowsVersion60();
