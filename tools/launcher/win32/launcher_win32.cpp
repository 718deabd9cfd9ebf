#include <windows.h>

#include "launcher_win32.h"

namespace tp::launcher {

WindowHandle Win32AgentWindows::findWindow(const char* className, const char* windowName) {
    return reinterpret_cast<WindowHandle>(FindWindowA(className, windowName));
}

intptr_t Win32AgentWindows::sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return SendMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam);
}

uint32_t Win32Programs::winExec(const char* commandLine, uint32_t show) { return WinExec(commandLine, show); }

}  // namespace tp::launcher
