// Unplugging the simulated panel: both device names disappear, so opens fail,
// requests on a handle opened before fail, the control device stays; a
// replug restores everything.
#include "tpt.h"

namespace {

namespace st = tpsim::st;
namespace req = tp::req;

HANDLE openDevice(const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       0, nullptr);
}

void unplugAndReplug() {
    tpt::group("unplug makes opens fail, replug restores them");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    HANDLE before = openDevice(tp::kPanelDevicePath);
    TPT_CHECK(before != INVALID_HANDLE_VALUE);

    TPT_CHECK(sim.setPlugged(false));
    sim.mark();
    for (const char* path : {tp::kPanelDevicePath, tp::kMultiDevicePath}) {
        HANDLE h = openDevice(path);
        const DWORD error = GetLastError();
        TPT_CHECK_MSG(h == INVALID_HANDLE_VALUE, std::string(path) + " refuses opens");
        TPT_CHECK_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));  // as when the driver is gone
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    TPT_CHECK(sim.records(tpsim::kLogOpen).empty());  // the names are gone: nothing reaches the driver
    uint8_t out[4];
    DWORD got = 0;
    TPT_CHECK(!DeviceIoControl(before, req::kGetSpinTop, nullptr, 0, out, 4, &got, nullptr));
    TPT_CHECK_EQ(sim.state()[st::kPlugged], 0u);
    tpsim::Client second;  // the control device still opens
    TPT_CHECK(second.ok());

    TPT_CHECK(sim.setPlugged(true));
    TPT_CHECK(DeviceIoControl(before, req::kGetSpinTop, nullptr, 0, out, 4, &got, nullptr));
    CloseHandle(before);
    for (const char* path : {tp::kPanelDevicePath, tp::kMultiDevicePath}) {
        HANDLE h = openDevice(path);
        TPT_CHECK_MSG(h != INVALID_HANDLE_VALUE, std::string(path) + " opens again");
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    TPT_CHECK(tpt::request(tp::kPanelDevicePath, req::kGetSpinTop, nullptr, 0, out, 4).ok);
}

void unplugKeepsState() {
    tpt::group("the simulated state survives an unplug");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    TPT_CHECK(sim.setSpinTop(41));
    TPT_CHECK(sim.setPlugged(false));
    TPT_CHECK(sim.injectEvent(tp::encodePanelEvent(1, tp::kEventRelease)));
    TPT_CHECK(sim.setPlugged(true));
    uint8_t out[4] = {};
    TPT_CHECK(tpt::request(tp::kPanelDevicePath, req::kGetSpinTop, nullptr, 0, out, 4).ok);
    TPT_CHECK_EQ(tp::get32(out), 41u);
    TPT_CHECK(tpt::request(tp::kPanelDevicePath, req::kReadPanelEvent, nullptr, 0, out, 4).ok);
    TPT_CHECK_EQ(tp::get32(out), 0x10000001u);
}

void costOfOneRequest() {
    tpt::group("cost of one open-request-close");
    uint8_t out[4];
    constexpr int kRounds = 200;
    const double start = tpt::nowMs();
    int ok = 0;
    for (int i = 0; i < kRounds; ++i) ok += tpt::request(tp::kPanelDevicePath, req::kGetSpinTop, nullptr, 0, out, 4).ok;
    const double each = (tpt::nowMs() - start) / kRounds;
    std::printf("open-request-close: %.3f ms each over %d rounds\n", each, kRounds);
    TPT_CHECK_EQ(ok, kRounds);
    TPT_CHECK(each < 20.0);  // the agent polls every second; far slower would distort its timing
}

}  // namespace

int main() {
    unplugAndReplug();
    unplugKeepsState();
    costOfOneRequest();
    return tpt::finish();
}
