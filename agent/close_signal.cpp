#include "close_signal.h"

#include "agent.h"
#include "agent_close_signal.h"

namespace tp::agent {

uintptr_t OpenCloseSignal(CloseSignalPort& port, bool nt6) {
    if (uintptr_t event = port.openEvent(agentwin::kCloseEventName)) return event;
    if (nt6)
        if (uintptr_t event = port.createEvent(agentwin::kCloseEventName, agentwin::kCloseEventSddl)) return event;
    if (uintptr_t event = port.createEvent(agentwin::kCloseEventName, agentwin::kCloseEventSddlXp)) return event;
    // Another agent made it between our open and our create.
    return port.openEvent(agentwin::kCloseEventName);
}

void WatchCloseSignal(CloseSignalPort& port, uintptr_t event, uintptr_t mainWindow) {
    if (port.waitForEvent(event)) port.sendMessage(mainWindow, win::kWmDestroy);
}

}  // namespace tp::agent
