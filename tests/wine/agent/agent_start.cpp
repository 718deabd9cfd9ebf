// Tapagent against the simulated panel: the first start of a new user, the
// single instance, settings from the console, a panel plugged in, and the
// end of the session. Argument "runonce" or "plain" picks the command line.
#include <cstring>

#include "agent_common.h"
#include "settings.h"

namespace {

using namespace agentwine;
namespace req = tp::req;

tp::PanelIdTable panels(std::initializer_list<int32_t> ports) {
    tp::PanelIdTable t;
    for (int32_t& p : t.port) p = tp::kEmptySlot;
    int i = 0;
    for (int32_t p : ports) t.port[i++] = p;
    return t;
}

std::vector<uint8_t> settingsBlock(uint32_t option, size_t size = 236) {
    std::vector<uint8_t> bytes(size, 0);
    auto put = [&](size_t at, uint32_t v) {
        if (at + 4 <= bytes.size()) tp::put32(bytes.data() + at, v);
    };
    put(4, 1000);
    put(8, 50);
    put(12, option);
    put(16, 0);
    for (int i = 0; i < 9; ++i) put(20 + 4 * i, 1000), put(56 + 4 * i, 50), put(92 + 4 * i, 0xA0);
    return bytes;
}

LRESULT copyData(HWND window, const std::vector<uint8_t>& bytes) {
    COPYDATASTRUCT cds{};
    cds.dwData = 0;
    cds.cbData = static_cast<DWORD>(bytes.size());
    cds.lpData = const_cast<uint8_t*>(bytes.data());
    return SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
}

void firstStart(tpt::Sim& sim, HWND window, DWORD pid, bool runOnce) {
    tpt::group("first start: user key created, driver configured");
    TPT_CHECK(window != nullptr);
    TPT_CHECK_MSG(waitRequests(sim, req::kSetMonitorLayout, 1, 10000), "the layout reaches the driver");
    TPT_CHECK(tpt::reg::keyExists(HKEY_CURRENT_USER, kUserKey));
    TPT_CHECK_EQ(tpt::reg::valueNames(HKEY_CURRENT_USER, kUserKey).size(), 52u);
    TPT_CHECK_EQ(tpt::reg::getDword(HKEY_CURRENT_USER, kUserKey, "Option"), std::optional<uint32_t>(0x1A0800A4u));
    TPT_CHECK_EQ(tpt::reg::getDword(HKEY_CURRENT_USER, kUserKey, "StdDuration9"), std::optional<uint32_t>(50u));

    const auto option = requests(sim, req::kSetOption);
    TPT_CHECK(!option.empty());
    if (!option.empty()) TPT_CHECK_EQ(tpsim::hexBytes(option[0].in, option[0].inStored), std::string("A4 00 08 1A"));
    const auto orientation = requests(sim, req::kSetOrientation);
    TPT_CHECK_EQ(orientation.size(), 10u);
    for (const auto& r : orientation) TPT_CHECK_EQ(dwordInput(r), 0u);
    const auto layout = requests(sim, req::kSetMonitorLayout);
    TPT_CHECK_EQ(layout.size(), 1u);
    if (!layout.empty()) {
        TPT_CHECK_EQ(layout[0].inSize, 116u);
        TPT_CHECK_EQ(dwordInput(layout[0]), tp::packResolution(1024, 768));  // the virtual desktop
    }
    TPT_CHECK_MSG(!requests(sim, req::kButtonsNotSwapped).empty(), "the swap state goes to the driver");
    TPT_CHECK_MSG(findOwnedWindow("#32770", "Korvane Tapagent", pid) == nullptr, "no warning with the hook present");

    // The settings-notify thread exists only for "runonce" on NT 6 (Wine reports 6.x).
    tpt::waitUntil([&] { return !requests(sim, req::kRegisterSettingsEvent).empty(); }, 2000, 20);
    TPT_CHECK_EQ(requests(sim, req::kRegisterSettingsEvent).empty(), !runOnce);
    TPT_CHECK_MSG(sim.waitClosesBalanced(), "every open is closed again");
}

void secondInstance(HWND window) {
    tpt::group("a second agent exits at once without a window");
    const tpt::RunResult second = tpt::runProgram("\"" + tpt::installPath("Tapagent.exe") + "\" runonce", 10000);
    TPT_CHECK(second.started && second.finished);
    TPT_CHECK_EQ(second.exitCode, 0ul);
    TPT_CHECK(agentWindow() == window);
    TPT_CHECK(IsWindow(window));
}

void settingsFromTheConsole(tpt::Sim& sim, HWND window) {
    tpt::group("WM_COPYDATA changes the option word at the driver");
    sim.mark();
    copyData(window, settingsBlock(0x1A0900A4, 235));  // one byte short: ignored
    copyData(window, settingsBlock(0x1A0900A4, 0));
    Sleep(300);
    TPT_CHECK_EQ(requests(sim, req::kSetOption).size(), 0u);

    sim.mark();
    copyData(window, settingsBlock(0x1A0900A4));
    const auto option = requests(sim, req::kSetOption);  // sent inside the call
    TPT_CHECK_EQ(option.size(), 1u);
    if (!option.empty()) TPT_CHECK_EQ(dwordInput(option[0]), 0x1A0900A4u);
    TPT_CHECK_EQ(requests(sim, req::kSetOrientation).size(), 10u);
    TPT_CHECK_EQ(requests(sim, req::kSetMonitorLayout).size(), 1u);
}

void panelPluggedIn(tpt::Sim& sim) {
    tpt::group("a panel plugged in gets its tables within about a second");
    std::vector<uint8_t> table(160);
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(0x40 + i);
    TPT_CHECK(tpt::reg::setBinary(HKEY_CURRENT_USER, kUserKey, "12Cal5", table));
    Sleep(1200);  // let the poll see the table without the panel first
    sim.mark();
    const double start = tpt::nowMs();
    TPT_CHECK(sim.setPanels(panels({tp::kEmptySlot, 5})));
    const bool pushed = waitRequests(sim, req::kSetCalibration, 1, 3000);
    const double took = tpt::nowMs() - start;
    std::printf("tables pushed %.0f ms after the plug\n", took);
    TPT_CHECK(pushed);
    TPT_CHECK_MSG(took < 1600, "within one poll and a little");
    const auto pushes = requests(sim, req::kSetCalibration);
    if (!pushes.empty()) {
        TPT_CHECK_EQ(pushes[0].inSize, 596u);
        TPT_CHECK_EQ(dwordInput(pushes[0]), 2u);  // the 12-point table only
        TPT_CHECK_EQ(tp::get16(pushes[0].in + 114), 5u);
        TPT_CHECK_EQ(pushes[0].in[116], 0x42);
    }
}

void endSession(tpt::Sim& sim, HWND window, HANDLE process) {
    tpt::group("a cancelled end of the session (WM_ENDSESSION FALSE) keeps the agent");
    SendMessageA(window, WM_QUERYENDSESSION, 0, 0);
    SendMessageA(window, WM_ENDSESSION, FALSE, 0);
    TPT_CHECK_MSG(WaitForSingleObject(process, 500) == WAIT_TIMEOUT, "still running");
    TPT_CHECK(agentWindow() == window);
    sim.mark();
    copyData(window, settingsBlock(0x1A0800A4));
    TPT_CHECK_MSG(!requests(sim, req::kSetOption).empty(), "and still takes the console's settings");

    tpt::group("WM_ENDSESSION with TRUE shuts the agent down");
    sim.mark();
    SendMessageA(window, WM_ENDSESSION, TRUE, 0);
    DWORD code = 1;
    TPT_CHECK(waitExit(process, 5000, &code));
    TPT_CHECK_EQ(code, 0ul);
    TPT_CHECK(!requests(sim, req::kButtonsNotSwapped).empty());
    TPT_CHECK(agentWindow() == nullptr);
}

void restartWithStoredTables(tpt::Sim& sim, bool runOnce) {
    tpt::group("a restart pushes the stored tables before any window; WM_DESTROY ends it");
    sim.mark();
    tpt::SettingListener listener;
    HANDLE process = nullptr;
    HWND window = startAgent(runOnce ? "runonce" : "", &process);
    TPT_CHECK(window != nullptr);
    TPT_CHECK(waitRequests(sim, req::kSetMonitorLayout, 1, 10000));
    Sleep(500);
    TPT_CHECK_MSG(!listener.heard(SPI_SETDOUBLECLKHEIGHT) && !listener.heard(SPI_SETDOUBLECLKWIDTH),
                  "an area that did not move is not announced again");
    const auto tables = requests(sim, req::kSetCalibration);
    const auto orientation = requests(sim, req::kSetOrientation);
    TPT_CHECK(tables.size() >= 2);  // at process start and at the first application
    if (!tables.empty() && !orientation.empty()) {
        TPT_CHECK(tables[0].seq < orientation[0].seq);
        TPT_CHECK_EQ(tp::get16(tables[0].in + 114), 5u);
    }
    if (window) SendMessageA(window, WM_DESTROY, 0, 0);  // as the logon launcher closes an agent
    // Answered only once the agent has let go of everything: its window is
    // gone and the instance mutex is free, so a new agent would start.
    TPT_CHECK_MSG(agentWindow() == nullptr, "the window is gone when WM_DESTROY returns");
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "3CAF49DD-70D3-15d3-AA22-01A8C6B35249");
    TPT_CHECK_MSG(mutex == nullptr, "the instance mutex is released when WM_DESTROY returns");
    if (mutex) CloseHandle(mutex);
    DWORD code = 1;
    TPT_CHECK(process && waitExit(process, 5000, &code));
    TPT_CHECK_EQ(code, 0ul);
    if (process) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
}

// Anyone may make the close event before the first agent. One whose access
// lets any user set it would let that user end every agent at will: the
// agent leaves it alone and is closed by its window instead.
void foreignCloseSignal(bool runOnce) {
    tpt::group("a close event a user made first, which anyone may set, is not watched");
    SECURITY_DESCRIPTOR open;
    InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);  // a NULL DACL: everyone may do anything
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &open, FALSE};
    HANDLE foreign = CreateEventA(&attributes, TRUE, FALSE, "Global\\TapagentClose");
    TPT_CHECK(foreign != nullptr);
    HANDLE process = nullptr;
    HWND window = startAgent(runOnce ? "runonce" : "", &process);
    TPT_CHECK(window != nullptr);
    Sleep(300);  // its watch would have opened the event by now
    if (foreign) SetEvent(foreign);
    TPT_CHECK_MSG(process && WaitForSingleObject(process, 1500) == WAIT_TIMEOUT, "the agent keeps running");
    if (window) SendMessageA(window, WM_DESTROY, 0, 0);
    DWORD code = 1;
    TPT_CHECK_MSG(process && waitExit(process, 5000, &code), "its window still closes it");
    if (process) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
    if (foreign) CloseHandle(foreign);
}

}  // namespace

int main(int argc, char** argv) {
    const bool runOnce = argc > 1 && std::strcmp(argv[1], "runonce") == 0;
    tpt::Sim sim;
    TPT_CHECK(sim.setPanels(panels({})));
    sim.mark();
    tpt::SettingListener listener;
    // Another area than the agent's, set quietly: the agent announces only
    // values that move (the scenario before may have left 34 behind).
    for (UINT action : {SPI_SETDOUBLECLKHEIGHT, SPI_SETDOUBLECLKWIDTH}) SystemParametersInfoW(action, 4, nullptr, 0);
    HANDLE process = nullptr;
    HWND window = startAgent(runOnce ? "RunOnce" : "", &process);
    if (!process) {
        TPT_CHECK_MSG(false, "Tapagent.exe starts");
        return tpt::finish();
    }
    firstStart(sim, window, GetProcessId(process), runOnce);
    tpt::group("the double-click area it sets is announced to other programs");
    for (UINT action : {SPI_SETDOUBLECLKHEIGHT, SPI_SETDOUBLECLKWIDTH})
        TPT_CHECK_MSG(tpt::waitUntil([&] { return listener.heard(action); }, 5000, 10),
                      "WM_SETTINGCHANGE " + std::to_string(action));
    if (window) {
        secondInstance(window);
        settingsFromTheConsole(sim, window);
        panelPluggedIn(sim);
        endSession(sim, window, process);
        restartWithStoredTables(sim, runOnce);
        foreignCloseSignal(runOnce);
    }
    TerminateProcess(process, 1);  // only if it is still there after a failure
    CloseHandle(process);
    return tpt::finish();
}
