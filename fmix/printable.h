// Text in fmix's output that comes from a file or the command line (entry
// names, import names, CONFIG.TXT, ZIP names, the reader's messages): every
// character that a terminal acts on instead of showing is spelled out, so
// that each message and each listed name stays one line and shows what the
// file holds. Spelled out are the C0 controls and DEL ("\n", "\r", "\x1B",
// "\x7F"), the C1 controls ("\u009B") and the bidirectional controls, which
// reorder what follows them ("\u202E").
#pragma once

#include <string>

// The text, spelled out as above, in fmix's own 8-bit code page.
std::string Printable(const std::u16string& text);
// The same for 8-bit text in fmix's own code page.
std::string Printable(const std::string& text);
