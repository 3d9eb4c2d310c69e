#include "zip/unpackable_entries.h"

#include <algorithm>

#include "rtl/text.h"
#include "rtl/entry_name.h"
#include "zip/zip_format.h"
#include "zip/zip_reader.h"

namespace {

using namespace zip_format;

// How many names a line shows before "and N more".
constexpr std::size_t kNamesShown = 3;

std::u16string Number(std::size_t n) { return rtl::ToWide(std::to_string(n)); }

// The method's name by PKWARE's list, with its number.
std::u16string MethodName(int method) {
  const char16_t* name = method == 1                  ? u"Shrink"
                         : method >= 2 && method <= 5 ? u"Reduce"
                         : method == 6                ? u"Implode"
                         : method == 9                ? u"Deflate64"
                         : method == 10               ? u"PKWARE DCL Implode"
                         : method == 12               ? u"BZip2"
                         : method == 14               ? u"LZMA"
                         : method == 18               ? u"IBM TERSE"
                         : method == 19               ? u"IBM LZ77"
                         : method == 20 || method == 93 ? u"Zstandard"
                         : method == 95               ? u"XZ"
                         : method == 96               ? u"JPEG"
                         : method == 97               ? u"WavPack"
                         : method == 98               ? u"PPMd"
                                                      : nullptr;
  const std::u16string number = u"method " + Number(static_cast<std::size_t>(method));
  return name ? name + (u" (" + number + u")") : number;
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
      found->names += (found->names.empty() ? u"" : u", ") + TEntryName::Shown(entry.name);
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
  std::u16string what = u"compressed with " + MethodName(cause) + u", which the plug-in cannot unpack";
  std::u16string todo = u"zip it again with Deflate";
  if (cause == kEncrypted) {
    what = u"encrypted (the plug-in asks for no password)";
    todo = u"zip it again without a password";
  } else if (cause == kSymbolicLink) {
    what = one ? u"a symbolic link (it would become a file holding the link's target)"
               : u"symbolic links (they would become files holding the links' targets)";
    todo = u"zip it again without -y, so that it holds the files linked to";
  }
  const std::u16string more =
      found.count > kNamesShown ? u" and " + Number(found.count - kNamesShown) + u" more" : u"";
  return Number(found.count) + (one ? u" entry refused, " : u" entries refused, ") + what + u": " + found.names +
         more + u"; " + todo;
}
