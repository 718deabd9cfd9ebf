#include "close_signal.h"

#include "agent.h"

namespace tp::agent {

namespace {

uintptr_t usableIfGuarded(CloseSignalPort& port, uintptr_t event, bool nt6) {
    agentwin::EventSecurity security{};
    if (port.readSecurity(agentwin::kCloseEventName, &security) && agentwin::closeSignalIsGuarded(security, nt6))
        return event;
    port.log(kForeignCloseSignalText);
    port.closeHandle(event);
    return 0;
}

}  // namespace

uintptr_t OpenCloseSignal(CloseSignalPort& port, bool nt6) {
    if (uintptr_t event = port.openEvent(agentwin::kCloseEventName)) return usableIfGuarded(port, event, nt6);
    bool existed = false;
    if (nt6)
        if (uintptr_t event = port.createEvent(agentwin::kCloseEventName, agentwin::kCloseEventSddl, &existed))
            return existed ? usableIfGuarded(port, event, nt6) : event;
    if (uintptr_t event = port.createEvent(agentwin::kCloseEventName, agentwin::kCloseEventSddlXp, &existed))
        return existed ? usableIfGuarded(port, event, nt6) : event;
    // Another agent made it between our open and our create.
    if (uintptr_t event = port.openEvent(agentwin::kCloseEventName)) return usableIfGuarded(port, event, nt6);
    return 0;
}

void WatchCloseSignal(CloseSignalPort& port, uintptr_t event, uintptr_t mainWindow) {
    if (port.waitForEvent(event)) port.sendMessage(mainWindow, win::kWmDestroy);
}

}  // namespace tp::agent
