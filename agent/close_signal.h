// The agent's watch on the machine-wide close signal (agent_close_signal.h):
// when the installer sets it, the agent ends as it does when Tapstart sends
// WM_DESTROY to its window.
#pragma once

#include <cstdint>

namespace tp::agent {

class CloseSignalPort {
public:
    // OpenEventA(SYNCHRONIZE, FALSE, name); 0 when there is none or access
    // is refused.
    virtual uintptr_t openEvent(const char* name) = 0;
    // CreateEventA, manual reset, not set, guarded by the security
    // descriptor that sddl describes; 0 when sddl cannot be converted or the
    // event cannot be made (an existing one refuses full access).
    virtual uintptr_t createEvent(const char* name, const char* sddl) = 0;
    // WaitForSingleObject(event, INFINITE); true when it was set.
    virtual bool waitForEvent(uintptr_t event) = 0;
    // SendMessageA(window, message, 0, 0).
    virtual void sendMessage(uintptr_t window, uint32_t message) = 0;

protected:
    ~CloseSignalPort() = default;
};

// The event, opened when an agent already made it, else made with the
// access for this Windows: Vista and later first try the descriptor with
// owner rights, then the one Windows XP knows. 0 when neither works: the
// agent then runs without the watch.
uintptr_t OpenCloseSignal(CloseSignalPort& port, bool nt6);

// The watch thread's body: waits for the signal, then WM_DESTROY to the main
// window.
void WatchCloseSignal(CloseSignalPort& port, uintptr_t event, uintptr_t mainWindow);

}  // namespace tp::agent
