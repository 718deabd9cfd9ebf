// The agent's watch on the machine-wide close signal (agent_close_signal.h):
// when the installer sets it, the agent ends as it does when Tapstart sends
// WM_DESTROY to its window.
#pragma once

#include <cstdint>

#include "agent_close_signal.h"

namespace tp::agent {

class CloseSignalPort {
public:
    // OpenEventA(SYNCHRONIZE, FALSE, name); 0 when there is none or access
    // is refused.
    virtual uintptr_t openEvent(const char* name) = 0;
    // A manual-reset event, not set, guarded by the security descriptor that
    // sddl describes, the handle asking SYNCHRONIZE only (CreateEventExA with
    // that access where Windows has it; elsewhere CreateEventA's handle is
    // narrowed to it): its maker keeps no right to set it. *existed when the
    // name was taken already (the handle is then to that event). 0 when sddl
    // cannot be converted or the event can be neither made nor opened.
    virtual uintptr_t createEvent(const char* name, const char* sddl, bool* existed) = 0;
    // OpenEventA(READ_CONTROL) and GetSecurityInfo of the owner and DACL;
    // false when they cannot be read.
    virtual bool readSecurity(const char* name, agentwin::EventSecurity* security) = 0;
    virtual void closeHandle(uintptr_t handle) = 0;
    // One line for whoever watches the system's debug output: the agent has
    // no log of its own.
    virtual void log(const char* text) = 0;
    // WaitForSingleObject(event, INFINITE); true when it was set.
    virtual bool waitForEvent(uintptr_t event) = 0;
    // SendMessageA(window, message, 0, 0).
    virtual void sendMessage(uintptr_t window, uint32_t message) = 0;

protected:
    ~CloseSignalPort() = default;
};

inline constexpr char kForeignCloseSignalText[] =
    "Tapagent: Global\\TapagentClose lets users other than SYSTEM and the administrators set it; "
    "not watched (the installer closes this agent by its window)";

// The event, opened when an agent (or the installer) already made it, else
// made with the access for this Windows: Vista and later first try the
// descriptor with owner rights, then the one Windows XP knows. An event this
// agent did not make is used only when its access is guarded (see
// closeSignalIsGuarded); any other is logged and left. 0 when there is none
// to use: the agent then runs without the watch.
uintptr_t OpenCloseSignal(CloseSignalPort& port, bool nt6);

// The watch thread's body: waits for the signal, then WM_DESTROY to the main
// window.
void WatchCloseSignal(CloseSignalPort& port, uintptr_t event, uintptr_t mainWindow);

}  // namespace tp::agent
