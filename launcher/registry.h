// TRegistry: a small registry class over one root key. Closing a key does
// not flush it (writes are lazy).
#pragma once

#include <windows.h>

#include <string>

class TRegistry {
 public:
  TRegistry(HKEY root, REGSAM access);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  // Opens key (a leading backslash means "from the root"), creating it when
  // canCreate is set. False when it cannot be opened or created.
  bool OpenKey(const std::u16string& key, bool canCreate);
  // Writes a REG_DWORD value into the open key; raises on failure.
  void WriteInteger(const std::u16string& name, DWORD value);
  void CloseKey();

 private:
  HKEY root_;
  REGSAM access_;
  HKEY current_ = nullptr;
};
