// The smallest DLL the toolchain makes with the suite's settings: the yardstick
// for the size of the suite's own DLLs.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
