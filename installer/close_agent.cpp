// Tapsetup.dll: the package's one custom action. Windows Installer has no
// table that ends a running program by a window message, and a running
// agent would keep its files locked through an upgrade or a removal.
#include <windows.h>

#include "launcher_win32.h"
#include "win32_ports.h"

// UINT __stdcall (MSIHANDLE): the shape of a DLL custom action; the handle is
// not needed, so msi.h is not either.
extern "C" UINT WINAPI CloseAgent(ULONG) {
    tp::launcher::Win32AgentWindows windows;
    tp::Win32Sleep sleeper;
    tp::launcher::closeAgent(windows, sleeper);
    return ERROR_SUCCESS;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
