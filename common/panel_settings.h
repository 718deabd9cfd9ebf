// PanelSettings: the console's one settings record, loaded once at start,
// edited in place by the pages and written back by one save.
#pragma once

#include <cstdint>

#include "agent_settings_block.h"
#include "ports.h"
#include "settings.h"

namespace tp {

struct PanelSettings {
    PanelSettings();

    // Option … StdDuration9 as the user key holds them; user.dHeight and
    // user.dWidth are the committed double-click area.
    UserValues user;
    // What the click page edits; these are the values saved.
    int dHeightEdit = def::kDoubleClickArea;
    int dWidthEdit = def::kDoubleClickArea;
    // 1000 - double-click time in ms, 100…900; not in the registry.
    int dClickSpeed = 500;
    int dClickSpeedEdit = 500;
    // Resolution1…9, OrgResolutionX/Y1…9, nComm, DisableMode.
    MonitorLayoutBlock layout;
    // Monitors in use - 1 (-1 when none).
    int lastMonitor = kMaxMonitors - 1;
    int lastMonitorAtStart = kMaxMonitors - 1;
    char version[kVersionMaxBytes] = {};
    bool multiMonitorDriver = false;
    bool settingsChanged = false;
    bool calibrationChangePending = false;
};

// Reads both driver keys and the user key (each skipped when it cannot be
// opened), then derives the edit copies and LastMonitor.
void loadPanelSettings(RegistryPort& reg, PanelSettings& s);

// How a save of the user key went: the Win32 error of the first step that
// failed, and the value it failed on (empty when the key itself could not be
// created or opened).
struct StoreResult {
    long error = kErrorSuccess;
    ValueName failedValue{};
    bool ok() const { return error == kErrorSuccess; }
};

// Writes the 52 user values in the console's order, DHeight and DWidth from
// their edit copies, and stops at the first write the registry refuses: a
// value reported as saved is a value stored.
StoreResult saveUserValues(RegistryPort& reg, const PanelSettings& s);

// Zeroes size and origins of every monitor beyond LastMonitor + 1.
void clearUnusedMonitors(PanelSettings& s);

AgentSettingsBlock agentBlockOf(const PanelSettings& s);

}  // namespace tp
