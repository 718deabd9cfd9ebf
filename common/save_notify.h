// The one save path of the settings record: every program that changes the
// user's settings stores and announces them through SaveAndNotify.
#pragma once

#include "agent_link.h"
#include "panel_settings.h"
#include "ports.h"

namespace tp {

struct SavePorts {
    RegistryPort& registry;
    DriverPort& driver;
    SleepPort& sleeper;
    AgentLinkPort& agent;
};

// How long the agent may take over the settings before the save goes on.
inline constexpr uint32_t kAgentSendTimeoutMs = 5000;
// The pause that lets the agent take the settings before the driver signals.
inline constexpr uint32_t kDriverNotifyDelayMs = 1000;

// Stores the record, sends the layout to the driver and the settings to the
// agent, then tells the driver that settings changed. Always runs to the end;
// the result says whether every value was stored, and if not, which one and why.
StoreResult SaveAndNotify(PanelSettings& s, const SavePorts& ports);

}  // namespace tp
