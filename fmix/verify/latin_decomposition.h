// TLatinDecomposition: the canonical decomposition (NFD) of the precomposed
// Latin letters of U+00C0-U+024F and U+1E00-U+1EFF into a letter and its
// combining marks (U+0300-U+036F), as macOS stores names in archives; every
// other character stays. That covers the Latin scripts and Vietnamese, not
// Greek, Cyrillic or Hangul. fmix verify uses it to explain an installer
// path that an archive holds only decomposed.
#pragma once

#include <algorithm>
#include <iterator>
#include <string>

#include "fmix/verify/latin_decomposition_table.h"

class TLatinDecomposition {
 public:
  static std::u16string Decompose(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text) Append(c, out);
    return out;
  }

 private:
  // A letter with two marks decomposes into a precomposed letter and the
  // second mark: the letter is decomposed in turn.
  static void Append(char16_t c, std::u16string& out) {
    const auto* found = std::lower_bound(std::begin(kComposedLetters), std::end(kComposedLetters), c,
                                         [](const TComposedLetter& d, char16_t value) { return d.composed < value; });
    if (found == std::end(kComposedLetters) || found->composed != c) {
      out += c;
      return;
    }
    Append(found->letter, out);
    out += found->mark;
  }
};
