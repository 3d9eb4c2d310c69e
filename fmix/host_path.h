// File names on fmix's command line are 8-bit text in the system code page
// (UTF-8 natively), like every name the streams take; these convert them to
// and from filesystem paths.
#pragma once

#include <filesystem>
#include <string>

#include "rtl/text.h"

inline std::filesystem::path HostPath(const std::string& name) {
  return std::filesystem::path(rtl::ToWide(name));
}

inline std::string HostName(const std::filesystem::path& path) {
  return rtl::ToAnsi(path.u16string());
}
