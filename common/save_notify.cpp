#include "save_notify.h"

#include "driver_channel.h"

namespace tp {

StoreResult SaveAndNotify(PanelSettings& s, const SavePorts& ports) {
    s.calibrationChangePending = false;
    s.settingsChanged = false;
    const StoreResult stored = saveUserValues(ports.registry, s);
    // What was not stored is still a change: the next Apply tries again.
    if (!stored.ok()) s.settingsChanged = true;
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
