// The launcher's program entry: restricts the DLL search to the system folder
// before anything can load a DLL by name, runs the sequence once under a
// guard that swallows every failure, processor faults included, and always
// exits with 0.
#include <windows.h>

#include "launcher/setup_launcher.h"
#include "os/dll_search.h"
#include "os/fault_guard.h"

namespace {

void RunSequence(void*) { RunSetupLauncher(); }

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictDllSearch();
  RunGuarded(RunSequence, nullptr);
  return 0;
}
