// Tapagent's worker threads against the simulated panel: touches read and
// registered again, the return to the primary button, the driver's
// settings-changed signal, unplug and replug, and the calibration command.
// Argument "runonce" or "plain" picks the agent's command line.
#include <cstdio>
#include <cstring>

#include "agent_common.h"
#include "settings.h"

namespace {

using namespace agentwine;
namespace req = tp::req;
namespace st = tpsim::st;

const std::string kPanelKey = tp::key::kPanelParams;

uint64_t qpc() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart);
}

struct Clock {
    double perTickMs;
    explicit Clock(tpt::Sim& sim) : perTickMs(1000.0 / static_cast<double>(sim.state().frequency())) {}
    double ms(uint64_t from, uint64_t to) const { return static_cast<double>(to - from) * perTickMs; }
};

// The requests of the agent's process, in log order.
std::vector<tpsim::LogRecord> agentRequests(tpt::Sim& sim, DWORD pid) {
    std::vector<tpsim::LogRecord> out;
    for (const auto& r : sim.records(tpsim::kLogRequest))
        if (r.pid == pid) out.push_back(r);
    return out;
}

int indexOf(const std::vector<tpsim::LogRecord>& rs, uint32_t code, int from = 0) {
    for (size_t i = from < 0 ? 0 : from; i < rs.size(); ++i)
        if (rs[i].code == code) return static_cast<int>(i);
    return -1;
}

// Waits until the driver has seen nothing new for quietMs: the agent's
// start-up, which runs beside the threads, is over.
bool settle(tpt::Sim& sim, unsigned quietMs, unsigned timeoutMs) {
    size_t seen = sim.log().size();
    double since = tpt::nowMs();
    return tpt::waitUntil(
        [&] {
            const size_t now = sim.log().size();
            if (now != seen) {
                seen = now;
                since = tpt::nowMs();
            }
            return tpt::nowMs() - since >= quietMs;
        },
        timeoutMs, 20);
}

void registersItsEvent(tpt::Sim& sim, DWORD pid) {
    tpt::group("the panel thread registers its event");
    TPT_CHECK(waitRequests(sim, req::kRegisterPanelEvent, 1, 10000));
    const auto regs = requests(sim, req::kRegisterPanelEvent);
    if (regs.empty()) return;
    TPT_CHECK_EQ(regs[0].pid, pid);
    TPT_CHECK_EQ(regs[0].inSize, 8u);
    TPT_CHECK_EQ(tp::get32(regs[0].in), 0u);
    TPT_CHECK(tp::eventRegistrationHandle(regs[0].in) != 0);
    TPT_CHECK_EQ(sim.state()[st::kPanelRegistered], 1u);
    TPT_CHECK(settle(sim, 500, 10000));
}

void touchIsReadAndRegisteredAgain(tpt::Sim& sim, DWORD pid) {
    tpt::group("a touch is read 10 ms after the signal and the event registered again at once");
    const Clock clock(sim);
    sim.mark();
    const uint64_t before = qpc();
    TPT_CHECK(sim.injectEvent(tp::encodePanelEvent(0, tp::kEventTouch)));
    TPT_CHECK(waitRequests(sim, req::kRegisterPanelEvent, 1, 3000));
    const auto rs = agentRequests(sim, pid);
    const int read = indexOf(rs, req::kReadPanelEvent);
    const int again = indexOf(rs, req::kRegisterPanelEvent);
    TPT_CHECK(read >= 0 && again == read + 1);
    if (read < 0 || again != read + 1) return;
    const double toRead = clock.ms(before, rs[read].ticks);
    const double toRegister = clock.ms(before, rs[again].ticks);
    std::printf("signal -> read %.2f ms, -> registered again %.2f ms\n", toRead, toRegister);
    TPT_CHECK_MSG(toRead >= 10.0, "the 10 ms pause comes first");
    TPT_CHECK_MSG(toRegister < 200.0, "and little else");
    TPT_CHECK_EQ(tp::eventRegistrationHandle(rs[again].in),
                 tp::eventRegistrationHandle(requests(sim, req::kRegisterPanelEvent)[0].in));
    TPT_CHECK_EQ(sim.state()[st::kPendingEventCount], 0u);
    TPT_CHECK_EQ(sim.state()[st::kPanelRegistered], 1u);
}

void secondaryReleaseReturnsToPrimary(tpt::Sim& sim, HWND window) {
    tpt::group("a secondary-button release returns the driver to the primary button");
    sim.mark();
    PostMessageA(window, 0x500, 0, WM_LBUTTONUP);  // as a tray click arms it
    TPT_CHECK(waitRequests(sim, req::kButtonSecondary, 1, 3000));
    TPT_CHECK_EQ(sim.state()[st::kButtonSecondary], 1u);
    TPT_CHECK(sim.injectEvent(tp::encodePanelEvent(1, tp::kEventRelease)));
    Sleep(300);
    TPT_CHECK_MSG(requests(sim, req::kButtonPrimary).empty(), "a plain release leaves it armed");
    TPT_CHECK(sim.injectEvent(tp::encodePanelEvent(1, tp::kEventSecondaryRelease)));
    TPT_CHECK(waitRequests(sim, req::kButtonPrimary, 1, 3000));
    TPT_CHECK_EQ(sim.state()[st::kButtonSecondary], 0u);
}

void settingsSignalReapplies(tpt::Sim& sim, bool runOnce) {
    tpt::group(runOnce ? "the driver's settings signal makes the agent re-apply"
                       : "without runonce the settings signal is not listened to");
    TPT_CHECK_EQ(sim.state()[st::kSettingsRegistrations], runOnce ? 1u : 0u);
    TPT_CHECK(tpt::reg::setDword(HKEY_CURRENT_USER, kUserKey, "Option", 0x1A0A00A4));
    sim.mark();
    TPT_CHECK(tpt::request(tp::kPanelDevicePath, req::kSignalSettingsChanged).ok);
    const bool applied = waitRequests(sim, req::kSetOption, 1, 3000);
    TPT_CHECK_EQ(applied, runOnce);
    if (!runOnce) return;
    TPT_CHECK_EQ(dwordInput(requests(sim, req::kSetOption)[0]), 0x1A0A00A4u);
    TPT_CHECK_MSG(waitRequests(sim, req::kSetOrientation, 10, 3000), "everything, the orientation too");
    TPT_CHECK_MSG(waitRequests(sim, req::kRegisterSettingsEvent, 1, 3000), "and listens again");
}

void unplugAndReplug(tpt::Sim& sim, DWORD pid) {
    tpt::group("unplug and replug: the settings and the swap state are applied again");
    sim.mark();
    TPT_CHECK(sim.setPlugged(false));
    TPT_CHECK(sim.injectEvent(tp::encodePanelEvent(0, tp::kEventTouch)));  // wakes the thread into a missing device
    Sleep(1200);
    TPT_CHECK(agentRequests(sim, pid).empty());
    sim.mark();
    TPT_CHECK(sim.setPlugged(true));
    TPT_CHECK(waitRequests(sim, req::kButtonPrimary, 1, 3000));
    TPT_CHECK_MSG(waitRequests(sim, req::kReadPanelEvent, 1, 3000), "the touch still pending is read");
    const auto rs = agentRequests(sim, pid);
    const int reg = indexOf(rs, req::kRegisterPanelEvent);
    const int option = indexOf(rs, req::kSetOption, reg);
    const int swap = indexOf(rs, req::kButtonsNotSwapped, option);
    const int primary = indexOf(rs, req::kButtonPrimary, swap);
    TPT_CHECK_MSG(reg >= 0 && option > reg && swap > option && primary > swap,
                  "registered, settings, swap state, primary button: " + std::to_string(reg) + " " +
                      std::to_string(option) + " " + std::to_string(swap) + " " + std::to_string(primary));
}

void calibrationCommand(tpt::Sim& sim) {
    tpt::group("CalibMode 1 with CalCommand 4: two vendor packets 50 ms apart");
    const Clock clock(sim);
    TPT_CHECK(tpt::reg::setDword(HKEY_LOCAL_MACHINE, kPanelKey, "CalibMode", 1));
    for (const bool good : {false, true}) {
        const uint8_t answer[2] = {static_cast<uint8_t>(good ? 1 : 0), 0};
        TPT_CHECK(sim.setVendorAnswer(answer, 2));
        TPT_CHECK(tpt::reg::setDword(HKEY_CURRENT_USER, kUserKey, "CalCommand", 4));
        sim.mark();
        TPT_CHECK(sim.injectEvent(tp::encodePanelEvent(0, tp::kEventTouch)));
        TPT_CHECK(waitRequests(sim, req::kVendorRequest, 2, 3000));
        TPT_CHECK(waitRequests(sim, req::kReadPanelEvent, 1, 3000));
        const auto v = requests(sim, req::kVendorRequest);
        if (v.size() < 2) return;
        TPT_CHECK_EQ(tpsim::hexBytes(v[0].in, v[0].inStored), std::string("40 10 04 00 00 00 00 00"));
        TPT_CHECK_EQ(tpsim::hexBytes(v[1].in, v[1].inStored), std::string("C0 FF 00 00 00 00 02 00"));
        const double apart = clock.ms(v[0].ticks, v[1].ticks);
        std::printf("vendor packets %.1f ms apart\n", apart);
        TPT_CHECK(apart >= 50.0 && apart < 250.0);
        TPT_CHECK_EQ(tpt::reg::getDword(HKEY_CURRENT_USER, kUserKey, "CalCommand"),
                     std::optional<uint32_t>(good ? 0u : 4u));
        TPT_CHECK_EQ(v.size(), 2u);
    }
    sim.mark();
    TPT_CHECK(sim.injectEvent(tp::encodePanelEvent(0, tp::kEventTouch)));
    TPT_CHECK(waitRequests(sim, req::kReadPanelEvent, 1, 3000));
    TPT_CHECK_MSG(requests(sim, req::kVendorRequest).empty(), "done: not sent again");
}

void shutdown(tpt::Sim& sim, HWND window, HANDLE process) {
    tpt::group("shutdown ends the agent with its threads");
    PostMessageA(window, WM_DESTROY, 0, 0);
    DWORD code = 1;
    TPT_CHECK(waitExit(process, 10000, &code));
    TPT_CHECK_EQ(code, 0ul);
    const bool balanced = sim.waitClosesBalanced(5000);
    TPT_CHECK(balanced);
    if (!balanced)
        for (const auto& r : sim.log())
            if (r.kind != tpsim::kLogRequest)
                std::printf("%s\n", tpsim::formatMachine(r, sim.state().frequency()).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const bool runOnce = argc > 1 && std::strcmp(argv[1], "runonce") == 0;
    tpt::Sim sim;
    sim.mark();
    HANDLE process = nullptr;
    HWND window = startAgent(runOnce ? "runonce" : "", &process);
    TPT_CHECK(window != nullptr);
    if (!window) return tpt::finish();
    const DWORD pid = GetProcessId(process);
    registersItsEvent(sim, pid);
    touchIsReadAndRegisteredAgain(sim, pid);
    secondaryReleaseReturnsToPrimary(sim, window);
    settingsSignalReapplies(sim, runOnce);
    if (runOnce) {
        unplugAndReplug(sim, pid);
        calibrationCommand(sim);
    }
    shutdown(sim, window, process);
    CloseHandle(process);
    return tpt::finish();
}
