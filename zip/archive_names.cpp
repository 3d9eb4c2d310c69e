#include "zip/archive_names.h"

#include <algorithm>

#include "rtl/entry_name.h"
#include "rtl/name_case.h"
#include "rtl/text.h"
#include "zip/zip_reader.h"

using namespace rtl::literals;

namespace {

// A name for a message, cut after this many units: a name may be 32,255
// units long.
constexpr std::size_t kShownUnits = 128;

std::u16string Shown(const std::u16string& name) {
  return TEntryName::Shown(name.substr(0, kShownUnits)) + (name.size() > kShownUnits ? "..."_w : ""_w);
}

}  // namespace

TArchiveNames::TArchiveNames(const std::vector<TZipEntry>& entries) {
  CheckEach(entries);
  if (problem_.empty()) CheckCollisions(entries);
}

void TArchiveNames::CheckEach(const std::vector<TZipEntry>& entries) {
  for (const TZipEntry& entry : entries) {
    const TEntryName name(entry.name);
    if (!name.IsSafe()) {
      problem_ = "unsafe name refused: "_w + Shown(entry.name);
      return;
    }
    const TEntryName::Fault fault = name.WriteFault();
    if (fault != TEntryName::Fault::kNone) {
      problem_ = "name that Windows cannot create refused: "_w + Shown(entry.name) + "; it "_w +
                 rtl::ToWide(TEntryName::FaultText(fault));
      return;
    }
  }
}

// Each entry's path as Windows compares names; sorted, equal paths stand
// side by side in the entries' order, and the paths below a folder follow
// it, found by search. Memory grows with the names' total length alone.
void TArchiveNames::CheckCollisions(const std::vector<TZipEntry>& entries) {
  std::vector<std::u16string> keys(entries.size());
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    keys[i] = TNameCase::Key(TEntryName(entries[i].name).Path());
    if (!keys[i].empty()) order.push_back(i);  // empty: the unpack folder itself
  }
  std::sort(order.begin(), order.end(),
            [&keys](std::size_t a, std::size_t b) { return keys[a] != keys[b] ? keys[a] < keys[b] : a < b; });
  const auto isFile = [&entries](std::size_t i) { return !TEntryName(entries[i].name).IsFolder(); };
  // Two files of one path: the pair whose second entry comes first.
  std::size_t first = 0, second = entries.size();
  for (std::size_t run = 0, next = 0; run < order.size(); run = next) {
    std::size_t file = entries.size();
    for (next = run; next < order.size() && keys[order[next]] == keys[order[run]]; ++next) {
      if (!isFile(order[next])) continue;
      if (file == entries.size()) {
        file = order[next];
      } else if (order[next] < second) {
        first = file;
        second = order[next];
      }
    }
  }
  if (second < entries.size()) {
    problem_ = "names that would be one file refused: "_w + Shown(entries[first].name) + " and "_w +
               Shown(entries[second].name);
    return;
  }
  // A file whose path another entry has as a folder: the first such file.
  const auto keyLess = [&keys](std::size_t i, const std::u16string& key) { return keys[i] < key; };
  for (std::size_t run = 0; run < order.size(); ++run) {
    const std::size_t i = order[run];
    if (!isFile(i)) continue;
    const bool folderToo = (run > 0 && keys[order[run - 1]] == keys[i]) ||
                           (run + 1 < order.size() && keys[order[run + 1]] == keys[i]);
    const auto below = std::lower_bound(order.begin() + run, order.end(), keys[i] + u'/', keyLess);
    const bool hasChildren = below != order.end() && keys[*below].rfind(keys[i] + u'/', 0) == 0;
    if ((folderToo || hasChildren) && (problem_.empty() || i < second)) {
      second = i;
      problem_ = "name of both a file and a folder refused: "_w + Shown(entries[i].name);
    }
  }
}
