// taphook.dll end to end: Tapagent installs the hook and hands it the option
// word; modifier keys typed with xdotool into this program's window (so the
// hook runs in a process other than the agent's) switch the simulated panel's
// button mode, and the agent hears of the return to the primary button.
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "agent_common.h"
#include "agent_window.h"
#include "settings.h"

namespace {

using namespace agentwine;
namespace req = tp::req;
namespace opt = tp::opt;

// X keycodes. xdotool's key names for right-hand modifiers press the left
// key too, so every key goes by its raw code.
constexpr int kControlL = 37, kControlR = 105, kShiftL = 50, kShiftR = 62, kAltL = 64, kAltR = 108;
constexpr int kKeyA = 38, kArrowUp = 111;

constexpr uint32_t kShowTray = opt::kTrayIcon;
constexpr size_t kSettingsBlockSize = 236;  // AgentSettingsBlock: Option at 12, DisableMode at 16
constexpr char kTipResting[] = "Switch to Secondary Button";
constexpr char kTipArmed[] = "Switch to Primary Button";

// ---- this process's window, which has the keyboard focus ----------------

int keyMessages = 0;
int autoRepeats = 0;  // key-down messages of a key that was down already

LRESULT CALLBACK typistProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
            ++keyMessages;  // handled, so Alt opens no menu loop
            if (message == WM_KEYDOWN && (lParam & 0x40000000)) ++autoRepeats;
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND makeTypist() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = typistProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "HookKeysTypist";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "hook keys", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200,
                           nullptr, nullptr, wc.hInstance, nullptr);
}

// The hook runs while this thread takes its keyboard messages, so every wait
// here keeps the message loop going. Each key is looked at twice before it is
// taken, as many programs do: those looks (HC_NOREMOVE) must not reach the
// driver, so the exact request strings below count them out.
void pump() {
    MSG msg;
    for (int look = 0; look < 2; ++look) PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool pumpUntil(const std::function<bool()>& condition, unsigned timeoutMs) {
    return tpt::waitUntil(
        [&] {
            pump();
            return condition();
        },
        timeoutMs, 5);
}

void pumpFor(unsigned ms) {
    pumpUntil([] { return false; }, ms);
}

// Wine starts a Linux program but gives no process handle for it, so a key
// counts as typed once this window has its message: that also keeps the keys
// in order.
bool type(const char* action, int keycode) {
    const int before = keyMessages;
    if (HANDLE none = tpt::startProgram("/usr/bin/xdotool " + std::string(action) + " " + std::to_string(keycode)))
        CloseHandle(none);
    return pumpUntil([&] { return keyMessages > before; }, 5000);
}

void repeatRightCtrl() {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = VK_RCONTROL;
    input.ki.wScan = 0x1D;
    input.ki.dwFlags = KEYEVENTF_EXTENDEDKEY;
    SendInput(1, &input, sizeof input);
}

// ---- what the driver saw, by process -----------------------------------

// The button-mode requests one process sent since the mark: "1c 1c 20".
std::string buttonRequests(tpt::Sim& sim, DWORD pid) {
    std::string out;
    for (const auto& r : sim.records(tpsim::kLogRequest)) {
        if (r.pid != pid || (r.code != req::kButtonSecondary && r.code != req::kButtonPrimary)) continue;
        if (!out.empty()) out += ' ';
        out += r.code == req::kButtonSecondary ? "1c" : "20";
    }
    return out;
}

// ---- the agent's tray tip, read from Wine's explorer ---------------------

bool trayTipIs(const char* text) {
    const std::vector<std::string> tips = tpt::trayTips();
    return tips.size() == 1 && tips[0] == text;
}

std::string trayTipsShown() {
    std::string out;
    for (const auto& t : tpt::trayTips()) out += "[" + t + "]";
    return out.empty() ? "no tray tip" : out;
}

// ---- the scenario ---------------------------------------------------------

struct Rig {
    tpt::Sim sim;
    HWND typist = nullptr;
    HWND agent = nullptr;
    HANDLE agentProcess = nullptr;
    DWORD agentPid = 0;
    DWORD ownPid = GetCurrentProcessId();

    std::string own() { return buttonRequests(sim, ownPid); }
    std::string agents() { return buttonRequests(sim, agentPid); }

    // The option word as the console sends it. Done once the agent has told
    // the driver (after handing the word to the hook) and has answered its own
    // return to the primary button.
    bool setOption(uint32_t option) {
        std::vector<uint8_t> block(kSettingsBlockSize, 0);
        tp::put32(block.data() + 12, option);
        tp::put32(block.data() + 16, 1);  // no monitor layout: not what this is about
        COPYDATASTRUCT cds{0, static_cast<DWORD>(block.size()), block.data()};
        sim.mark();
        SendMessageA(agent, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
        const bool done = pumpUntil(
            [&] {
                const auto set = sim.records(tpsim::kLogRequest, req::kSetOption);
                return !set.empty() && dwordInput(set.back()) == option && agents() == "20";
            },
            5000);
        SetForegroundWindow(typist);
        pumpFor(100);
        sim.mark();
        return done;
    }
};

void hookedFromAnotherProcess(Rig& rig) {
    tpt::group("held mode, right Ctrl: the press arms, its repeats ask nothing, the release disarms and the agent hears of it");
    TPT_CHECK(rig.setOption(opt::kKeyRightClick | opt::kKeyHeld | opt::kKeyCtrl | kShowTray));

    // Armed from the tray first, so that the tip has somewhere to return from.
    PostMessageA(rig.agent, tp::agentwin::kAgmButtonMode, 0, tp::agentwin::kToSecondary);
    TPT_CHECK_MSG(pumpUntil([] { return trayTipIs(kTipArmed); }, 5000), trayTipsShown());
    rig.sim.mark();
    keyMessages = 0;
    autoRepeats = 0;

    TPT_CHECK(type("keydown", kControlR));
    TPT_CHECK_MSG(pumpUntil([&] { return rig.own() == "1c"; }, 5000), rig.own());
    TPT_CHECK_MSG(GetModuleHandleA("taphook.dll") != nullptr, "Windows mapped the hook into this process");
    // Xvfb does not auto-repeat modifiers: the repeats come from SendInput,
    // which Wine marks as repeats of the key xdotool holds down.
    for (int i = 0; i < 2; ++i) repeatRightCtrl();
    TPT_CHECK_MSG(pumpUntil([] { return autoRepeats == 2; }, 5000), std::to_string(autoRepeats));
    TPT_CHECK_EQ(rig.agents(), std::string());
    TPT_CHECK_MSG(trayTipIs(kTipArmed), "holding the key tells the agent nothing");

    TPT_CHECK(type("keyup", kControlR));
    const std::string expected = "1c 20";
    TPT_CHECK_MSG(pumpUntil([&] { return rig.own() == expected && rig.agents() == "20"; }, 5000),
                  rig.own() + " / agent " + rig.agents() + ", want " + expected);
    TPT_CHECK_MSG(pumpUntil([] { return trayTipIs(kTipResting); }, 5000), trayTipsShown());

    tpt::group("held mode, left Ctrl");
    rig.sim.mark();
    TPT_CHECK(type("keydown", kControlL));
    TPT_CHECK(type("keyup", kControlL));
    TPT_CHECK_MSG(pumpUntil([&] { return rig.own() == "1c 20" && rig.agents() == "20"; }, 5000),
                  rig.own() + " / agent " + rig.agents());
}

void oneTouchShift(Rig& rig) {
    tpt::group("one-touch mode, Shift: the release arms, the press does nothing, the agent is not told");
    TPT_CHECK(rig.setOption(opt::kKeyRightClick | opt::kKeyShift | kShowTray));
    keyMessages = 0;
    TPT_CHECK(type("keydown", kShiftR));
    pumpFor(500);
    TPT_CHECK_EQ(rig.own(), std::string());
    TPT_CHECK(type("keyup", kShiftR));
    TPT_CHECK_MSG(pumpUntil([&] { return rig.own() == "1c"; }, 5000), rig.own());
    TPT_CHECK(type("keydown", kShiftL));
    TPT_CHECK(type("keyup", kShiftL));
    TPT_CHECK_MSG(pumpUntil([&] { return rig.own() == "1c 1c"; }, 5000), rig.own());
    pumpFor(500);
    TPT_CHECK_EQ(rig.agents(), std::string());
    TPT_CHECK(trayTipIs(kTipResting));
    TPT_CHECK_EQ(keyMessages, 4);
}

void rightAlt(Rig& rig) {
    tpt::group("held mode, Alt: right Alt acts like left Alt");
    TPT_CHECK(rig.setOption(opt::kKeyRightClick | opt::kKeyHeld | opt::kKeyAlt | kShowTray));
    TPT_CHECK(type("keydown", kAltR));
    TPT_CHECK(type("keyup", kAltR));
    TPT_CHECK_MSG(pumpUntil([&] { return rig.own() == "1c 20" && rig.agents() == "20"; }, 5000),
                  rig.own() + " / agent " + rig.agents());
    TPT_CHECK(type("keydown", kAltL));
    TPT_CHECK(type("keyup", kAltL));
    TPT_CHECK_MSG(pumpUntil([&] { return rig.own() == "1c 20 1c 20" && rig.agents() == "20 20"; }, 5000),
                  rig.own() + " / agent " + rig.agents());
}

void nothingElseSwitches(Rig& rig) {
    const int everyModifier[] = {kControlL, kControlR, kShiftL, kShiftR, kAltL, kAltR};

    tpt::group("other keys switch nothing, and no key is swallowed");
    TPT_CHECK(
        rig.setOption(opt::kKeyRightClick | opt::kKeyHeld | opt::kKeyCtrl | opt::kKeyShift | opt::kKeyAlt | kShowTray));
    keyMessages = 0;
    for (int key : {kKeyA, kArrowUp}) TPT_CHECK(type("keydown", key) && type("keyup", key));
    TPT_CHECK_MSG(pumpUntil([] { return keyMessages == 4; }, 5000), std::to_string(keyMessages));
    TPT_CHECK_EQ(rig.own(), std::string());

    tpt::group("without the keyboard right click no modifier does anything");
    TPT_CHECK(rig.setOption(opt::kKeyHeld | opt::kKeyCtrl | opt::kKeyShift | opt::kKeyAlt | kShowTray));
    keyMessages = 0;
    for (int key : everyModifier) TPT_CHECK(type("keydown", key) && type("keyup", key));
    TPT_CHECK_MSG(pumpUntil([] { return keyMessages == 12; }, 5000), std::to_string(keyMessages));
    pumpFor(300);
    TPT_CHECK_EQ(rig.own(), std::string());
    TPT_CHECK_EQ(rig.agents(), std::string());
}

void unhookedWhenTheAgentEnds(Rig& rig) {
    tpt::group("once the agent has ended, the hook is gone");
    TPT_CHECK(rig.setOption(opt::kKeyRightClick | opt::kKeyHeld | opt::kKeyCtrl));
    PostMessageA(rig.agent, WM_CLOSE, 0, 0);
    DWORD code = 1;
    TPT_CHECK(waitExit(rig.agentProcess, 10000, &code));
    SetForegroundWindow(rig.typist);
    pumpFor(100);
    rig.sim.mark();
    keyMessages = 0;
    TPT_CHECK(type("keydown", kControlL) && type("keyup", kControlL));
    TPT_CHECK_MSG(pumpUntil([] { return keyMessages == 2; }, 5000), std::to_string(keyMessages));
    pumpFor(300);
    TPT_CHECK_EQ(rig.own(), std::string());
}

}  // namespace

int main() {
    Rig rig;
    rig.typist = makeTypist();
    rig.sim.mark();
    rig.agent = startAgent("", &rig.agentProcess);
    tpt::group("the agent runs with its hook");
    TPT_CHECK(rig.typist != nullptr);
    TPT_CHECK(rig.agent != nullptr);
    if (!rig.typist || !rig.agent) return tpt::finish();
    rig.agentPid = GetProcessId(rig.agentProcess);
    // Its start-up ends with the monitor layout and its own return to the
    // primary button; settings sent earlier would cross it.
    TPT_CHECK(pumpUntil(
        [&] { return rig.agents() == "20" && !rig.sim.records(tpsim::kLogRequest, req::kSetMonitorLayout).empty(); },
        15000));
    TPT_CHECK_MSG(findOwnedWindow("#32770", "Korvane Tapagent", rig.agentPid) == nullptr, "no warning box");
    SetForegroundWindow(rig.typist);
    SetFocus(rig.typist);

    hookedFromAnotherProcess(rig);
    oneTouchShift(rig);
    rightAlt(rig);
    nothingElseSwitches(rig);
    unhookedWhenTheAgentEnds(rig);

    TerminateProcess(rig.agentProcess, 1);
    CloseHandle(rig.agentProcess);
    return tpt::finish();
}
