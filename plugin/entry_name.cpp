#include "plugin/entry_name.h"

#include <algorithm>
#include <vector>

#include "os/os.h"
#include "rtl/text.h"

namespace {

bool IsSlash(char16_t c) { return c == u'/' || c == u'\\'; }

std::vector<std::u16string> Components(const std::u16string& name) {
  std::vector<std::u16string> components(1);
  for (char16_t c : name) {
    if (IsSlash(c))
      components.emplace_back();
    else
      components.back() += c;
  }
  return components;
}

bool IsDotsOnly(const std::u16string& component) {
  return component.size() > 1 && component.find_first_not_of(u'.') == std::u16string::npos;
}

bool IsDeviceName(const std::u16string& component) {
  const std::u16string stem = rtl::UpperCase(component.substr(0, component.find(u'.')));
  if (stem == u"CON" || stem == u"PRN" || stem == u"AUX" || stem == u"NUL") return true;
  return stem.size() == 4 && (stem.compare(0, 3, u"COM") == 0 || stem.compare(0, 3, u"LPT") == 0) &&
         stem[3] >= u'1' && stem[3] <= u'9';
}

bool IsCreatableComponent(const std::u16string& component) {
  const bool badCharacter = std::any_of(component.begin(), component.end(), [](char16_t c) {
    return c < 0x20 || std::u16string(u"<>\"|?*").find(c) != std::u16string::npos;
  });
  return !badCharacter && component.back() != u'.' && component.back() != u' ' && !IsDeviceName(component);
}

}  // namespace

TEntryName::TEntryName(std::u16string name) : name_(std::move(name)) {
  for (const std::u16string& component : Components(name_)) {
    if (component.empty() || component == u".") continue;
    if (!path_.empty()) path_ += u'/';
    path_ += component;
  }
}

bool TEntryName::IsSafe() const {
  if (name_.empty() || IsSlash(name_.front()) || name_.find(u':') != std::u16string::npos) return false;
  if (path_.empty() && !IsFolder()) return false;
  const std::vector<std::u16string> components = Components(path_);
  return std::none_of(components.begin(), components.end(), IsDotsOnly);
}

bool TEntryName::IsCreatable() const {
  if (path_.empty()) return true;
  const std::vector<std::u16string> components = Components(path_);
  return std::all_of(components.begin(), components.end(), IsCreatableComponent);
}

bool TEntryName::IsFolder() const { return !name_.empty() && IsSlash(name_.back()); }

std::u16string TEntryName::LocalPath() const {
  std::u16string path = path_;
  std::replace(path.begin(), path.end(), u'/', os::kPathDelimiter);
  return path;
}
