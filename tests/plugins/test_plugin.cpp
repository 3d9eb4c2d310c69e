// A stand-in for the archiver plug-in. YZ1_TEST_MODE in the environment
// chooses what Yz1 does (a fault, silence, or "load:NAME" to load a library by
// bare name); unset, it writes the bytes of "output.txt" beside the
// library and returns 1, a result that the caller must not count. Every call
// records its arguments in "call.txt" beside the library: the command line's
// bytes, then a line with the size and whether a window was given.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "os/fault_guard.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

std::string Env(const char* name) {
  char value[64] = {};
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n < sizeof value ? std::string(value) : std::string();
}

std::string Beside(const char* name) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH);
  while (n > 0 && path[n - 1] != '\\') --n;
  return std::string(path, n) + name;
}

std::string ReadText() {
  std::string text;
  if (std::FILE* file = std::fopen(Beside("output.txt").c_str(), "rb")) {
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
    std::fclose(file);
  }
  return text;
}

void Record(HWND window, LPCSTR commandLine, DWORD size) {
  if (std::FILE* file = std::fopen(Beside("call.txt").c_str(), "wb")) {
    std::fprintf(file, "%s\n%lu %s", commandLine, static_cast<unsigned long>(size),
                 window ? "window" : "null");
    std::fclose(file);
  }
}

void Write(const std::string& text, LPSTR output, DWORD size) {
  const std::size_t n = text.size() < size ? text.size() : size;
  std::memcpy(output, text.data(), n);
  output[n] = '\0';
}

// Through a volatile pointer, so that the compiler cannot turn the store into a trap.
void AccessViolation(void*) {
  static int* volatile nowhere = nullptr;
  *nowhere = 1;
}

void Fault(const std::string& mode) {
  static volatile int dividend = 1000, zero = 0;
  if (mode == "access-violation") AccessViolation(nullptr);
  if (mode == "illegal-instruction") asm volatile("ud2");
  if (mode == "divide-by-zero") dividend = dividend / zero;
  if (mode == "raise") RaiseException(0xE0001234, 0, 0, nullptr);
}

}  // namespace

extern "C" int WINAPI Yz1(HWND window, LPCSTR commandLine, LPSTR output, DWORD size) {
  Record(window, commandLine, size);
  const std::string mode = Env("YZ1_TEST_MODE");
  if (mode == "silent") return 0;
  if (mode.rfind("load:", 0) == 0) {
    // A library loaded by bare name at run time, as the process's search finds it.
    Write(LoadLibraryA(mode.substr(5).c_str()) ? "loaded" : "not loaded", output, size);
    return 0;
  }
  if (mode == "handled-fault") {
    // A fault that the plug-in catches itself must not reach the caller.
    Write(RunGuarded(AccessViolation, nullptr) ? "not caught" : "recovered", output, size);
    return 0;
  }
  if (!mode.empty()) {
    Write("partial", output, size);
    Fault(mode);
    return 0;
  }
  Write(ReadText(), output, size);
  return 1;
}
