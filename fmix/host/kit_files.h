// Where fmix setup takes the stub and the plug-in when not told: the files
// installed with fmix (share/fmix/ beside its bin/ folder; beside fmix.exe on
// Windows).
#pragma once

#include <string>

// The path of the installed file fileName. Raises ECliError naming the path
// looked at and the option that names the file instead when it is missing.
std::string KitFile(const std::string& fileName, const std::string& option);
