#include "launcher/registry.h"

#include "os/win_text.h"
#include "rtl/exception.h"
#include "rtl/text.h"

TRegistry::TRegistry(HKEY root, REGSAM access) : root_(root), access_(access) {}

TRegistry::~TRegistry() { CloseKey(); }

bool TRegistry::OpenKey(const std::u16string& key, bool canCreate) {
  CloseKey();
  const std::u16string path = !key.empty() && key[0] == u'\\' ? key.substr(1) : key;
  HKEY opened = nullptr;
  LONG result = canCreate ? RegCreateKeyExW(root_, os::WinText(path), 0, nullptr, 0, access_, nullptr,
                                            &opened, nullptr)
                          : RegOpenKeyExW(root_, os::WinText(path), 0, access_, &opened);
  if (result != ERROR_SUCCESS) return false;
  current_ = opened;
  return true;
}

void TRegistry::WriteInteger(const std::u16string& name, DWORD value) {
  if (!current_ || RegSetValueExW(current_, os::WinText(name), 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&value), sizeof value) != ERROR_SUCCESS)
    throw Exception(rtl::Format(u"'%s' の設定に失敗しました", name));
}

void TRegistry::CloseKey() {
  if (current_) RegCloseKey(current_);
  current_ = nullptr;
}
