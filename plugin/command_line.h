// The plug-in's command line: words separated by blanks, where a word that
// begins with a double quote runs up to the next double quote. There are no
// escapes: a backslash before the closing quote belongs to the word, as in
// -x "C:\dir\arc.yz1" "C:\dir\". Paths arrive in the system code page, whose
// trail bytes are never a blank or a double quote.
#pragma once

#include <string>
#include <vector>

// The words of line; false when a quote is not closed.
bool SplitCommandLine(const std::string& line, std::vector<std::string>& words);
