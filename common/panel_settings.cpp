#include "panel_settings.h"

#include "registry.h"

namespace tp {

PanelSettings::PanelSettings() {
    for (uint32_t& r : layout.resolution) r = def::kResolution;
}

namespace {

RegKey openOnce(RegistryPort& reg, RegRoot root, const char* path) {
    RegKey key = 0;
    return reg.open(root, path, kKeyRead, &key) == kErrorSuccess ? key : 0;
}

void readNumbered(RegistryPort& reg, RegKey key, const char* prefix, uint32_t (&out)[kMaxMonitors]) {
    for (int i = 0; i < kMaxMonitors; ++i) readDword(reg, key, numberedName(prefix, i + 1).c_str(), &out[i]);
}

}  // namespace

void loadPanelSettings(RegistryPort& reg, PanelSettings& s) {
    if (ScopedKey multi(reg, openOnce(reg, RegRoot::LocalMachine, key::kMultiParams)); multi) {
        s.multiMonitorDriver = true;
        readNumbered(reg, multi.get(), val::kResolution, s.layout.resolution);
        readNumbered(reg, multi.get(), val::kOrgResolutionX, s.layout.originX);
        readNumbered(reg, multi.get(), val::kOrgResolutionY, s.layout.originY);
        readDword(reg, multi.get(), val::kNComm, &s.layout.nComm);
        readDword(reg, multi.get(), val::kDisableMode, &s.layout.disableMode);
    }
    if (ScopedKey panel(reg, openOnce(reg, RegRoot::LocalMachine, key::kPanelParams)); panel) {
        readString(reg, panel.get(), val::kVersion, s.version, sizeof s.version);
    }
    if (ScopedKey user(reg, openOnce(reg, RegRoot::CurrentUser, key::kUser)); user) {
        forEachUserValue(s.user, ValueOrder::ConsoleSave, [&](const ValueName& name, uint32_t& field) {
            readDword(reg, user.get(), name.c_str(), &field);
        });
    }
    s.dHeightEdit = static_cast<int>(s.user.dHeight);
    s.dWidthEdit = static_cast<int>(s.user.dWidth);
    s.lastMonitor = s.lastMonitorAtStart = monitorCount(s.layout.resolution) - 1;
}

StoreResult saveUserValues(RegistryPort& reg, const PanelSettings& s) {
    StoreResult result;
    RegKey raw = 0;
    result.error = reg.create(RegRoot::CurrentUser, key::kUser, kKeyReadWrite, &raw);
    if (result.error != kErrorSuccess || !raw) {
        // A port that reports success without a key still failed.
        if (result.ok()) result.error = kErrorInvalidHandle;
        return result;
    }
    ScopedKey user(reg, raw);
    UserValues saved = s.user;
    saved.dHeight = static_cast<uint32_t>(s.dHeightEdit);
    saved.dWidth = static_cast<uint32_t>(s.dWidthEdit);
    forEachUserValue(saved, ValueOrder::ConsoleSave, [&](const ValueName& name, uint32_t& field) {
        if (!result.ok()) return;
        result.error = writeDword(reg, user.get(), name.c_str(), field);
        if (!result.ok()) result.failedValue = name;
    });
    return result;
}

void clearUnusedMonitors(PanelSettings& s) { s.layout.clearFrom(s.lastMonitor + 1); }

AgentSettingsBlock agentBlockOf(const PanelSettings& s) {
    AgentSettingsBlock b;
    b.freq = s.user.freq;
    b.duration = s.user.duration;
    b.option = s.user.option;
    b.disableMode = s.layout.disableMode;
    for (int i = 0; i < kMaxMonitors; ++i) {
        b.monitorFreq[i] = s.user.monitorFreq[i];
        b.monitorDuration[i] = s.user.monitorDuration[i];
        b.monitorOption[i] = s.user.monitorOption[i];
        b.resolution[i] = s.layout.resolution[i];
        b.originX[i] = s.layout.originX[i];
        b.originY[i] = s.layout.originY[i];
    }
    return b;
}

}  // namespace tp
