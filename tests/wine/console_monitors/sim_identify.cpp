// The simulated panel remembers which panel was touched while a screen was
// being identified, logs each touch between the identification requests,
// and simctl touches and shows the assignment. Argument: simctl.exe's path.
#include "tpt.h"

namespace {

namespace st = tpsim::st;
namespace req = tp::req;

void identify(uint32_t screen, bool begin) {
    uint8_t in[4];
    tp::put32(in, tp::monitorIndexWord(screen - 1));
    if (begin) {
        TPT_CHECK(tpt::request(tp::kPanelDevicePath, req::kIdentifyPanelStart, in, 4).ok);
        TPT_CHECK(tpt::request(tp::kMultiDevicePath, req::kIdentifyMultiStart, in, 4).ok);
    } else {
        TPT_CHECK(tpt::request(tp::kPanelDevicePath, req::kIdentifyPanelEnd).ok);
        TPT_CHECK(tpt::request(tp::kMultiDevicePath, req::kIdentifyMultiEnd).ok);
    }
}

}  // namespace

int main(int argc, char** argv) {
    tpt::group("a touch between begin and end names the screen's panel");
    tpt::Sim sim;
    TPT_CHECK(sim.setPanels({{4, 7, tp::kEmptySlot, tp::kEmptySlot, tp::kEmptySlot, tp::kEmptySlot, tp::kEmptySlot,
                              tp::kEmptySlot, tp::kEmptySlot}}));
    sim.mark();
    TPT_CHECK(sim.touchPanel(7));  // no identification open: not taken
    identify(2, true);
    TPT_CHECK(sim.touchPanel(7));
    identify(2, false);
    identify(3, true);
    TPT_CHECK(sim.touchPanel(4));
    TPT_CHECK(sim.touchPanel(7));  // moves panel 7 from screen 2 to 3, the last touch wins
    identify(3, false);
    TPT_CHECK(!sim.touchPanel(5));  // not connected
    tpsim::State s = sim.state();
    const uint32_t want[tp::kMaxMonitors] = {tpsim::kNoPanel, tpsim::kNoPanel, 7,
                                             tpsim::kNoPanel, tpsim::kNoPanel, tpsim::kNoPanel,
                                             tpsim::kNoPanel, tpsim::kNoPanel, tpsim::kNoPanel};
    for (int i = 0; i < tp::kMaxMonitors; ++i) TPT_CHECK_EQ(s[st::kIdentified + i], want[i]);
    const auto touches = sim.records(tpsim::kLogTouch);
    TPT_CHECK_EQ(touches.size(), 4u);
    const uint32_t screens[] = {tpsim::kNoScreen, 0x10000000, 0x20000000, 0x20000000};
    for (size_t i = 0; i < touches.size() && i < 4; ++i) TPT_CHECK_EQ(touches[i].code, screens[i]);
    if (touches.size() >= 2) {
        TPT_CHECK_EQ(tp::get32(touches[1].in), 7u);
        const auto begins = sim.records(tpsim::kLogRequest, req::kIdentifyMultiStart);
        const auto ends = sim.records(tpsim::kLogRequest, req::kIdentifyPanelEnd);
        TPT_CHECK(!begins.empty() && !ends.empty() && begins[0].seq < touches[1].seq && touches[1].seq < ends[0].seq);
    }

    tpt::group("a new begin for a screen forgets its panel; simctl touches and shows it");
    identify(3, true);
    identify(3, false);
    TPT_CHECK_EQ(sim.state()[st::kIdentified + 2], tpsim::kNoPanel);
    TPT_CHECK(argc == 2);
    if (argc == 2) {
        const std::string simctl = "\"" + std::string(argv[1]) + "\" ";
        identify(1, true);
        TPT_CHECK_EQ(tpt::runProgram(simctl + "touch 4", 10000).exitCode, 0u);
        identify(1, false);
        std::string out;
        tpt::runCapture(simctl + "state --machine", 10000, &out);
        TPT_CHECK_MSG(out.find("identified=4,-,-,-,-,-,-,-,-") != std::string::npos, out);
        tpt::runCapture(simctl + "log", 10000, &out);
        TPT_CHECK_MSG(out.find("touch port 4     taken for screen 1") != std::string::npos, out);
        TPT_CHECK_EQ(tpt::runProgram(simctl + "touch 9", 10000).exitCode, 1u);
    }
    return tpt::finish();
}
