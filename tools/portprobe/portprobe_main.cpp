// Tapport.exe: no window, no message, exit code 0.
#include <windows.h>

#include "portprobe.h"
#include "win32_ports.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    tp::Win32Registry registry;
    tp::Win32Sleep sleeper;
    char program[260];
    tp::installPath(tp::probe::kProgramTail, program);
    tp::probe::runPortProbe(registry, sleeper, program);
    return 0;
}
