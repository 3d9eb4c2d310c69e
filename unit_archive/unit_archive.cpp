#include "unit_archive/unit_archive.h"

#include <cstdint>

#include "os/win_text.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "os/dll_search.h"
#include "os/fault_guard.h"

std::string PluginBaseDir;
bool PluginBaseDirOnly = false;
TPluginSystemCalls PluginSystemCalls = {LoadLibraryExW, LoadLibraryA, GetProcAddress, FreeLibrary,
                                        MessageBoxW};

namespace {

using Yz1Function = int(WINAPI*)(HWND window, LPCSTR commandLine, LPSTR output, DWORD size);

// The plug-in writes at most kOutputSize - 1 bytes; a NUL always follows.
constexpr DWORD kOutputSize = 1024;

HMODULE library = nullptr;
FARPROC entry = nullptr;

// Handles up to 32 are failures; the value is read unsigned, so a module
// loaded above 2 GB counts as a success.
bool IsLoaded(HMODULE handle) { return reinterpret_cast<std::uintptr_t>(handle) > 32; }

HMODULE LoadFullPath(const std::u16string& path) {
  return PluginSystemCalls.loadLibraryExW(os::WinText(path), nullptr, FullPathLoadFlags());
}

struct Call {
  const std::string& commandLine;
  std::string& output;
};

// Calls the entry and checks what it wrote. The buffer is cleared first, so
// a plug-in that writes nothing leaves an empty text.
void CallEntry(void* context) {
  Call& call = *static_cast<Call*>(context);
  call.output.assign(kOutputSize, '\0');
  if (!entry) throw Exception(u"Yz1 is not exported");
  reinterpret_cast<Yz1Function>(reinterpret_cast<void*>(entry))(nullptr, call.commandLine.c_str(),
                                                                &call.output[0], kOutputSize - 1);
  call.output = rtl::FromBuffer(call.output.data(), kOutputSize);
  const std::u16string text = rtl::ToWide(call.output);
  if (rtl::Pos(u"error", rtl::LowerCase(text)) > 0)
    PluginSystemCalls.messageBoxW(nullptr, os::WinText(text), L"Yz1.dllより", MB_OK);
}

}  // namespace

HMODULE PluginLibrary() { return library; }

FARPROC PluginEntry() { return entry; }

HMODULE LoadPluginLibrary(const std::string& name) {
  HMODULE handle = nullptr;
  std::u16string path;
  if (!PluginBaseDir.empty()) {
    if (rtl::ToWideExact(PluginBaseDir + name, path)) handle = LoadFullPath(path);
    if (IsLoaded(handle) || PluginBaseDirOnly) return handle;
  }
  handle = PluginSystemCalls.loadLibraryA(name.c_str());
  std::u16string wideName;
  if (IsLoaded(handle) || !rtl::ToWideExact(name, wideName)) return handle;
  const std::u16string programFolder = rtl::ExtractFilePath(rtl::ProgramPath());
  handle = LoadFullPath(programFolder + wideName);
  if (IsLoaded(handle)) return handle;
  return LoadFullPath(programFolder + u"plug-ins\\" + wideName);
}

bool Yz1Load() {
  library = LoadPluginLibrary("yz1.dll");
  if (!IsLoaded(library)) {
    library = nullptr;
    return false;
  }
  entry = PluginSystemCalls.getProcAddress(library, "Yz1");
  return true;
}

bool Yz1Unload() { return PluginSystemCalls.freeLibrary(library) != 0; }

void Yz1Command(const std::string& commandLine, std::string& output) {
  if (!Yz1Load()) throw Exception(u"Yz1.dllが見つかりません。インストールしてください。");
  Call call{commandLine, output};
  // A failed call leaves the library loaded: the plug-in may be in any state.
  if (!RunGuarded(CallEntry, &call))
    throw Exception(u"Yz1.dll エラー:" +
                    rtl::ToWide(rtl::FromBuffer(output.data(), output.size())));
  Yz1Unload();
}

void Yz1Extract(const std::string& archive, const std::string& folder) {
  std::string output;
  Yz1Command("-x \"" + archive + "\" \"" + folder + "\"", output);
}
