// What the verifier's checks of the archive, CONFIG.TXT and the installer
// share: how a text from the setup is quoted in a line, how paths compare,
// and the lengths paths are judged by.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>

#include "fmix/report/printable.h"
#include "rtl/name_case.h"

inline std::string Quoted(const std::u16string& text) { return "\"" + Printable(text) + "\""; }

// The path with forward slashes, as a case-blind Windows volume compares it.
inline std::u16string PathKey(std::u16string path) {
  std::replace(path.begin(), path.end(), u'\\', u'/');
  return TNameCase::Key(path);
}

// A real user's unpack folder, C:\Users\<name>\AppData\Local\Temp\vlkABCD.tmp_dir\,
// is about 61 characters; paths are judged under one of 70.
constexpr std::size_t kTempFolderLength = 70;
// MAX_PATH counts the terminating NUL: a path of 260 characters passes it.
constexpr std::size_t kMaxPath = 260;
