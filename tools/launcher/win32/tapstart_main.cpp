// Tapstart.exe: no window, no message, exit code 0.
#include <windows.h>

#include "launcher_win32.h"
#include "win32_ports.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    tp::launcher::Win32AgentWindows windows;
    tp::launcher::Win32Programs programs;
    tp::Win32Sleep sleeper;
    char agent[260];
    tp::installPath(tp::launcher::kAgentTail, agent);
    tp::launcher::runLauncher(windows, sleeper, programs, agent);
    return 0;
}
