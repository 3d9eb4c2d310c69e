#include "zip/archive_names.h"

#include <map>
#include <set>

#include "unit_pack_files/entry_name.h"
#include "zip/zip_reader.h"

namespace {

// Upper case as a case-blind Windows file system compares names, for ASCII,
// Latin-1, Greek, Cyrillic and full-width Latin letters.
char16_t Upper(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F) || (c >= 0xFF41 && c <= 0xFF5A))
    return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

std::u16string Key(const std::u16string& path) {
  std::u16string key = path;
  for (char16_t& c : key) c = Upper(c);
  return key;
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
      problem_ = u"unsafe name refused: " + entry.name;
      return;
    }
    if (name.WriteFault() != TEntryName::Fault::kNone) {
      problem_ = u"name that Windows cannot create refused: " + entry.name;
      return;
    }
  }
}

void TArchiveNames::CheckCollisions(const std::vector<TZipEntry>& entries) {
  std::map<std::u16string, const std::u16string*> files;
  std::set<std::u16string> folders;
  for (const TZipEntry& entry : entries) {
    const TEntryName name(entry.name);
    const std::u16string key = Key(name.Path());
    for (std::size_t slash = key.find(u'/'); slash != std::u16string::npos; slash = key.find(u'/', slash + 1))
      folders.insert(key.substr(0, slash));
    if (name.IsFolder()) {
      folders.insert(key);
      continue;
    }
    const auto inserted = files.emplace(key, &entry.name);
    if (!inserted.second) {
      problem_ = u"names that would be one file refused: " + *inserted.first->second + u" and " + entry.name;
      return;
    }
  }
  for (const auto& file : files)
    if (folders.count(file.first)) {
      problem_ = u"name of both a file and a folder refused: " + *file.second;
      return;
    }
}
