// For the main job: Tapagent answering touches injected into the simulated
// panel, shown as the driver logged it.
#include <cstdio>

#include "agent_common.h"

namespace {

using namespace agentwine;
namespace req = tp::req;

void inject(tpt::Sim& sim, const char* what, uint32_t word) {
    std::printf("-- inject %s\n", what);
    const size_t before = requests(sim, req::kRegisterPanelEvent).size();
    TPT_CHECK(sim.injectEvent(word));
    TPT_CHECK(waitRequests(sim, req::kRegisterPanelEvent, before + 1, 3000));
    Sleep(300);
}

}  // namespace

int main() {
    tpt::group("Tapagent answers injected touches");
    tpt::Sim sim;
    HANDLE process = nullptr;
    HWND window = startAgent("runonce", &process);
    TPT_CHECK(window != nullptr);
    if (!window) return tpt::finish();
    TPT_CHECK(waitRequests(sim, req::kRegisterPanelEvent, 1, 10000));
    Sleep(2000);  // start-up over
    const uint64_t frequency = sim.state().frequency();
    // The configuration the agent handed the driver at start (requests only;
    // every one of them came with its own open and close).
    const auto startup = sim.log();
    std::printf("-- what the driver received at start-up (Tapagent is pid %lu)\n", GetProcessId(process));
    for (const auto& r : startup)
        if (r.kind == tpsim::kLogRequest && r.pid == GetProcessId(process))
            std::printf("%s\n", tpsim::formatReadable(r, frequency, startup.front().ticks).c_str());
    sim.mark();
    PostMessageA(window, 0x500, 0, WM_LBUTTONUP);  // a click on the tray icon arms the secondary button
    TPT_CHECK(waitRequests(sim, req::kButtonSecondary, 1, 3000));
    inject(sim, "touch on monitor 1", tp::encodePanelEvent(0, tp::kEventTouch));
    inject(sim, "release of the secondary-button touch", tp::encodePanelEvent(0, tp::kEventSecondaryRelease));
    TPT_CHECK(waitRequests(sim, req::kButtonPrimary, 1, 3000));
    const auto log = sim.log();
    std::printf("-- what the driver saw (Tapagent is pid %lu)\n", GetProcessId(process));
    for (const auto& r : log) std::printf("%s\n", tpsim::formatReadable(r, frequency, log.front().ticks).c_str());
    PostMessageA(window, WM_DESTROY, 0, 0);
    DWORD code = 1;
    TPT_CHECK(waitExit(process, 10000, &code));
    CloseHandle(process);
    return tpt::finish();
}
