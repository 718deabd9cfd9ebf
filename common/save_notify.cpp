#include "save_notify.h"

#include "driver_channel.h"

namespace tp {

bool SaveAndNotify(PanelSettings& s, const SavePorts& ports) {
    s.calibrationChangePending = false;
    s.settingsChanged = false;
    const bool stored = saveUserValues(ports.registry, s);
    clearUnusedMonitors(s);

    uint8_t layout[kMonitorLayoutBlockSize];
    s.layout.encode(layout);
    uint8_t block[kAgentSettingsBlockSize];
    encodeAgentSettingsBlock(agentBlockOf(s), block);

    sendRequest(ports.driver, kMultiDevicePath, req::kSetMonitorLayout, layout, sizeof layout);
    if (WindowHandle agent = ports.agent.findAgentWindow())
        ports.agent.sendCopyData(agent, 0, block, sizeof block, kAgentSendTimeoutMs);
    ports.sleeper.sleep(kDriverNotifyDelayMs);
    sendRequest(ports.driver, kPanelDevicePath, req::kSignalSettingsChanged);
    return stored;
}

}  // namespace tp
