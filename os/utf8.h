// UTF-8 to UTF-16, the one decoder of the tree: POSIX names and ZIP names
// both come through it.
#pragma once

#include <string>

namespace os {

// False when a sequence is malformed, overlong or a surrogate; each such
// sequence becomes U+FFFD, the rest is converted all the same.
bool Utf8ToUtf16(const std::string& text, std::u16string& out);

}  // namespace os
