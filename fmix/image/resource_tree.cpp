#include "fmix/image/resource_tree.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "rtl/le_bytes.h"

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;  // a named entry; a subdirectory
constexpr std::size_t kTableHeader = 16;
constexpr std::size_t kEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;

std::u16string Upper(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return text;
}

// A field written last: its place in the bytes and what it will point at.
template <class T>
using Pending = std::vector<std::pair<std::size_t, const T*>>;

// Appends a table of the keys of items; a named entry's name field is left
// for later in names, and the entries' second fields are set by the caller.
template <class Map>
std::size_t AppendTable(std::string& out, const Map& items, Pending<TResourceTree::Key>& names) {
  const auto named = std::count_if(items.begin(), items.end(), [](const auto& item) { return !item.first.text.empty(); });
  out.append(12, '\0');
  AppendLe<std::uint16_t>(out, static_cast<std::uint16_t>(named));
  AppendLe<std::uint16_t>(out, static_cast<std::uint16_t>(items.size() - named));
  const std::size_t entries = out.size();
  for (const auto& item : items) {
    if (!item.first.text.empty()) names.push_back({out.size(), &item.first});
    AppendLe<std::uint32_t>(out, item.first.id);
    AppendLe<std::uint32_t>(out, 0);
  }
  return entries;
}

}  // namespace

bool TResourceTree::Key::operator<(const Key& other) const {
  if (text.empty() != other.text.empty()) return !text.empty();
  return text.empty() ? id < other.id : Upper(text) < Upper(other.text);
}

TResourceTree::TResourceTree(std::string directory, std::uint32_t rva)
    : directory_(std::make_shared<const std::string>(std::move(directory))), rva_(rva), unread_(directory_->size()) {
  Key keys[3];
  ReadTable(0, 0, keys);
}

const TResourceTree::Names* TResourceTree::Type(std::uint16_t type) const {
  const auto found = types_.find(Key(type));
  return found == types_.end() ? nullptr : &found->second;
}

void TResourceTree::Set(std::uint16_t type, const Key& name, std::uint16_t language, std::string data) {
  const std::size_t size = data.size();
  types_[Key(type)][name][Key(language)] = {std::make_shared<const std::string>(std::move(data)), 0, size, 0};
}

void TResourceTree::RemoveType(std::uint16_t type) { types_.erase(Key(type)); }

bool TResourceTree::Fail(const std::string& failure, bool pastBounds) {
  if (failure_.empty()) {
    failure_ = failure;
    pastBounds_ = pastBounds;
  }
  return false;
}

bool TResourceTree::Spend(std::uint64_t bytes) {
  if (bytes > unread_)
    return Fail("parts of the resource tree share bytes (a table, name or datum is reached more than once)", true);
  unread_ -= bytes;
  return true;
}

// A table (IMAGE_RESOURCE_DIRECTORY): counts of named and numbered entries
// at 12 and 14, then the entries; level 0 holds types, 1 names, 2 languages.
bool TResourceTree::ReadTable(std::uint32_t offset, int level, Key keys[3]) {
  std::uint16_t named = 0, numbered = 0;
  if (!GetLe(*directory_, offset + 12ull, named) || !GetLe(*directory_, offset + 14ull, numbered))
    return Fail("a resource table lies outside the resource section");
  const std::uint32_t count = std::uint32_t{named} + numbered;
  if (offset + kTableHeader + kEntrySize * std::uint64_t{count} > directory_->size())
    return Fail("a resource entry lies outside the resource section");
  if (!Spend(kTableHeader + kEntrySize * count)) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t entry = offset + kTableHeader + kEntrySize * i;
    std::uint32_t target = 0;
    GetLe(*directory_, entry + 4ull, target);
    if (!ReadKey(entry, keys[level])) return false;
    const bool table = (target & kHighBit) != 0;
    if (table != (level < 2)) return Fail("the resource tree is not three levels deep");
    if (table ? !ReadTable(target & ~kHighBit, level + 1, keys) : !ReadData(target, keys)) return false;
  }
  return true;
}

// An entry's name field: a number, or with the high bit the offset of a
// counted UTF-16 text.
bool TResourceTree::ReadKey(std::uint32_t field, Key& key) {
  std::uint32_t name = 0;
  std::uint16_t length = 0;
  GetLe(*directory_, field, name);
  key = Key(static_cast<std::uint16_t>(name));
  if (!(name & kHighBit)) return true;
  const std::uint64_t text = name & ~kHighBit;
  if (!GetLe(*directory_, text, length) || text + 2 + 2ull * length > directory_->size())
    return Fail("a resource name lies outside the resource section");
  if (!Spend(2 + 2ull * length)) return false;
  key = Key(std::u16string(length, u'\0'));
  for (std::uint16_t i = 0; i < length; ++i) GetLe(*directory_, text + 2 + 2ull * i, key.text[i]);
  return true;
}

// A data entry (IMAGE_RESOURCE_DATA_ENTRY): the datum's address and size,
// which must lie inside the section too.
bool TResourceTree::ReadData(std::uint32_t offset, const Key keys[3]) {
  std::uint32_t address = 0, size = 0, codePage = 0;
  if (!GetLe(*directory_, offset, address) || !GetLe(*directory_, offset + 4ull, size) ||
      !GetLe(*directory_, offset + 8ull, codePage))
    return Fail("a resource data entry lies outside the resource section");
  if (address < rva_ || std::uint64_t{address} - rva_ + size > directory_->size())
    return Fail("the data of a resource lies outside the resource section");
  if (!Spend(kDataEntrySize + std::uint64_t{size})) return false;
  if (++read_ > kMaxResources)
    return Fail("the resource tree has more than " + std::to_string(kMaxResources) + " resources", true);
  types_[keys[0]][keys[1]][keys[2]] = {directory_, address - rva_, size, codePage};
  return true;
}

// The tables first (the root, each type's, then its names'), then the data
// entries, the names' text and the data, each datum aligned to 8 bytes.
std::string TResourceTree::Write(std::uint32_t rva) const {
  std::string out;
  Pending<Key> names;
  Pending<Resource> data;
  std::size_t typeEntry = AppendTable(out, types_, names);
  for (const auto& [type, typeNames] : types_) {
    SetLe<std::uint32_t>(out, typeEntry + 4, kHighBit | static_cast<std::uint32_t>(out.size()));
    typeEntry += kEntrySize;
    std::size_t nameEntry = AppendTable(out, typeNames, names);
    for (const auto& [name, languages] : typeNames) {
      SetLe<std::uint32_t>(out, nameEntry + 4, kHighBit | static_cast<std::uint32_t>(out.size()));
      nameEntry += kEntrySize;
      std::size_t languageEntry = AppendTable(out, languages, names);
      for (const auto& language : languages) {
        data.push_back({languageEntry + 4, &language.second});
        languageEntry += kEntrySize;
      }
    }
  }
  const std::size_t dataEntries = out.size();
  out.append(kDataEntrySize * data.size(), '\0');
  for (const auto& [field, name] : names) {
    SetLe<std::uint32_t>(out, field, kHighBit | static_cast<std::uint32_t>(out.size()));
    const std::u16string& text = name->text;
    AppendLe<std::uint16_t>(out, static_cast<std::uint16_t>(text.size()));
    for (char16_t c : text) AppendLe<std::uint16_t>(out, c);
  }
  for (std::size_t i = 0; i < data.size(); ++i) {
    const Resource& resource = *data[i].second;
    const std::size_t entry = dataEntries + kDataEntrySize * i;
    PadTo(out, 8);
    SetLe<std::uint32_t>(out, data[i].first, static_cast<std::uint32_t>(entry));
    SetLe<std::uint32_t>(out, entry, rva + static_cast<std::uint32_t>(out.size()));
    SetLe<std::uint32_t>(out, entry + 4, static_cast<std::uint32_t>(resource.size));
    SetLe<std::uint32_t>(out, entry + 8, resource.codePage);
    out += resource.Data();
  }
  return out;
}
