// The one look-up of a pack entry by name, as the launcher makes it: names
// compared as UTF-16 text with the ASCII letters in either case and nothing
// else folded. The caller reads the records' names as the system that
// unpacks the pack would (the launcher in its own ANSI code page, fmix in the
// code page it is given) and chooses which of several records of one name it
// takes.
#pragma once

#include <cstdint>
#include <string>

#include "rtl/text.h"

// The first record of a name is the one the launcher's reader extracts by
// name; the last is the one whose data ExtractAll leaves in the file.
enum class Match { kFirst, kLast };

// The index of the first or the last of count names, nameOf(i) giving the
// i-th as UTF-16 text, that equals name but for the case of ASCII letters;
// -1 when none does.
template <class NameOf>
std::int32_t FindEntryIndex(std::int32_t count, const std::u16string& name, Match match, NameOf nameOf) {
  const std::u16string wanted = rtl::UpperCase(name);
  std::int32_t found = -1;
  for (std::int32_t i = 0; i < count; ++i) {
    if (rtl::UpperCase(nameOf(i)) != wanted) continue;
    if (match == Match::kFirst) return i;
    found = i;
  }
  return found;
}
