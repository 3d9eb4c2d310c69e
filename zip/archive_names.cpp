#include "zip/archive_names.h"

#include <map>
#include <set>

#include "rtl/entry_name.h"
#include "rtl/name_case.h"
#include "zip/zip_reader.h"

TArchiveNames::TArchiveNames(const std::vector<TZipEntry>& entries) {
  CheckEach(entries);
  if (problem_.empty()) CheckCollisions(entries);
}

void TArchiveNames::CheckEach(const std::vector<TZipEntry>& entries) {
  for (const TZipEntry& entry : entries) {
    const TEntryName name(entry.name);
    if (!name.IsSafe()) {
      problem_ = u"unsafe name refused: " + TEntryName::Shown(entry.name);
      return;
    }
    if (name.WriteFault() != TEntryName::Fault::kNone) {
      problem_ = u"name that Windows cannot create refused: " + TEntryName::Shown(entry.name);
      return;
    }
  }
}

void TArchiveNames::CheckCollisions(const std::vector<TZipEntry>& entries) {
  std::map<std::u16string, const std::u16string*> files;
  std::set<std::u16string> folders;
  for (const TZipEntry& entry : entries) {
    const TEntryName name(entry.name);
    const std::u16string key = TNameCase::Key(name.Path());
    for (std::size_t slash = key.find(u'/'); slash != std::u16string::npos; slash = key.find(u'/', slash + 1))
      folders.insert(key.substr(0, slash));
    if (name.IsFolder()) {
      folders.insert(key);
      continue;
    }
    const auto inserted = files.emplace(key, &entry.name);
    if (!inserted.second) {
      problem_ = u"names that would be one file refused: " + TEntryName::Shown(*inserted.first->second) + u" and " +
                 TEntryName::Shown(entry.name);
      return;
    }
  }
  for (const auto& file : files)
    if (folders.count(file.first)) {
      problem_ = u"name of both a file and a folder refused: " + TEntryName::Shown(*file.second);
      return;
    }
}
