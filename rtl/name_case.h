// TNameCase: the one case rule for names that must not be one file on a
// case-blind Windows volume: pack entry names (fmix's writer, setup and
// verify) and archive entry names (the plug-in and verify). Each UTF-16 code
// unit of the Basic Multilingual Plane takes its simple uppercase mapping
// (Unicode 14.0, upper_case_table.h), as the volume's upcase table does;
// surrogates, and so the planes beyond, stay as they are. Header-only, so
// that the plug-in, built without exceptions, compiles it as the tool does.
#pragma once

#include <algorithm>
#include <iterator>
#include <string>

#include "rtl/upper_case_table.h"

class TNameCase {
 public:
  static char16_t Upper(char16_t c) {
    const TUpperRun* run = std::upper_bound(std::begin(kUpperRuns), std::end(kUpperRuns), c,
                                            [](char16_t value, const TUpperRun& r) { return value < r.first; });
    if (run == std::begin(kUpperRuns)) return c;
    --run;
    if (c > run->last || (c - run->first) % run->stride != 0) return c;
    return static_cast<char16_t>(c + run->delta);
  }

  // The name as the volume compares it.
  static std::u16string Key(std::u16string name) {
    for (char16_t& c : name) c = Upper(c);
    return name;
  }
};
