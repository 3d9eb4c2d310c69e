// The DLL's entry, in place of the C runtime's start-up, which the plug-in
// links without (about 8 KB): msvcrt.dll sets itself up, so all there is to
// do is run the static constructors when a process attaches, last listed
// first, as that start-up would. Static destructors and thread-local data
// would need the start-up's tables: the link refuses the first (nothing
// defines atexit for the plug-in), and the plug-in has none of the second.
#include <windows.h>

// The linker's list of static constructors: -1, the constructors, 0.
extern "C" void (*__CTOR_LIST__[])();

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  auto last = __CTOR_LIST__ + 1;
  while (*last) ++last;
  while (--last != __CTOR_LIST__) (*last)();
  return TRUE;
}
