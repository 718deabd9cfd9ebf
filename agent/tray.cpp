// The notification-area icon whose clicks arm and disarm the secondary button.
#include <cstring>

#include "agent.h"

namespace tp::agent {

bool SetTrayIcon(Agent& a, WindowHandle window, uint32_t operation, uint32_t id, IconHandle icon, const char* tip) {
    TrayIconData data{};
    data.window = window;
    data.id = id;
    data.flags = win::kNifMessage | win::kNifIcon | win::kNifTip;
    data.callbackMessage = AGM_BUTTON_MODE;
    data.icon = icon;
    if (tip) {
        // lstrcpynA: at most 63 characters and the terminator.
        size_t n = 0;
        while (n < sizeof data.tip - 1 && tip[n]) ++n;
        std::memcpy(data.tip, tip, n);
    }
    const bool result = a.ports.tray.shellNotifyIcon(operation, data);
    if (icon) a.ports.tray.destroyIcon(icon);
    return result;
}

}  // namespace tp::agent
