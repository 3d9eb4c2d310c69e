// A library that loads but exports no entry Yz1 (nor anything else).
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
