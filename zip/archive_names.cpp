#include "zip/archive_names.h"

#include <map>
#include <utility>

#include "rtl/entry_name.h"
#include "rtl/name_case.h"
#include "rtl/text.h"
#include "zip/zip_reader.h"

namespace {

// A name for a message, cut after this many units: a name may be 32,255
// units long.
constexpr std::size_t kShownUnits = 128;

std::u16string Shown(const std::u16string& name) {
  return TEntryName::Shown(name.substr(0, kShownUnits)) + (name.size() > kShownUnits ? u"..." : u"");
}

// One file or folder of the unpacked tree: its number, which its children
// are keyed by, the entry that writes it as a file, and whether some entry
// needs it as a folder.
struct TNode {
  std::size_t number;
  const std::u16string* file;
  bool folder;
};

// The tree as Windows would see it: each node keyed by its parent's number
// (0 for the unpack folder) and its own case-folded component, so that a
// folder shared by many names, or a name of many folders, costs its own
// component once, not every path up to it.
using TTree = std::map<std::pair<std::size_t, std::u16string>, TNode>;

TNode& Child(TTree& tree, std::size_t parent, std::u16string component) {
  const TNode fresh{tree.size() + 1, nullptr, false};
  return tree.emplace(std::make_pair(parent, std::move(component)), fresh).first->second;
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
      problem_ = u"unsafe name refused: " + Shown(entry.name);
      return;
    }
    const TEntryName::Fault fault = name.WriteFault();
    if (fault != TEntryName::Fault::kNone) {
      problem_ = u"name that Windows cannot create refused: " + Shown(entry.name) + u"; it " +
                 rtl::ToWide(TEntryName::FaultText(fault));
      return;
    }
  }
}

void TArchiveNames::CheckCollisions(const std::vector<TZipEntry>& entries) {
  TTree tree;
  for (const TZipEntry& entry : entries) {
    const TEntryName name(entry.name);
    const std::u16string key = TNameCase::Key(name.Path());
    if (key.empty()) continue;  // the unpack folder itself
    std::size_t parent = 0, begin = 0;
    for (std::size_t slash = key.find(u'/'); slash != std::u16string::npos; slash = key.find(u'/', begin)) {
      TNode& folder = Child(tree, parent, key.substr(begin, slash - begin));
      folder.folder = true;
      parent = folder.number;
      begin = slash + 1;
    }
    TNode& last = Child(tree, parent, key.substr(begin));
    if (name.IsFolder()) {
      last.folder = true;
    } else if (last.file) {
      problem_ = u"names that would be one file refused: " + Shown(*last.file) + u" and " + Shown(entry.name);
      return;
    } else {
      last.file = &entry.name;
    }
  }
  for (const auto& node : tree)
    if (node.second.file && node.second.folder) {
      problem_ = u"name of both a file and a folder refused: " + Shown(*node.second.file);
      return;
    }
}
