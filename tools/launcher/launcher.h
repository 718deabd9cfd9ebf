// The logon launcher: closes an agent that is still running and starts a
// fresh one with "runonce". The closing half also serves the installer,
// which must end the agent before it replaces or removes its files.
#pragma once

#include <cstdint>

#include "ports.h"

namespace tp::launcher {

// A top-level window; 0 is none.
using WindowHandle = uintptr_t;

class AgentWindowPort {
public:
    // FindWindowA(className, windowName).
    virtual WindowHandle findWindow(const char* className, const char* windowName) = 0;
    // SendMessageA: returns when the window's thread has handled the message.
    virtual intptr_t sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;

protected:
    ~AgentWindowPort() = default;
};

class ProgramPort {
public:
    // WinExec(commandLine, show); values above 31 mean started.
    virtual uint32_t winExec(const char* commandLine, uint32_t show) = 0;

protected:
    ~ProgramPort() = default;
};

inline constexpr uint32_t kWmDestroy = 0x0002;
inline constexpr uint32_t kSwShowNormal = 1;
inline constexpr int kMaxDestroyMessages = 51;
inline constexpr uint32_t kDestroyPauseMs = 100;
inline constexpr int kCommandLineBytes = 260;
inline constexpr char kAgentTail[] = "\\QTX\\PNL\\USBPNL\\Tapagent.exe";

// WM_DESTROY to the agent's window, 100 ms apart, until it is gone or 51 were
// sent. Returns how many were sent.
int closeAgent(AgentWindowPort& windows, SleepPort& sleeper);

// The quoted program path, one blank and "runonce". False (and out empty) when
// the path is empty or the line does not fit.
bool agentCommandLine(const char* agentPath, char (&out)[kCommandLineBytes]);

// The whole launcher. agentPath is Tapagent's full path, empty when the
// Program Files folder is unknown: then nothing is started.
void runLauncher(AgentWindowPort& windows, SleepPort& sleeper, ProgramPort& programs, const char* agentPath);

}  // namespace tp::launcher
