// Tapsetup.dll's CloseAgent, for what no installer table does: Windows Installer has no
// table that ends a running program by a window message, and a running
// agent would keep its files locked through an upgrade or a removal.
#include <windows.h>

#include "launcher_win32.h"
#include "win32_ports.h"

namespace {

// An agent that hangs must not hang the installer with it: a window that
// does not answer counts as answered, and the next look decides.
class BoundedAgentWindows : public tp::launcher::Win32AgentWindows {
public:
    intptr_t sendMessage(tp::launcher::WindowHandle window, uint32_t message, uintptr_t wParam,
                         intptr_t lParam) override {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(reinterpret_cast<HWND>(window), message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
        return static_cast<intptr_t>(result);
    }
};

}  // namespace

// UINT __stdcall (MSIHANDLE): the shape of a DLL custom action; the handle is
// not needed, so msi.h is not either.
extern "C" UINT WINAPI CloseAgent(ULONG) {
    BoundedAgentWindows windows;
    tp::Win32Sleep sleeper;
    tp::launcher::closeAgent(windows, sleeper);
    return ERROR_SUCCESS;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
