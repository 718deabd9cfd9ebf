// The resident agent seen from a program that hands it settings: its window,
// found by class and name, and the one message that carries the settings.
#pragma once

#include <cstdint>

namespace tp {

using WindowHandle = uintptr_t;

class AgentLinkPort {
public:
    // FindWindowA(class, name); 0 when the agent is not running.
    virtual WindowHandle findAgentWindow() = 0;
    // SendMessageTimeoutA(WM_COPYDATA, SMTO_ABORTIFHUNG); false on time-out or failure.
    virtual bool sendCopyData(WindowHandle window, uint32_t tag, const uint8_t* data, uint32_t size,
                              uint32_t timeoutMs) = 0;

protected:
    ~AgentLinkPort() = default;
};

}  // namespace tp
