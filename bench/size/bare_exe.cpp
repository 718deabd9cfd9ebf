// The smallest GUI program the toolchain makes with the suite's settings.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
