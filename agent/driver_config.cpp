// Bringing the driver and Windows into line with the stored settings.
#include <cstring>
#include <initializer_list>

#include "agent.h"
#include "calibration.h"
#include "registry.h"

namespace tp::agent {

namespace {

void readInto(RegistryPort& reg, RegKey key, const char* name, Value& target) {
    uint32_t v = target.get();
    if (readDword(reg, key, name, &v)) target.set(v);
}

void readNumbered(RegistryPort& reg, RegKey key, const char* prefix, Value (&targets)[kMaxMonitors]) {
    for (int i = 0; i < kMaxMonitors; ++i) readInto(reg, key, numberedName(prefix, i + 1).c_str(), targets[i]);
}

RegKey openWithRetry(Agent& a, RetryPolicy policy, OpenMode mode, RegRoot root, const char* path, uint32_t access) {
    return openKeyWithRetry(a.ports.registry, a.ports.sleep, policy, mode, root, path, access);
}

// The values the seeding path reads and writes start from what the agent
// holds now, with the routine's own defaults for the rest.
UserValues currentUserValues(const AgentSettings& s) {
    UserValues v;
    v.option = s.option.get();
    v.freq = s.freq.get();
    v.duration = s.duration.get();
    v.dHeight = s.dHeight.get();
    v.dWidth = s.dWidth.get();
    for (int i = 0; i < kMaxMonitors; ++i) {
        v.monitorOption[i] = s.monitorOption[i].get();
        v.monitorFreq[i] = s.monitorFreq[i].get();
        v.monitorDuration[i] = s.monitorDuration[i].get();
    }
    return v;
}

void takeUserValues(AgentSettings& s, const UserValues& v) {
    s.option.set(v.option);
    s.freq.set(v.freq);
    s.duration.set(v.duration);
    s.dHeight.set(v.dHeight);
    s.dWidth.set(v.dWidth);
    for (int i = 0; i < kMaxMonitors; ++i) {
        s.monitorOption[i].set(v.monitorOption[i]);
        s.monitorFreq[i].set(v.monitorFreq[i]);
        s.monitorDuration[i].set(v.monitorDuration[i]);
    }
}

void seedUserKey(Agent& a) {
    RegistryPort& reg = a.ports.registry;
    UserValues values = currentUserValues(a.state.settings);
    {
        ScopedKey seed(
            reg, openWithRetry(a, kSeedKeyRetry, OpenMode::Open, RegRoot::LocalMachine, key::kPanelParams, kKeyRead));
        if (seed)
            forEachUserValue(values, ValueOrder::Seeding, [&](const ValueName& name, uint32_t& field) {
                readDword(reg, seed.get(), name.c_str(), &field);
            });
    }
    takeUserValues(a.state.settings, values);
    RegKey created = 0;
    if (reg.create(RegRoot::CurrentUser, key::kUser, kKeyReadWrite, &created) != kErrorSuccess) created = 0;
    ScopedKey user(reg, created);
    if (!user) return;
    forEachUserValue(values, ValueOrder::Seeding,
                     [&](const ValueName& name, uint32_t& field) { writeDword(reg, user.get(), name.c_str(), field); });
}

bool readPanelIds(Device& device, PanelIdTable* table) {
    uint8_t bytes[kPanelIdTableSize] = {};
    if (!device.send(req::kGetPanelIds, nullptr, 0, bytes, sizeof bytes)) return false;
    *table = decodePanelIdTable(bytes);
    return true;
}

}  // namespace

namespace {

struct DoubleClickArea {
    uint32_t height;
    uint32_t width;
};

// Everything of ApplyStoredSettings up to the double-click area, under its
// lock; false once shutdown has begun (nothing done).
bool applyUnderLock(Agent& a, DoubleClickArea* area) {
    RoutineLock lock(a.ports.locks, Routine::ApplyStoredSettings);
    if (a.state.shuttingDown.get()) return false;
    RegistryPort& reg = a.ports.registry;
    AgentSettings& s = a.state.settings;

    s.dHeight.set(def::kDoubleClickArea);
    s.dWidth.set(def::kDoubleClickArea);

    // The panel is one per machine: only the agent of the active console
    // session hands the driver its user's settings. Another session's agent
    // still reads them, ready for its return (the session watch re-applies).
    const bool drives = a.state.sessionActive.get() != 0;
    PanelIdTable panels{};
    bool havePanels = false;
    if (drives) {
        Device device(a.ports.driver, kPanelDevicePath);
        if (device) havePanels = readPanelIds(device, &panels);
    }

    {
        ScopedKey panel(
            reg, openWithRetry(a, kUserKeyRetry, OpenMode::Open, RegRoot::LocalMachine, key::kPanelParams, kKeyRead));
        if (panel) {
            readInto(reg, panel.get(), val::kSpinMode, s.spinMode);
            readInto(reg, panel.get(), val::kTPriority, s.tPriority);
        }
    }

    {
        ScopedKey multi(
            reg, openWithRetry(a, kUserKeyRetry, OpenMode::Open, RegRoot::LocalMachine, key::kMultiParams, kKeyRead));
        if (multi) {
            readInto(reg, multi.get(), val::kDisableMode, s.disableMode);
            // Read as the key holds them, then unused: the layout sent to the
            // driver is measured, not stored.
            uint32_t unused = 0;
            for (const char* prefix : {val::kResolution, val::kOrgResolutionX, val::kOrgResolutionY})
                for (int i = 0; i < kMaxMonitors; ++i)
                    readDword(reg, multi.get(), numberedName(prefix, i + 1).c_str(), &unused);
        }
    }

    bool userKeyFound = false;
    {
        ScopedKey user(reg,
                       openWithRetry(a, kUserKeyRetry, OpenMode::Open, RegRoot::CurrentUser, key::kUser, kKeyRead));
        if (user) {
            userKeyFound = true;
            readInto(reg, user.get(), val::kOption, s.option);
            readInto(reg, user.get(), val::kFreq, s.freq);
            readInto(reg, user.get(), val::kDuration, s.duration);
            readInto(reg, user.get(), val::kDHeight, s.dHeight);
            readInto(reg, user.get(), val::kDWidth, s.dWidth);
            readNumbered(reg, user.get(), val::kOption, s.monitorOption);
            readNumbered(reg, user.get(), val::kFreq, s.monitorFreq);
            readNumbered(reg, user.get(), val::kDuration, s.monitorDuration);
            Device device(a.ports.driver, kPanelDevicePath);
            if (device && havePanels) PushCalibrationTables(a, user.get(), device, panels);
        }
    }
    if (!userKeyFound) seedUserKey(a);

    if (drives) {
        Device device(a.ports.driver, kPanelDevicePath);
        if (device) device.sendDword(req::kSetOption, s.option.get());
    }

    *area = {s.dHeight.get(), s.dWidth.get()};
    return true;
}

}  // namespace

void ApplyStoredSettings(Agent& a) {
    DoubleClickArea area{};
    if (!applyUnderLock(a, &area)) return;
    // SPIF_SENDCHANGE would send WM_SETTINGCHANGE to every top-level window
    // and wait for each: one program that has stopped answering would hold
    // this thread for as long as it hangs. The values are written alone and
    // announced from a thread of its own, after the lock is released.
    // Only a value that moved is announced: most applications (a panel that
    // reconnects, a session's return) change nothing.
    const uint32_t actions[] = {win::kSpiSetDoubleClkHeight, win::kSpiSetDoubleClkWidth};
    const uint32_t values[] = {area.height, area.width};
    const int metrics[] = {win::kSmCyDoubleClk, win::kSmCxDoubleClk};
    for (int i = 0; i < 2; ++i) {
        const bool moved = static_cast<uint32_t>(a.ports.display.getSystemMetrics(metrics[i])) != values[i];
        if (a.ports.display.systemParametersInfo(actions[i], values[i], win::kSpifUpdateIniFile) && moved)
            a.ports.window.announceSettingChange(actions[i]);
    }
}

void PushCalibrationTables(Agent& a, RegKey userKey, Device& device, const PanelIdTable& panels) {
    for (int slot = 0; slot < kPanelSlots; ++slot) {
        const int32_t port = panels.port[slot];
        if (port == kEmptySlot) continue;
        CalibrationTableBlock block;
        if (loadCalibrationBlock(a.ports.registry, userKey, port, &block))
            device.send(req::kSetCalibration, block.bytes, sizeof block.bytes);
    }
}

void PushDisplayOrientation(Agent& a) {
    AgentSettings& s = a.state.settings;
    {
        ScopedKey panel(a.ports.registry, openWithRetry(a, kUserKeyRetry, OpenMode::Open, RegRoot::LocalMachine,
                                                        key::kPanelParams, kKeyRead));
        if (panel) readInto(a.ports.registry, panel.get(), val::kSpinMode, s.spinMode);
    }
    if (s.spinMode.get() & 1) return;
    for (int i = 0; i < 10; ++i) {
        uint32_t orientation = 0;  // what a zeroed display mode reads as
        a.ports.display.currentDisplayOrientation(&orientation);
        if (orientation > 2) orientation = 3;
        Device device(a.ports.driver, kPanelDevicePath);
        if (device) device.sendDword(req::kSetOrientation, orientation);
    }
}

namespace {

class LayoutCollector : public MonitorVisitor {
public:
    explicit LayoutCollector(Agent& a) : a_(a) {}

    bool visit(MonitorHandle monitor, const Rect& rect) override {
        AgentState& st = a_.state;
        const int number = ++st.enumeratedMonitors;
        const int total = a_.ports.display.getSystemMetrics(win::kSmCMonitors);
        if (!a_.ports.display.getMonitorInfo(monitor)) {
            a_.ports.display.messageBox(0, kDisplayErrorText, kMessageCaption, win::kMbOk);
            st.enumeratedMonitors = 0;
            return false;
        }
        if (number <= kMaxMonitors) {
            const int i = number - 1;
            st.layout.resolution[i] = packResolution(static_cast<uint32_t>(rect.right - rect.left),
                                                     static_cast<uint32_t>(rect.bottom - rect.top));
            st.layout.originX[i] = encodeOrigin(rect.left);
            st.layout.originY[i] = encodeOrigin(rect.top);
        }
        if (number < total) return true;

        st.enumeratedMonitors = 0;
        {
            ScopedKey multi(a_.ports.registry,
                            openKeyWithRetry(a_.ports.registry, a_.ports.sleep, kLayoutKeyRetry, OpenMode::Open,
                                             RegRoot::LocalMachine, key::kMultiParams, kKeyRead));
            if (multi) readDword(a_.ports.registry, multi.get(), val::kNComm, &st.layout.nComm);
        }
        if (total < kMaxMonitors) st.layout.clearFrom(total);
        st.layout.disableMode = st.settings.disableMode.get();
        uint8_t bytes[kMonitorLayoutBlockSize];
        st.layout.encode(bytes);
        sendRequest(a_.ports.driver, kMultiDevicePath, req::kSetMonitorLayout, bytes, sizeof bytes);
        return true;
    }

private:
    Agent& a_;
};

}  // namespace

void PushMonitorLayout(Agent& a) {
    // A previous enumeration that ended short of the monitor total must not
    // shift this one's numbering.
    a.state.enumeratedMonitors = 0;
    LayoutCollector collector(a);
    a.ports.display.enumDisplayMonitors(collector);
}

void PollCalibrationData(Agent& a) {
    Device device(a.ports.driver, kPanelDevicePath);
    if (!device) return;
    PanelIdTable now{};
    if (!readPanelIds(device, &now)) return;
    const bool changed = std::memcmp(now.port, a.state.lastPanels.port, sizeof now.port) != 0;
    a.state.lastPanels = now;
    if (!changed) return;
    ScopedKey user(a.ports.registry,
                   openWithRetry(a, kUserKeyRetry, OpenMode::Open, RegRoot::CurrentUser, key::kUser, kKeyRead));
    if (user) PushCalibrationTables(a, user.get(), device, now);
}

uint32_t CalibrationDataThread(Agent& a) {
    while (a.state.calibrationDataThread.run.get()) {
        PollCalibrationData(a);
        a.ports.sleep.sleep(1000);
    }
    return 1;
}

}  // namespace tp::agent
