#include "plugin/entry_name.h"

#include "os/os.h"

namespace {

bool IsSlash(char16_t c) { return c == u'/' || c == u'\\'; }

bool IsDotsOnly(const std::u16string& component) {
  return !component.empty() && component.find_first_not_of(u'.') == std::u16string::npos;
}

}  // namespace

bool TEntryName::IsSafe() const {
  if (name_.empty() || IsSlash(name_.front()) || name_.find(u':') != std::u16string::npos)
    return false;
  std::u16string component;
  for (char16_t c : name_ + u'/') {
    if (!IsSlash(c)) {
      component += c;
      continue;
    }
    if (IsDotsOnly(component)) return false;
    component.clear();
  }
  return true;
}

bool TEntryName::IsFolder() const { return !name_.empty() && IsSlash(name_.back()); }

std::u16string TEntryName::LocalPath() const {
  std::u16string path = name_;
  for (char16_t& c : path)
    if (IsSlash(c)) c = os::kPathDelimiter;
  return path;
}
