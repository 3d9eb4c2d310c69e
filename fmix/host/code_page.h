// TCodePage: the Windows code page of the system a pack is made for. Entry
// names and CONFIG.TXT are 8-bit text in that system's code page, which is
// not the host's: fmix takes names in the host's encoding (UTF-8 natively)
// and writes them in the target's, chosen with --codepage=N (1252 unless
// given). Conversions are exact or refused; nothing is replaced by a
// look-alike or a question mark.
//
//   const TCodePage codePage = TCodePage::FromOption(line.Value("--codepage"));
//   std::string bytes = codePage.Encode(rtl::ToWide(hostName));
#pragma once

#include <string>

#include "unit_pack_files/name_encoder.h"

class TCodePage final : public TNameEncoder {
 public:
  static constexpr unsigned kDefault = 1252;

  // Raises a usage error when the platform knows no such code page.
  explicit TCodePage(unsigned number = kDefault);

  // The code page that the value of --codepage names, or the default when
  // it is empty. Raises a usage error for a value that is no number.
  static TCodePage FromOption(const std::string& digits);

  unsigned Number() const override { return number_; }
  // The OEM code page that Windows pairs with this ANSI one (437 with 1252,
  // 932 with 932), in which MS-DOS-era ZIP tools wrote names; the same
  // number when there is no other.
  unsigned Oem() const;

  // The text in this code page. Raises ECliError naming the text and the code
  // page when a character has no exact form in it.
  std::string Encode(const std::u16string& text) const override;
  // Bytes in this code page as UTF-16. Raises ECliError when they are no
  // valid text in it.
  std::u16string Decode(const std::string& bytes) const;
  // For an installer path with non-ASCII characters, which the launcher
  // reads in the ANSI code page of the Windows it runs on: that only Windows
  // of this code page starts it. Empty for an ASCII path.
  std::string InstallerPathNote(const std::u16string& path) const;

 private:
  unsigned number_;
};
