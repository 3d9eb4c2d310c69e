// Text and path helpers shared by every unit. 8-bit texts are in the system
// code page; UTF-16 texts are std::u16string.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "os/os.h"

namespace rtl {

// 1-based position of the first occurrence of sub in text, exact and
// case-sensitive; 0 when absent or when either text is empty.
int Pos(const std::u16string& sub, const std::u16string& text);

// Removes every character up to U+0020 from both ends.
std::u16string Trim(const std::u16string& text);

// Change only the ASCII letters, with no locale.
std::u16string UpperCase(std::u16string text);
std::u16string LowerCase(std::u16string text);
std::string LowerCaseAnsi(std::string text);

// Replaces every "%s" by arg (text that arg brings in is not scanned again),
// and the first two "%d" by the numbers, in order.
std::u16string Format(const std::u16string& format, const std::u16string& arg);
std::u16string Format(const std::u16string& format, std::int32_t a, std::int32_t b);

// ASCII widened to UTF-16: messages kept as 8-bit literals take half the
// bytes of UTF-16 ones in the shipped files.
std::u16string Widen(std::string_view ascii);
namespace literals {
inline std::u16string operator""_w(const char* ascii, std::size_t length) { return Widen({ascii, length}); }
}  // namespace literals

// Conversions with the system code page, read once at start-up.
std::u16string ToWide(const std::string& ansi);
std::string ToAnsi(const std::u16string& wide);
// Exact conversions, for names of files: false when the text has no exact
// form in the other encoding (a best-fit or default character, or bytes that
// are no valid text), where a near match would name another file.
bool ToWideExact(const std::string& ansi, std::u16string& wide);
bool ToAnsiExact(const std::u16string& wide, std::string& ansi);
// An 8-bit buffer read as text: up to its first NUL, at most max bytes.
std::string FromBuffer(const char* buffer, std::size_t max);

// True only for an existing file that is not a folder.
bool FileExists(const std::u16string& name);
// Creates a folder and its missing parents; false on a failure (with the
// failed call's reason) or for an empty path. Raises nothing, so that code
// built without exceptions (the plug-in) can use it; ForceDirectories
// (rtl/folders.h) is the raising form.
os::Done CreateFolders(const std::u16string& dir);
// The folder part of a path: up to and including its last delimiter or colon.
std::u16string ExtractFilePath(const std::u16string& path);
// The running program's full path.
std::u16string ProgramPath();

}  // namespace rtl
