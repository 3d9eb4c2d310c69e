// The empty program of the setup benchmark: a window-less program like the
// launcher that ends at once, so that its run under Wine is the cost of
// starting a process and nothing else.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
