// The folders the launcher stages in, as 8-bit text ending in a backslash.
// Each raises when the platform cannot deliver the folder, or when no 8-bit
// text names it exactly (not even its short name), which ends the run.
#pragma once

#include <string>

std::string GetTempFolder();
// The file-system path of a shell special folder (a CSIDL value).
std::string GetSpecialFolder(int folderId);
std::string GetDesktopFolder();
