// The plug-in bridge and the fault guard, with stand-in plug-ins copied as
// yz1.dll into the places that the search tries. The bridge's loads and boxes
// go through stand-ins in its table of system calls: they record every load
// attempt and every box (without showing it), and can hand out made-up
// handles.
#include "unit_archive/unit_archive.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <deque>
#include <functional>

#include "rtl/exception.h"
#include "rtl/text.h"
#include "tests/test_files.h"
#include "os/dll_search.h"
#include "os/fault_guard.h"

using namespace testing_files;

namespace {

const char16_t kNotFound[] = u"Yz1.dllが見つかりません。インストールしてください。";
const char16_t kFailed[] = u"Yz1.dll エラー:";

struct Box {
  HWND owner;
  std::u16string text, caption;
  UINT style;
};

std::vector<std::string> attempts;  // "W path" (full path) or "A name", in lower case
std::deque<HMODULE> madeUpHandles;  // handed out instead of loading while any are left
std::vector<Box> boxes;
const TPluginSystemCalls kSystemCalls = PluginSystemCalls;

std::u16string U16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

HMODULE Attempt(const std::string& kind, const std::string& path) {
  attempts.push_back(rtl::LowerCaseAnsi(kind + " " + path));
  if (madeUpHandles.empty()) return nullptr;
  HMODULE handle = madeUpHandles.front();
  madeUpHandles.pop_front();
  return handle;
}

HMODULE WINAPI LoadWide(LPCWSTR name, HANDLE file, DWORD flags) {
  EXPECT_EQ(flags, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (HMODULE madeUp = Attempt("W", rtl::ToAnsi(U16(name)))) return madeUp;
  return kSystemCalls.loadLibraryExW(name, file, flags);
}

HMODULE WINAPI LoadAnsi(LPCSTR name) {
  if (HMODULE madeUp = Attempt("A", name)) return madeUp;
  return kSystemCalls.loadLibraryA(name);
}

int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  boxes.push_back({owner, U16(text), U16(caption), style});
  return IDOK;
}

void* ChainHead() {
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void SetChainHead(void* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

std::string ProgramFolder() { return rtl::ToAnsi(rtl::ExtractFilePath(rtl::ProgramPath())); }

bool PluginIsLoaded() { return GetModuleHandleW(L"yz1.dll") != nullptr; }

std::u16string ErrorOf(const std::function<void()>& action) {
  return testing_files::MessageOf<Exception>(action);
}

class Bridge : public ::testing::Test {
 protected:
  void SetUp() override {
    RestrictDllSearch();  // as the launcher's entry does: the bare name finds no copy beside us
    attempts.clear();
    boxes.clear();
    PluginSystemCalls.loadLibraryExW = LoadWide;
    PluginSystemCalls.loadLibraryA = LoadAnsi;
    PluginSystemCalls.messageBoxW = RecordBox;
    PluginBaseDir = base_.Path();
  }

  void TearDown() override {
    PluginSystemCalls = kSystemCalls;
    for (int i = 0; i < 64 && PluginIsLoaded(); ++i) FreeLibrary(GetModuleHandleW(L"yz1.dll"));
    SetEnvironmentVariableA("YZ1_TEST_MODE", nullptr);
    for (const std::string& folder : {ProgramFolder() + "plug-ins\\", ProgramFolder()}) {
      DeleteFileA((folder + "yz1.dll").c_str());
      DeleteFileA((folder + "call.txt").c_str());
    }
    RemoveDirectoryA((ProgramFolder() + "plug-ins").c_str());
    PluginBaseDir.clear();
    PluginBaseDirOnly = false;
  }

  // Copies a stand-in plug-in into folder as yz1.dll.
  static void Install(const std::string& folder, const char* plugin = "yz1_test_plugin.dll") {
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string source = ProgramFolder() + "..\\test_plugins\\" + plugin;
    ASSERT_TRUE(CopyFileA(source.c_str(), (folder + "yz1.dll").c_str(), FALSE)) << source;
  }

  // Loads through the search, which must stop at folder after tries attempts.
  static void ExpectFoundAt(const std::string& folder, std::size_t tries) {
    attempts.clear();
    ASSERT_TRUE(Yz1Load());
    EXPECT_EQ(attempts.size(), tries);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(PluginLibrary(), path, MAX_PATH);
    EXPECT_EQ(rtl::LowerCaseAnsi(path), rtl::LowerCaseAnsi(folder + "yz1.dll"));
    EXPECT_NE(PluginEntry(), nullptr);
    EXPECT_TRUE(Yz1Unload());
    EXPECT_FALSE(PluginIsLoaded());
  }

  ScratchDir base_;
};

TEST_F(Bridge, SearchTriesFourPlacesInOrderAndStopsAtTheFirstHit) {
  std::string output = "untouched";
  EXPECT_EQ(ErrorOf([&] { Yz1Command("-x", output); }), kNotFound);
  const std::vector<std::string> all = {
      rtl::LowerCaseAnsi("w " + base_.Path() + "yz1.dll"), "a yz1.dll",
      rtl::LowerCaseAnsi("w " + ProgramFolder() + "yz1.dll"),
      rtl::LowerCaseAnsi("w " + ProgramFolder() + "plug-ins\\yz1.dll")};
  EXPECT_EQ(attempts, all);
  EXPECT_EQ(output, "untouched");
  EXPECT_EQ(PluginLibrary(), nullptr);
  PluginBaseDir.clear();
  attempts.clear();
  EXPECT_FALSE(Yz1Load());
  EXPECT_EQ(attempts, std::vector<std::string>(all.begin() + 1, all.end()));

  PluginBaseDir = base_.Path();
  Install(ProgramFolder() + "plug-ins\\");
  ExpectFoundAt(ProgramFolder() + "plug-ins\\", 4);
  Install(ProgramFolder());
  ExpectFoundAt(ProgramFolder(), 3);
  Install(base_.Path());
  ExpectFoundAt(base_.Path(), 1);
}

// With the plug-in in the pack, a copy that fails to load there is the end:
// copies beside the program are never tried.
TEST_F(Bridge, PackCarriesThePluginOnlyTheBaseDirIsTried) {
  PluginBaseDirOnly = true;
  Install(ProgramFolder());
  WriteFile(base_.File("yz1.dll"), std::string(61440, 'M'));  // cut short in the pack
  std::string output = "untouched";
  EXPECT_EQ(ErrorOf([&] { Yz1Command("-x", output); }), kNotFound);
  EXPECT_EQ(attempts, std::vector<std::string>{rtl::LowerCaseAnsi("w " + base_.Path() + "yz1.dll")});
  EXPECT_FALSE(PluginIsLoaded());
}

TEST_F(Bridge, HandlesUpTo32FailAndHandlesAbove2GBSucceed) {
  const auto handle = [](std::uintptr_t value) { return reinterpret_cast<HMODULE>(value); };
  madeUpHandles = {handle(1), handle(17), handle(32), handle(32)};
  EXPECT_EQ(LoadPluginLibrary("yz1.dll"), handle(32));
  EXPECT_EQ(attempts.size(), 4u);
  const FARPROC entry = PluginEntry();
  madeUpHandles = {handle(5), handle(5), handle(5), handle(5)};
  EXPECT_FALSE(Yz1Load());
  EXPECT_EQ(PluginLibrary(), nullptr);
  EXPECT_EQ(PluginEntry(), entry);
  attempts.clear();
  madeUpHandles = {handle(0x80001000)};
  EXPECT_EQ(LoadPluginLibrary("yz1.dll"), handle(0x80001000));
  EXPECT_EQ(attempts.size(), 1u);
}

TEST_F(Bridge, ExtractPassesTheCommandLineUnescapedWithSize1023) {
  Install(base_.Path());
  Yz1Extract("C:\\a&b %x%\\arc.yz1", "C:\\out dir\\");
  EXPECT_EQ(ReadFile(base_.File("call.txt")),
            "-x \"C:\\a&b %x%\\arc.yz1\" \"C:\\out dir\\\"\n1023 null");
}

// The stand-in returns 1 every time: the result must not count.
TEST_F(Bridge, OnlyTheWordErrorInAsciiLettersOfAnyCaseShowsTheBox) {
  const std::vector<std::pair<std::u16string, bool>> cases = {
      {u"Error: CRC mismatch", true}, {u"ERROR", true},
      {u"3 errors found", true},      {u"listing error.log", true},
      {u"エラー eRrOr", true},        {std::u16string(1018, u'a') + u"error", true},
      {u"3 files extracted.", false}, {u"", false},
      {u"ｅｒｒｏｒ", false},
  };
  Install(base_.Path());
  for (const auto& [text, shown] : cases) {
    const std::string bytes = rtl::ToAnsi(text);
    ASSERT_EQ(rtl::ToWide(bytes), text) << "needs code page 932 (LC_ALL=ja_JP.UTF-8 under Wine)";
    SCOPED_TRACE(bytes.substr(0, 30));
    WriteFile(base_.File("output.txt"), bytes);
    boxes.clear();
    std::string output = "stale error";
    EXPECT_NO_THROW(Yz1Command("-x", output));
    EXPECT_EQ(output, bytes);
    ASSERT_EQ(boxes.size(), shown ? 1u : 0u);
    if (shown) {
      EXPECT_EQ(boxes[0].owner, nullptr);
      EXPECT_EQ(boxes[0].text, text);
      EXPECT_EQ(boxes[0].caption, u"Yz1.dllより");
      EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_OK));
    }
    EXPECT_FALSE(PluginIsLoaded()) << "freed after the command";
  }
  SetEnvironmentVariableA("YZ1_TEST_MODE", "silent");
  std::string output = "stale error";
  Yz1Command("-x", output);
  EXPECT_EQ(output, "") << "a plug-in that writes nothing leaves an empty text";
}

TEST_F(Bridge, FaultsInThePluginRaiseWithItsOutputAndKeepItLoaded) {
  Install(base_.Path());
  for (const char* mode : {"access-violation", "illegal-instruction", "divide-by-zero", "raise"}) {
    for (int round = 0; round < 2; ++round) {
      SCOPED_TRACE(mode);
      SetEnvironmentVariableA("YZ1_TEST_MODE", mode);
      void* const head = ChainHead();
      std::string output;
      EXPECT_EQ(ErrorOf([&] { Yz1Command("-x", output); }), std::u16string(kFailed) + u"partial");
      EXPECT_EQ(ChainHead(), head) << "no handler stays installed";
      EXPECT_TRUE(PluginIsLoaded());
    }
  }
  // A fault that the plug-in catches itself never reaches the bridge.
  SetEnvironmentVariableA("YZ1_TEST_MODE", "handled-fault");
  std::string output;
  EXPECT_NO_THROW(Yz1Command("-x", output));
  EXPECT_EQ(output, "recovered");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Bridge, LibraryWithoutTheEntryFailsAndStaysLoaded) {
  Install(base_.Path(), "yz1_no_entry.dll");
  std::string output;
  EXPECT_EQ(ErrorOf([&] { Yz1Command("-x", output); }), kFailed);
  EXPECT_EQ(PluginEntry(), nullptr);
  EXPECT_TRUE(PluginIsLoaded());
}

void Fault(void*) {
  static int* volatile nowhere = nullptr;
  *nowhere = 1;
}

int unwindCalls = 0;

EXCEPTION_DISPOSITION __cdecl CountUnwinds(EXCEPTION_RECORD* record, void*, CONTEXT*, void*) {
  if (record->ExceptionFlags & EXCEPTION_UNWINDING) ++unwindCalls;
  return ExceptionContinueSearch;
}

// Faults under a handler frame of its own that only watches.
void FaultUnderAFrame(void*) {
  struct {
    void* next;
    void* handler;
  } frame{ChainHead(), reinterpret_cast<void*>(&CountUnwinds)};
  SetChainHead(&frame);
  Fault(nullptr);
}

TEST(FaultGuard, CatchesExceptionsAndFaultsUnwindsAndRestoresTheChain) {
  void* const head = ChainHead();
  int calls = 0;
  EXPECT_TRUE(RunGuarded([](void* n) { ++*static_cast<int*>(n); }, &calls));
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(RunGuarded([](void*) { throw 1; }, nullptr));
  for (int round = 0; round < 2; ++round) EXPECT_FALSE(RunGuarded(Fault, nullptr));
  EXPECT_FALSE(RunGuarded(FaultUnderAFrame, nullptr));
  EXPECT_EQ(unwindCalls, 1) << "the frames above the guard were unwound";
  EXPECT_EQ(ChainHead(), head);
}

TEST(FaultGuard, InnerGuardCatchesFirstAndTheOuterSeesNothing) {
  bool inner = true;
  const auto nested = [](void* result) {
    *static_cast<bool*>(result) = RunGuarded(Fault, nullptr);
  };
  EXPECT_TRUE(RunGuarded(nested, &inner));
  EXPECT_FALSE(inner);
}

}  // namespace
