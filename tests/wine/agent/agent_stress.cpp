// Tapagent ("runonce") in a storm against the simulated panel, driven from
// this one program, while another program's visible window has stopped
// answering (this program started a second time with "hung": its window's
// thread waits for input that never comes, which Wine, unlike a thread that
// merely sleeps, never declares hung, so broadcasts wait on it as they wait
// on a real "Not responding" window). Every round unplugs the panel, touches
// it (the agent finds the panel gone and reconnects later), sends the
// console's WM_COPYDATA, plugs it in again, raises the driver's settings
// signal, touches again, clicks the tray icon, and now and then suspends and
// resumes; the touch after the replug and the click must reach the driver
// within one second, and a question (SendMessageTimeout) must be answered
// within one second. Then the tray icon is removed from outside and
// "TaskbarCreated" broadcast: it must come back. At the end WM_ENDSESSION
// arrives while settings keep coming: the agent must end with nothing left
// behind (no window, no tray icon, every device handle closed).
//
// Argument: the number of rounds (default 200).
#include "agent_common.h"
#include "settings.h"

#include <commctrl.h>

#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using namespace agentwine;
namespace req = tp::req;
namespace opt = tp::opt;

constexpr UINT kAgmButtonMode = 0x500;
constexpr unsigned kAnswerMs = 1000;  // the round's question, touch and click
// The storm's own messages (a resume re-applies everything, broadcasts
// included) may take longer on a loaded machine; they still have a deadline.
constexpr unsigned kHandlerMs = 5000;

std::vector<uint8_t> settingsBlock(uint32_t option) {
    std::vector<uint8_t> b(236, 0);  // AgentSettingsBlock: a reserved word, then Freq, Duration, Option, DisableMode
    tp::put32(b.data() + 4, 1000);
    tp::put32(b.data() + 8, 50);
    tp::put32(b.data() + 12, option);
    tp::put32(b.data() + 16, 1);  // no monitor layout
    for (int i = 0; i < 9; ++i) {
        tp::put32(b.data() + 20 + 4 * i, 1000);
        tp::put32(b.data() + 56 + 4 * i, 50);
    }
    return b;
}

// SendMessageTimeout with the deadline every wait here has; the time it took in *ms.
bool ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, double* ms = nullptr,
         unsigned timeoutMs = kHandlerMs) {
    DWORD_PTR result = 0;
    const double start = tpt::nowMs();
    const bool answered = SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &result) != 0;
    if (ms) *ms = tpt::nowMs() - start;
    return answered;
}

bool sendSettings(HWND window, uint32_t option, double* ms = nullptr) {
    std::vector<uint8_t> block = settingsBlock(option);
    COPYDATASTRUCT cds{0, static_cast<DWORD>(block.size()), block.data()};
    return ask(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), ms);
}

// Another "console" that keeps sending settings that show everything; its
// sends end when the window does (each with its deadline).
struct Console {
    HWND window;
    uint32_t option;
    std::atomic<bool> sending{true};
    std::atomic<int> sent{0};
};

DWORD WINAPI consoleThread(void* parameter) {
    auto& c = *static_cast<Console*>(parameter);
    while (c.sending) {
        if (!sendSettings(c.window, c.option) && !IsWindow(c.window)) break;
        ++c.sent;
        tpt::request(tp::kPanelDevicePath, req::kSignalSettingsChanged);
    }
    return 0;
}

constexpr char kHungClass[] = "TpStressHung";
constexpr char kHungTitle[] = "Not responding";

// The hung program: a visible top-level window whose thread, once the window
// is up, never looks at a message again. The window takes its title (the one
// the scenario looks for) only after its last look, so that whoever finds it
// finds it hung.
int hungWindowMain() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kHungClass;
    if (!RegisterClassA(&wc)) return 1;
    HWND window = CreateWindowExA(0, kHungClass, "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 240, 120, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    if (!window) return 1;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    SetWindowTextA(window, kHungTitle);
    for (;;) MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_HOTKEY);
}

// Starts the hung program and waits for its window; nullptr when it never
// showed. Its window must then leave a question unanswered.
HANDLE startHungProgram(HWND* window) {
    char self[MAX_PATH] = {};
    if (!GetModuleFileNameA(nullptr, self, sizeof self)) return nullptr;
    HANDLE process = tpt::startProgram("\"" + std::string(self) + "\" hung");
    if (!process) return nullptr;
    *window = nullptr;
    tpt::waitUntil([&] { return (*window = FindWindowA(kHungClass, kHungTitle)) != nullptr; }, 10000, 20);
    return process;
}

bool agentTrayTipShown() {
    for (const auto& t : tpt::trayTips())
        if (t.rfind("Switch to ", 0) == 0) return true;
    return false;
}

// Waits for a request of this code logged since the simulator's mark.
bool reached(tpt::Sim& sim, uint32_t code, unsigned timeoutMs) {
    return tpt::waitUntil([&] { return !sim.records(tpsim::kLogRequest, code).empty(); }, timeoutMs, 2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "hung") == 0) return hungWindowMain();
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    const uint32_t shown = opt::kTrayIcon | opt::kFloatingIcon | opt::kHideCursor | opt::kSameSoundAllMonitors;
    tpt::Sim sim;
    tpt::group("start");
    TPT_CHECK(tpt::reg::setDword(HKEY_CURRENT_USER, kUserKey, "Option", shown));
    TPT_CHECK(tpt::reg::setDword(HKEY_CURRENT_USER, kUserKey, "Duration", 50));
    sim.mark();
    HANDLE process = nullptr;
    HWND window = startAgent("runonce", &process);
    TPT_CHECK(window != nullptr);
    if (!window) return tpt::finish();
    TPT_CHECK(waitRequests(sim, req::kRegisterSettingsEvent, 1, 10000));
    TPT_CHECK_MSG(tpt::waitUntil(agentTrayTipShown, 5000, 50), "the tray icon is there to begin with");

    tpt::group("another program stops answering");
    HWND hung = nullptr;
    HANDLE hungProcess = startHungProgram(&hung);
    TPT_CHECK_MSG(hung != nullptr, "its window is up");
    TPT_CHECK_MSG(hung && IsWindowVisible(hung), "and visible");
    TPT_CHECK_MSG(hung && !ask(hung, WM_NULL, 0, 0, nullptr, 500), "and it answers no question");
    auto endHung = [&] {
        if (!hungProcess) return;
        TerminateProcess(hungProcess, 0);
        CloseHandle(hungProcess);
        hungProcess = nullptr;
    };

    tpt::group("the storm");
    int unanswered = 0, failedSteps = 0, signals = 0, touches = 0, lateTouches = 0, lateClicks = 0;
    double slowestTouch = 0, slowestClick = 0;
    double slowest = 0, slowestQuestion = 0;
    const char* slowestWhat = "";
    auto note = [&](double ms, const char* what) {
        if (ms > slowest) slowest = ms, slowestWhat = what;
    };
    const double stormStart = tpt::nowMs();
    for (int round = 0; round < rounds; ++round) {
        bool ok = sim.setPlugged(false);
        // A touch while the panel is gone: the agent wakes, finds no device
        // and reconnects (re-applying the settings) once it is back.
        touches += sim.injectEvent(tp::encodePanelEvent(0, tp::kEventTouch));
        // Alternate the tray icon and floating window on and off with the settings.
        const uint32_t option = round % 2 ? shown : (opt::kHideCursor | opt::kSameSoundAllMonitors);
        ok &= tpt::reg::setDword(HKEY_CURRENT_USER, kUserKey, "Option", option);
        double ms = 0;
        if (!sendSettings(window, option, &ms)) ++unanswered;
        note(ms, "WM_COPYDATA");  // kept for the report; the question below is what must be quick
        sim.mark();
        ok &= sim.setPlugged(true);
        // May find nothing to signal yet (the agent registers again after the
        // replug in its own time): counted, not required.
        signals += tpt::request(tp::kPanelDevicePath, req::kSignalSettingsChanged).ok;
        // The touch after the replug, once the agent has registered again.
        ok &= tpt::waitUntil([&] { return sim.state()[tpsim::st::kPanelRegistered] == 1; }, kHandlerMs, 2);
        sim.mark();
        const double touched = tpt::nowMs();
        touches +=
            sim.injectEvent(tp::encodePanelEvent(0, round % 3 == 2 ? tp::kEventSecondaryRelease : tp::kEventTouch));
        if (!reached(sim, req::kReadPanelEvent, kAnswerMs)) {
            ++lateTouches;
            std::printf("round %d: the touch after the replug not read within %u ms\n", round, kAnswerMs);
        }
        if (tpt::nowMs() - touched > slowestTouch) slowestTouch = tpt::nowMs() - touched;
        // A left click on the tray icon arms the secondary button.
        sim.mark();
        const double clicked = tpt::nowMs();
        ok &= PostMessageA(window, kAgmButtonMode, 0, WM_LBUTTONUP) != 0;
        if (!reached(sim, req::kButtonSecondary, kAnswerMs)) {
            ++lateClicks;
            std::printf("round %d: the tray click did not reach the driver within %u ms\n", round, kAnswerMs);
        }
        if (tpt::nowMs() - clicked > slowestClick) slowestClick = tpt::nowMs() - clicked;
        ok &= PostMessageA(window, kAgmButtonMode, 0, WM_RBUTTONUP) != 0;
        if (round % 10 == 9) {
            if (!ask(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0, &ms)) ++unanswered;
            note(ms, "suspend");
            if (!ask(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0, &ms)) ++unanswered;
            note(ms, "resume");
        }
        // The question of the round.
        if (!ask(window, WM_NULL, 0, 0, &ms, kAnswerMs)) {
            ++unanswered;
            std::printf("round %d: no answer within %u ms\n", round, kAnswerMs);
        }
        if (ms > slowestQuestion) slowestQuestion = ms;
        if (!ok) ++failedSteps;
    }
    std::printf(
        "%d rounds in %.1f s; settings signals taken %d, touches taken %d; unanswered %d; slowest answer to the "
        "question %.1f ms, to the storm's messages %.1f ms (%s); slowest touch read %.1f ms, tray click %.1f ms\n",
        rounds, (tpt::nowMs() - stormStart) / 1000, signals, touches, unanswered, slowestQuestion, slowest, slowestWhat,
        slowestTouch, slowestClick);
    TPT_CHECK_EQ(unanswered, 0);
    TPT_CHECK_EQ(lateTouches, 0);
    TPT_CHECK_EQ(lateClicks, 0);
    TPT_CHECK_EQ(failedSteps, 0);
    TPT_CHECK_MSG(slowestQuestion < kAnswerMs, "every round's question answered within a second");

    tpt::group("the agent still works after the storm");
    TPT_CHECK(tpt::waitUntil([&] { return sim.state()[tpsim::st::kPanelRegistered] == 1; }, 5000, 20));
    sim.mark();
    TPT_CHECK(sim.injectEvent(tp::encodePanelEvent(0, tp::kEventTouch)));
    TPT_CHECK(waitRequests(sim, req::kReadPanelEvent, 1, 3000));

    tpt::group("the tray icon comes back when the taskbar is created again");
    TPT_CHECK(sendSettings(window, shown));
    TPT_CHECK_MSG(tpt::waitUntil(agentTrayTipShown, 5000, 50), "the tray icon is shown");
    NOTIFYICONDATAA gone{};
    gone.cbSize = NOTIFYICONDATAA_V1_SIZE;
    gone.hWnd = window;
    gone.uID = 1;
    TPT_CHECK(Shell_NotifyIconA(NIM_DELETE, &gone));
    TPT_CHECK_MSG(tpt::waitUntil([] { return !agentTrayTipShown(); }, 5000, 50), "removed from outside");
    PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    TPT_CHECK_MSG(tpt::waitUntil(agentTrayTipShown, kAnswerMs, 20), "back within a second");

    tpt::group("WM_ENDSESSION while settings arrive leaves nothing behind");
    TPT_CHECK(sendSettings(window, shown));
    TPT_CHECK_MSG(tpt::waitUntil(agentTrayTipShown, 5000, 50), "the tray icon is shown before the end");
    Console console{window, shown};
    HANDLE consoleHandle = CreateThread(nullptr, 0, consoleThread, &console, 0, nullptr);
    TPT_CHECK(consoleHandle != nullptr);
    tpt::waitUntil([&] { return console.sent >= 5; }, 5000, 5);
    ask(window, WM_ENDSESSION, TRUE, 0);
    DWORD code = 1;
    const bool ended = waitExit(process, 10000, &code);
    console.sending = false;
    if (consoleHandle) {
        TPT_CHECK_MSG(WaitForSingleObject(consoleHandle, 5000) == WAIT_OBJECT_0, "the console's sends end");
        CloseHandle(consoleHandle);
    }
    TPT_CHECK_MSG(ended, "the agent ends after WM_ENDSESSION");
    TPT_CHECK_EQ(code, 0ul);
    TPT_CHECK_MSG(!agentWindow(), "no window left");
    TPT_CHECK_MSG(tpt::waitUntil([] { return !agentTrayTipShown(); }, 5000, 50), "no tray icon left");
    // The cursors: Wine's SetSystemCursor changes nothing that another
    // process can read back, so that hiding is never visible here; that
    // nothing hides them after shutdown's restore is shown by the native
    // tests (tests/agent/reentrancy_test.cpp, worker_threads_test.cpp).
    // Every device handle opened since the mark is closed again. The mark was
    // taken while the agent was busy, so a close may belong to an open before
    // it: the count must not stay above zero.
    int stillOpen = 0;
    const bool closed = tpt::waitUntil(
        [&] {
            stillOpen = 0;
            for (const tpsim::LogRecord& r : sim.log()) {
                if (r.kind == tpsim::kLogOpen && static_cast<int32_t>(r.status) >= 0) ++stillOpen;
                if (r.kind == tpsim::kLogClose) --stillOpen;
            }
            return stillOpen <= 0;
        },
        5000, 50);
    TPT_CHECK_MSG(closed, "device handles left open: " + std::to_string(stillOpen));
    if (!ended) TerminateProcess(process, 1);
    CloseHandle(process);
    endHung();
    return tpt::finish();
}
