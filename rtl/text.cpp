#include "rtl/text.h"

#include "os/os.h"

namespace rtl {

int Pos(const std::u16string& sub, const std::u16string& text) {
  if (sub.empty() || text.empty()) return 0;
  std::size_t at = text.find(sub);
  return at == std::u16string::npos ? 0 : static_cast<int>(at) + 1;
}

std::u16string Trim(const std::u16string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && text[first] <= u' ') ++first;
  while (last > first && text[last - 1] <= u' ') --last;
  return text.substr(first, last - first);
}

std::u16string UpperCase(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return text;
}

std::u16string LowerCase(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return text;
}

std::string LowerCaseAnsi(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return text;
}

std::u16string Format(const std::u16string& format, const std::u16string& arg) {
  std::u16string out = format;
  for (std::size_t at = out.find(u"%s"); at != std::u16string::npos; at = out.find(u"%s", at + arg.size()))
    out.replace(at, 2, arg);
  return out;
}

std::u16string Format(const std::u16string& format, std::int32_t a, std::int32_t b) {
  std::u16string out = format;
  for (std::int32_t value : {a, b}) {
    std::size_t at = out.find(u"%d");
    if (at == std::u16string::npos) break;
    std::string digits = std::to_string(value);
    out.replace(at, 2, std::u16string(digits.begin(), digits.end()));
  }
  return out;
}

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string ToWide(const std::string& ansi) { return os::AnsiToWide(ansi); }

std::string ToAnsi(const std::u16string& wide) { return os::WideToAnsi(wide); }

// A conversion is exact when converting back gives the text again: the
// platform's 8-bit calls convert names the same way, so they then reach the
// very file that the UTF-16 text names.
bool ToWideExact(const std::string& ansi, std::u16string& wide) {
  wide = ToWide(ansi);
  return ToAnsi(wide) == ansi;
}

bool ToAnsiExact(const std::u16string& wide, std::string& ansi) {
  ansi = ToAnsi(wide);
  return ToWide(ansi) == wide;
}

std::string FromBuffer(const char* buffer, std::size_t max) {
  std::size_t n = 0;
  while (n < max && buffer[n] != '\0') ++n;
  return std::string(buffer, n);
}

bool FileExists(const std::u16string& name) { return os::FileExists(name); }

namespace {

bool IsRoot(const std::u16string& dir) {
  return dir.empty() || (dir.size() == 2 && dir[1] == u':') ||
         dir == std::u16string(1, os::kPathDelimiter);
}

}  // namespace

os::Done CreateFolders(const std::u16string& dir) {
  if (dir.empty()) return {false, 0};
  std::u16string path = dir;
  if (path.back() == os::kPathDelimiter) path.pop_back();
  if (IsRoot(path) || os::DirectoryExists(path)) return {true, 0};
  std::u16string parent = ExtractFilePath(path);
  if (!parent.empty() && parent != path) {
    const os::Done made = CreateFolders(parent);
    if (!made) return made;
  }
  return os::MakeDirectory(path);
}

std::u16string ExtractFilePath(const std::u16string& path) {
  std::size_t at = path.find_last_of(std::u16string{os::kPathDelimiter, u':'});
  return at == std::u16string::npos ? std::u16string() : path.substr(0, at + 1);
}

#ifndef VELM_PLUGIN_RTL  // the plug-in asks for no program path
std::u16string ProgramPath() { return os::ProgramPath(); }
#endif

}  // namespace rtl
