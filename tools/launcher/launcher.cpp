#include "launcher.h"

#include <cstring>

#include "agent_window.h"
#include "text.h"

namespace tp::launcher {

int closeAgent(AgentWindowPort& windows, SleepPort& sleeper) {
    int sent = 0;
    WindowHandle window = windows.findWindow(agentwin::kWindowClass, agentwin::kWindowName);
    while (window && sent < kMaxDestroyMessages) {
        windows.sendMessage(window, kWmDestroy, 0, 0);
        ++sent;
        sleeper.sleep(kDestroyPauseMs);
        if (sent < kMaxDestroyMessages) window = windows.findWindow(agentwin::kWindowClass, agentwin::kWindowName);
    }
    return sent;
}

bool agentCommandLine(const char* agentPath, char (&out)[kCommandLineBytes]) {
    std::memset(out, 0, sizeof out);
    // Quoted: unquoted, "C:\Program Files\..." would let Windows try C:\Program.exe first.
    if (!agentPath || !*agentPath || !appendText(out, sizeof out, "\"") || !appendText(out, sizeof out, agentPath) ||
        !appendText(out, sizeof out, "\" runonce")) {
        out[0] = '\0';
        return false;
    }
    return true;
}

void runLauncher(AgentWindowPort& windows, SleepPort& sleeper, ProgramPort& programs, const char* agentPath) {
    closeAgent(windows, sleeper);
    // An agent that would not close makes the newcomer exit on its
    // single-instance check, so starting anyway is harmless.
    char command[kCommandLineBytes];
    if (agentCommandLine(agentPath, command)) programs.winExec(command, kSwShowNormal);
}

}  // namespace tp::launcher
