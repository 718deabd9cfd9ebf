// How long the agent's main thread is held by one application of settings
// on a machine without the multi-monitor driver key (the harness removes the
// QTXTPU service key before every run): a running Tapagent is sent the
// console's WM_COPYDATA (with the monitor layout on, DisableMode 0) and the
// settings-notify thread's AGM_APPLY_SETTINGS re-application, each RUNS
// times, and every round trip is timed from this process.
//   bench_settings_roundtrip.exe [RUNS]
// Run by bench/settings_roundtrip.sh; prints a summary for docs/benchmarks.md.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "agent_common.h"
#include "settings.h"

namespace {

constexpr UINT kAgmApplySettings = 0x504;
constexpr unsigned kDeadlineMs = 5000;

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t at = static_cast<size_t>(p / 100.0 * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(at, v.size() - 1)];
}

void report(const char* what, const std::vector<double>& v, int asked) {
    std::printf("%-40s p50 %7.2f ms  p90 %7.2f ms  min %7.2f  max %7.2f  (%zu of %d answered)\n", what,
                percentile(v, 50), percentile(v, 90), v.empty() ? 0 : *std::min_element(v.begin(), v.end()),
                v.empty() ? 0 : *std::max_element(v.begin(), v.end()), v.size(), asked);
}

// One SendMessageTimeout; the round trip in ms, or negative past the deadline.
double roundTrip(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    const double start = tpt::nowMs();
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kDeadlineMs, &result)) return -1;
    return tpt::nowMs() - start;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 50;
    tpt::group("benchmark set-up");
    tpt::Sim sim;
    TPT_CHECK_MSG(!tpt::reg::keyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\QTXTPU"),
                  "no multi-monitor driver key");
    HANDLE process = nullptr;
    HWND window = agentwine::startAgent("runonce", &process);
    TPT_CHECK(window != nullptr);
    if (!window) return tpt::finish();
    TPT_CHECK(tpt::waitUntil([&] { return sim.state()[tpsim::st::kPanelRegistered] == 1; }, 15000, 20));
    Sleep(2000);  // start-up over

    std::vector<uint8_t> block(236, 0);  // AgentSettingsBlock with the defaults, monitor layout on
    tp::put32(block.data() + 4, tp::def::kFreq);
    tp::put32(block.data() + 8, tp::def::kDuration);
    tp::put32(block.data() + 12, tp::def::kOption);
    for (int i = 0; i < 9; ++i) {
        tp::put32(block.data() + 20 + 4 * i, tp::def::kFreq);
        tp::put32(block.data() + 56 + 4 * i, tp::def::kDuration);
        tp::put32(block.data() + 92 + 4 * i, tp::def::kMonitorOption);
    }
    COPYDATASTRUCT cds{0, static_cast<DWORD>(block.size()), block.data()};

    std::vector<double> copyData, reapply;
    for (int i = 0; i < runs; ++i) {
        const double ms = roundTrip(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
        if (ms >= 0) copyData.push_back(ms);
        Sleep(20);
    }
    for (int i = 0; i < runs; ++i) {
        const double ms = roundTrip(window, kAgmApplySettings, 1, 0);
        if (ms >= 0) reapply.push_back(ms);
        Sleep(20);
    }
    report("WM_COPYDATA (settings from the console)", copyData, runs);
    report("AGM_APPLY_SETTINGS 1 (re-application)", reapply, runs);
    TPT_CHECK_EQ(copyData.size(), static_cast<size_t>(runs));
    TPT_CHECK_EQ(reapply.size(), static_cast<size_t>(runs));

    tpt::group("end");
    TPT_CHECK(tpt::endAgent(10000));
    CloseHandle(process);
    return tpt::finish();
}
