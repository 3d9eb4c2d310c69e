// UTF-8 to UTF-16 and back, the one decoder and encoder of the tree: POSIX
// names and ZIP names both come through them.
#pragma once

#include <string>

namespace os {

// False when a sequence is malformed, overlong or a surrogate; each such
// sequence becomes U+FFFD, the rest is converted all the same.
bool Utf8ToUtf16(const std::string& text, std::u16string& out);
// A lone surrogate, which has no UTF-8 form, becomes '?'.
std::string Utf16ToUtf8(const std::u16string& text);

}  // namespace os
