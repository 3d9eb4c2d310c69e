#include "zip/unpackable_entries.h"

#include <algorithm>

#include "rtl/text.h"
#include "rtl/entry_name.h"
#include "zip/zip_format.h"
#include "zip/zip_reader.h"

using namespace rtl::literals;

namespace {

using namespace zip_format;

// How many names a line shows before "and N more".
constexpr std::size_t kNamesShown = 3;

std::u16string Number(std::size_t n) { return rtl::ToWide(std::to_string(n)); }

// The method's name by PKWARE's list, with its number.
std::u16string MethodName(int method) {
  const char* name = method == 1                  ? "Shrink"
                         : method >= 2 && method <= 5 ? "Reduce"
                         : method == 6                ? "Implode"
                         : method == 9                ? "Deflate64"
                         : method == 10               ? "PKWARE DCL Implode"
                         : method == 12               ? "BZip2"
                         : method == 14               ? "LZMA"
                         : method == 18               ? "IBM TERSE"
                         : method == 19               ? "IBM LZ77"
                         : method == 20 || method == 93 ? "Zstandard"
                         : method == 95               ? "XZ"
                         : method == 96               ? "JPEG"
                         : method == 97               ? "WavPack"
                         : method == 98               ? "PPMd"
                                                      : nullptr;
  const std::u16string number = "method "_w + Number(static_cast<std::size_t>(method));
  return name ? rtl::Widen(name) + (" ("_w + number + ")"_w) : number;
}

}  // namespace

TUnpackableEntries::TUnpackableEntries(const std::vector<TZipEntry>& entries) {
  std::vector<TCause> causes;
  for (const TZipEntry& entry : entries) {
    const int cause = CauseOf(entry);
    if (cause == kStored || cause == kDeflated) continue;
    auto found = std::find_if(causes.begin(), causes.end(), [cause](const TCause& c) { return c.cause == cause; });
    if (found == causes.end()) found = causes.insert(causes.end(), TCause{cause, 0, {}});
    if (++found->count <= kNamesShown)
      found->names += (found->names.empty() ? ""_w : ", "_w) + TEntryName::Shown(entry.name);
  }
  for (const TCause& cause : causes) problems_.push_back(Line(cause));
}

// Encryption first: a password hides the method too. A link stored as its
// target's text is deflated or stored.
int TUnpackableEntries::CauseOf(const TZipEntry& entry) {
  if ((entry.flags & kEncryptedFlag) || entry.method == kAesEncrypted) return kEncrypted;
  if (entry.method != kStored && entry.method != kDeflated) return entry.method;
  const bool unixLink = entry.madeBy >> 8 == kUnixHost &&
                        (entry.externalAttributes >> 16 & kUnixFileType) == kUnixSymbolicLink;
  return unixLink ? kSymbolicLink : entry.method;
}

std::u16string TUnpackableEntries::Line(const TCause& found) {
  const int cause = found.cause;
  const bool one = found.count == 1;
  std::u16string what = "compressed with "_w + MethodName(cause) + ", which the plug-in cannot unpack"_w;
  std::u16string todo = "zip it again with Deflate"_w;
  if (cause == kEncrypted) {
    what = "encrypted (the plug-in asks for no password)"_w;
    todo = "zip it again without a password"_w;
  } else if (cause == kSymbolicLink) {
    what = one ? "a symbolic link (it would become a file holding the link's target)"_w
               : "symbolic links (they would become files holding the links' targets)"_w;
    todo = "zip it again without -y, so that it holds the files linked to"_w;
  }
  const std::u16string more =
      found.count > kNamesShown ? " and "_w + Number(found.count - kNamesShown) + " more"_w : ""_w;
  return Number(found.count) + (one ? " entry refused, "_w : " entries refused, "_w) + what + ": "_w + found.names +
         more + "; "_w + todo;
}
