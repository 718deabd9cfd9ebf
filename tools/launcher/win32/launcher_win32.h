// FindWindowA / SendMessageA / WinExec behind the launcher's ports.
#pragma once

#include "launcher.h"

namespace tp::launcher {

class Win32AgentWindows : public AgentWindowPort {
public:
    WindowHandle findWindow(const char* className, const char* windowName) override;
    intptr_t sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
};

class Win32Programs : public ProgramPort {
public:
    uint32_t winExec(const char* commandLine, uint32_t show) override;
};

}  // namespace tp::launcher
