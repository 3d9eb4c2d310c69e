#include "fmix/host/code_page.h"

#include <algorithm>

#include <map>

#include "fmix/report/cli_error.h"
#include "fmix/report/hex_bytes.h"
#include "fmix/report/printable.h"
#include "os/os.h"
#include "rtl/text.h"

TCodePage::TCodePage(unsigned number) : number_(number) {
  if (!os::CodePageKnown(number))
    throw UsageError("unknown code page " + std::to_string(number) + " (--codepage N)");
}

TCodePage TCodePage::FromOption(const std::string& digits) {
  if (digits.empty()) return TCodePage();
  if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
    throw UsageError("--codepage " + Printable(digits) + ": give a Windows code page such as 1252 or 932");
  return TCodePage(static_cast<unsigned>(std::stoul(digits)));
}

unsigned TCodePage::Oem() const {
  static const std::map<unsigned, unsigned> kOem = {{1250, 852}, {1251, 866}, {1252, 437}, {1253, 737},
                                                    {1254, 857}, {1255, 862}, {1256, 720}, {1257, 775}};
  const auto found = kOem.find(number_);
  return found == kOem.end() ? number_ : found->second;
}

std::string TCodePage::Encode(const std::u16string& text) const {
  std::string bytes;
  std::u16string back;
  if (!os::WideToCodePage(number_, text, bytes) || !os::CodePageToWide(number_, bytes, back) || back != text)
    throw FileError(rtl::ToAnsi(text), "cannot be written in code page " + std::to_string(number_) +
                                           " (choose the target's with --codepage=N)");
  return bytes;
}

std::u16string TCodePage::Decode(const std::string& bytes) const {
  std::u16string text;
  std::string back;
  if (!os::CodePageToWide(number_, bytes, text) || !os::WideToCodePage(number_, text, back) || back != bytes)
    throw ECliError(1, "the name " + HexBytes(bytes.data(), bytes.size()) + " is no text in code page " + std::to_string(number_) +
                          " (choose the pack's with --codepage=N)");
  return text;
}

std::string TCodePage::InstallerPathNote(const std::u16string& path) const {
  if (std::all_of(path.begin(), path.end(), [](char16_t c) { return c < 0x80; })) return std::string();
  return "the installer path holds non-ASCII characters: the setup will start its installer only on Windows "
         "whose ANSI code page is " + std::to_string(number_) + "; an ASCII path starts it on every Windows";
}
