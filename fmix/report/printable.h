// Text in fmix's output that comes from a file or the command line (entry
// names, import names, CONFIG.TXT, ZIP and tar names, resource names and
// version strings, a signer's name, the readers' messages): every character
// that a terminal acts on instead of showing is spelled out, so that each
// message and each listed name stays one line and shows what the file holds.
// Spelled out are the C0 controls and DEL ("\n", "\r", "\x1B", "\x7F"), the
// C1 controls ("\u009B") and the bidirectional controls, which reorder what
// follows them ("\u202E"). A text is shown up to kShownLimit characters, then
// "..." and how many it left out, so that one name of a megabyte cannot make
// a line of one; a pack entry's name (256 bytes) always shows whole.
#pragma once

#include <cstddef>
#include <string>

// How many characters of one text are shown, counted as spelled out.
constexpr std::size_t kShownLimit = 2048;

// The text, spelled out and cut as above, in fmix's own 8-bit code page.
std::string Printable(const std::u16string& text);
// The same for 8-bit text in fmix's own code page.
std::string Printable(const std::string& text);
