#include <windows.h>

#include "agent_window.h"
#include "win32_ports.h"

namespace tp {

WindowHandle Win32AgentLink::findAgentWindow() {
    return reinterpret_cast<WindowHandle>(FindWindowA(agentwin::kWindowClass, agentwin::kWindowName));
}

// No SMTO_BLOCK: messages other programs send the caller are answered while
// the agent takes the settings.
bool Win32AgentLink::sendCopyData(WindowHandle window, uint32_t tag, const uint8_t* data, uint32_t size,
                                  uint32_t timeoutMs) {
    COPYDATASTRUCT cds{};
    cds.dwData = tag;
    cds.cbData = size;
    cds.lpData = const_cast<uint8_t*>(data);
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(reinterpret_cast<HWND>(window), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds),
                               SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}

}  // namespace tp
