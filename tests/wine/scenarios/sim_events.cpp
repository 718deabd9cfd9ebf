// The simulator's event contract: a panel registration wakes exactly once,
// when a panel event can be read; 0x222070 wakes every settings
// registration once. The signal is set before the triggering request
// returns, so each check looks at the event without waiting.
#include <cstring>

#include "tpt.h"

namespace {

namespace st = tpsim::st;
namespace req = tp::req;
constexpr const char* kTap = tp::kPanelDevicePath;

bool registerPanel(const tpt::Event& e) { return tpt::request(kTap, req::kRegisterPanelEvent, e.registration(), 8).ok; }
bool registerSettings(const tpt::Event& e) {
    return tpt::request(kTap, req::kRegisterSettingsEvent, e.registration(), 8).ok;
}

tpt::Request readEvent(uint32_t* word) {
    uint8_t out[4] = {};
    tpt::Request r = tpt::request(kTap, req::kReadPanelEvent, nullptr, 0, out, 4);
    *word = tp::get32(out);
    return r;
}

void panelRegistrationWakesOnce() {
    tpt::group("a panel registration wakes once, when an event can be read");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    tpt::Event e;
    TPT_CHECK(registerPanel(e));
    TPT_CHECK_EQ(sim.state()[st::kPanelRegistered], 1u);
    TPT_CHECK(!e.signalled());

    const uint32_t touch3 = tp::encodePanelEvent(2, tp::kEventTouch);
    const uint32_t release3 = tp::encodePanelEvent(2, tp::kEventRelease);
    TPT_CHECK(sim.injectEvent(touch3));
    TPT_CHECK(e.signalled());
    TPT_CHECK_EQ(sim.state()[st::kPanelRegistered], 0u);  // used up by the signal
    e.reset();
    TPT_CHECK(sim.injectEvent(release3));
    TPT_CHECK(!e.signalled());
    TPT_CHECK_EQ(sim.state()[st::kPendingEventCount], 2u);

    uint32_t word = 0;
    TPT_CHECK(readEvent(&word).ok);
    TPT_CHECK_EQ(word, touch3);  // oldest first
    TPT_CHECK(!e.signalled());
    TPT_CHECK(registerPanel(e));  // renewed while one is still pending: wakes at once
    TPT_CHECK(e.signalled());
    e.reset();
    TPT_CHECK(readEvent(&word).ok);
    TPT_CHECK_EQ(word, release3);
    TPT_CHECK(!readEvent(&word).ok);  // nothing left
    TPT_CHECK(registerPanel(e));
    TPT_CHECK(!e.signalled());
    TPT_CHECK_EQ(sim.state()[st::kSignalsSent], 2u);
}

void renewedRegistrationReplacesTheOld() {
    tpt::group("a new panel registration replaces the previous one");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    tpt::Event first, second;
    TPT_CHECK(registerPanel(first));
    TPT_CHECK(registerPanel(second));
    TPT_CHECK(sim.injectEvent(tp::encodePanelEvent(8, tp::kEventSecondaryRelease)));
    TPT_CHECK(second.signalled());
    TPT_CHECK(!first.signalled());
    uint32_t word = 0;
    TPT_CHECK(readEvent(&word).ok);
    TPT_CHECK_EQ(word, 0x80000002u);
}

void settingsSignalWakesEveryRegistration() {
    tpt::group("0x222070 wakes every settings registration, once");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    tpt::Event a, b, c, panel;
    TPT_CHECK(registerSettings(a));
    TPT_CHECK(registerSettings(b));
    TPT_CHECK(registerSettings(c));
    TPT_CHECK(registerPanel(panel));
    TPT_CHECK_EQ(sim.state()[st::kSettingsRegistrations], 3u);
    TPT_CHECK(!a.signalled() && !b.signalled() && !c.signalled());

    TPT_CHECK(tpt::request(kTap, req::kSignalSettingsChanged).ok);
    TPT_CHECK(a.signalled());
    TPT_CHECK(b.signalled());
    TPT_CHECK(c.signalled());
    TPT_CHECK(!panel.signalled());  // a panel registration waits for panel events only
    TPT_CHECK_EQ(sim.state()[st::kSettingsRegistrations], 0u);

    a.reset();
    b.reset();
    c.reset();
    TPT_CHECK(registerSettings(b));
    TPT_CHECK(tpt::request(kTap, req::kSignalSettingsChanged).ok);
    TPT_CHECK(!a.signalled());
    TPT_CHECK(b.signalled());
    TPT_CHECK(!c.signalled());
    b.reset();
    TPT_CHECK(tpt::request(kTap, req::kSignalSettingsChanged).ok);  // nobody registered
    TPT_CHECK(!b.signalled());
}

void staleSettingsRegistrationsMakeRoom() {
    tpt::group("a full settings list drops its oldest registration, not the newest");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    std::vector<tpt::Event> events(tpsim::kMaxSettingsRegistrations + 1);
    for (const tpt::Event& e : events) TPT_CHECK(registerSettings(e));
    TPT_CHECK_EQ(sim.state()[st::kSettingsRegistrations], tpsim::kMaxSettingsRegistrations);
    TPT_CHECK(tpt::request(kTap, req::kSignalSettingsChanged).ok);
    TPT_CHECK(!events.front().signalled());
    size_t woken = 0;
    for (const tpt::Event& e : events) woken += e.signalled() ? 1 : 0;
    TPT_CHECK_EQ(woken, static_cast<size_t>(tpsim::kMaxSettingsRegistrations));
    TPT_CHECK(events.back().signalled());
}

// Runs in a second process: registers for settings changes and reports
// through its exit code whether the signal came.
int childWaitsForSettings() {
    tpt::Event e;
    if (!registerSettings(e)) return 2;
    return e.waitSignalled(20000) ? 0 : 1;
}

void otherProcessesAreWoken(const char* self) {
    tpt::group("registrations of other processes are woken");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    HANDLE child = tpt::startProgram(std::string("\"") + self + "\" --child");
    TPT_CHECK(child != nullptr);
    if (!child) return;
    TPT_CHECK(tpt::waitUntil([&] { return sim.state()[st::kSettingsRegistrations] == 1; }, 10000));
    TPT_CHECK(tpt::request(kTap, req::kSignalSettingsChanged).ok);
    TPT_CHECK(WaitForSingleObject(child, 10000) == WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(child, &code);
    TPT_CHECK_EQ(code, 0u);
    CloseHandle(child);
}

void badRegistrations() {
    tpt::group("registrations that cannot be kept fail");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    uint8_t reg[8];
    tp::encodeEventRegistration(reg, 0x7FF0);  // no such handle
    TPT_CHECK(!tpt::request(kTap, req::kRegisterPanelEvent, reg, 8).ok);
    TPT_CHECK_EQ(sim.state()[st::kPanelRegistered], 0u);
    tpt::Event e;
    std::memcpy(reg, e.registration(), 8);
    reg[0] = 1;  // the leading 16-bit field must be zero
    TPT_CHECK(!tpt::request(kTap, req::kRegisterSettingsEvent, reg, 8).ok);
    TPT_CHECK_EQ(sim.state()[st::kSettingsRegistrations], 0u);
    TPT_CHECK_EQ(sim.state()[st::kProtocolErrors], 1u);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);  // a handle, but not an event
    tp::encodeEventRegistration(reg, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(mutex)));
    TPT_CHECK(!tpt::request(kTap, req::kRegisterSettingsEvent, reg, 8).ok);
    CloseHandle(mutex);
}

void resetDropsRegistrations() {
    tpt::group("a reset drops registrations without signalling them");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    tpt::Event panel, settings;
    TPT_CHECK(registerPanel(panel));
    TPT_CHECK(registerSettings(settings));
    TPT_CHECK(sim.reset());
    tpsim::State s = sim.state();
    TPT_CHECK_EQ(s[st::kPanelRegistered], 0u);
    TPT_CHECK_EQ(s[st::kSettingsRegistrations], 0u);
    TPT_CHECK(sim.injectEvent(0));
    TPT_CHECK(tpt::request(kTap, req::kSignalSettingsChanged).ok);
    TPT_CHECK(!panel.signalled());
    TPT_CHECK(!settings.signalled());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--child") == 0) return childWaitsForSettings();
    panelRegistrationWakesOnce();
    renewedRegistrationReplacesTheOld();
    settingsSignalWakesEveryRegistration();
    staleSettingsRegistrationsMakeRoom();
    otherProcessesAreWoken(argv[0]);
    badRegistrations();
    resetDropsRegistrations();
    return tpt::finish();
}
