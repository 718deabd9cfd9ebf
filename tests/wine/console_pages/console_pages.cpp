// The sound, click and right-click pages of the real Tapcon.exe, driven from
// outside with the messages a user's clicks, scrolls and selections produce,
// with the agent running on the simulated panel.
//
//   wine_console_pages en|ja
//
// With TP_CONSOLE_SHOTS set to a folder (a Linux path), each page is also
// saved there as console_<page>_<lang>.png.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "agent_common.h"
#include "console_ids.h"
#include "driver_protocol.h"
#include "settings.h"
#include "tpt.h"

namespace {

using tp::opt::kHideCursor;
using tp::opt::kKindMask;
using tp::opt::kOfferOperateMode;
using tp::opt::kSoundOn;

const std::string kUser = "Software\\Korvane Component\\USB";
const std::string kMulti = "SYSTEM\\CurrentControlSet\\Services\\QTXTPU\\Parameters";
const std::string kMouse = "Control Panel\\Mouse";
constexpr int kApply = 0x3021;
constexpr int kPageSound = 1, kPageClick = 2, kPageRight = 3;

bool japanese = false;
std::string shots;  // where screenshots go, empty for none

struct Texts {
    const wchar_t* caption;
    const wchar_t* soundGroup;
    const wchar_t* kind3;
    const wchar_t* stdOn;
    const wchar_t* rightGroup;
    const wchar_t* leftGroup;
};
const Texts kEnglish{L"Touch Panel Settings", L"Audible feedback setting", L"Question",
                     L"Sounds enabled",       L"Right click simulation",   L"Left click simulation"};
const Texts kJapanese{L"タッチパネルの設定",     L"サウンド設定",   L"メッセージ(問い合わせ)",
                      L"サウンド機能を使用する", L"右クリック設定", L"左クリック設定"};
const Texts& texts() { return japanese ? kJapanese : kEnglish; }

std::string narrow(const std::wstring& w) {
    std::string out;
    for (wchar_t c : w) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

// ---- the console from outside ----------------------------------------------

LRESULT send(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, msg, wp, lp, SMTO_ABORTIFHUNG, 10000, &result);
    return static_cast<LRESULT>(result);
}

std::wstring text(HWND window) {
    wchar_t buf[512] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, nullptr);
    return buf;
}

struct Console {
    HANDLE process = nullptr;
    HWND sheet = nullptr;

    bool start() {
        process = tpt::startProgram("\"" + tpt::installPath("Tapcon.exe") + "\"");
        if (!process) return false;
        tpt::waitUntil([&] { return (sheet = FindWindowW(L"#32770", texts().caption)) != nullptr; }, 20000, 20);
        return sheet != nullptr;
    }
    HWND page(int index) {
        send(sheet, PSM_SETCURSEL, index, 0);
        return reinterpret_cast<HWND>(send(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    }
    // Apply blocks the console for the save's pause, so it is posted.
    void press(int button) { PostMessageW(GetDlgItem(sheet, button), BM_CLICK, 0, 0); }
    bool ended(unsigned ms) { return WaitForSingleObject(process, ms) == WAIT_OBJECT_0; }
    void close() {
        if (!process) return;
        if (!ended(0)) {
            press(IDCANCEL);
            if (!ended(10000)) TerminateProcess(process, 1);
        }
        CloseHandle(process);
        process = nullptr;
    }
};

void click(HWND page, int id) { send(GetDlgItem(page, id), BM_CLICK, 0, 0); }
void scroll(HWND page, int id, int code, int pos = 0) {
    send(page, WM_HSCROLL, MAKEWPARAM(code, pos), reinterpret_cast<LPARAM>(GetDlgItem(page, id)));
}
void slide(HWND page, int id, int pos) {
    send(GetDlgItem(page, id), TBM_SETPOS, TRUE, pos);
    scroll(page, id, TB_THUMBPOSITION, pos);
}
void choose(HWND page, int id, int index) {
    send(GetDlgItem(page, id), CB_SETCURSEL, index, 0);
    send(page, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(page, id)));
}
bool checked(HWND page, int id) { return send(GetDlgItem(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

RECT screenRect(HWND page, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(page, id), &r);
    return r;
}

// The colour on screen at the centre of a control, or at (dx, dy) in it.
COLORREF pixel(HWND page, int id, int dx = -1, int dy = -1) {
    RECT c{};
    HWND item = GetDlgItem(page, id);
    GetClientRect(item, &c);
    POINT p{dx < 0 ? c.right / 2 : dx, dy < 0 ? c.bottom / 2 : dy};
    ClientToScreen(item, &p);
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

// Pictures are painted a moment after their page is shown.
bool showsAt(HWND page, int id, int dx, int dy, COLORREF colour) {
    return tpt::waitUntil([&] { return pixel(page, id, dx, dy) == colour; }, 3000, 50);
}

std::string mouseValue(const char* name) { return tpt::reg::getString(HKEY_CURRENT_USER, kMouse, name).value_or("?"); }

// xdotool runs as a Linux program without a handle to wait on, so a shell
// leaves a file when it is done; a pause then keeps its clicks apart from the
// next call's by more than any double-click time used here.
bool xdotool(const std::string& args) {
    const std::string done = "/tmp/tp_console_pages_" + std::to_string(GetCurrentProcessId());
    const std::string doneWin = tpt::windowsPath(done);
    DeleteFileA(doneWin.c_str());
    if (HANDLE none = tpt::startProgram("/bin/sh -c \"/usr/bin/xdotool " + args + "; touch " + done + "\""))
        CloseHandle(none);
    const bool finished =
        tpt::waitUntil([&] { return GetFileAttributesA(doneWin.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000, 20);
    DeleteFileA(doneWin.c_str());
    Sleep(1000);
    return finished;
}

void screenshot(Console& console, const char* name) {
    if (shots.empty()) return;
    RECT r{};
    GetWindowRect(console.sheet, &r);
    SetForegroundWindow(console.sheet);
    Sleep(400);
    const std::string file = shots + "/console_" + name + (japanese ? "_ja" : "_en") + ".png";
    char crop[64];
    std::snprintf(crop, sizeof crop, "%ldx%ld+%ld+%ld", r.right - r.left, r.bottom - r.top, r.left, r.top);
    std::remove(tpt::windowsPath(file).c_str());
    if (HANDLE none = tpt::startProgram("/usr/bin/import -window root -crop " + std::string(crop) + " " + file))
        CloseHandle(none);
    TPT_CHECK_MSG(
        tpt::waitUntil([&] { return GetFileAttributesA(tpt::windowsPath(file).c_str()) != INVALID_FILE_ATTRIBUTES; },
                       10000, 50),
        file);
    Sleep(300);
}

// ---- the driver's log ------------------------------------------------------

// A save as the driver saw it: the layout, the agent's option word after its
// settings arrived, and the settings signal at least a second after that.
// The requests of one code that one process sent since the mark.
std::vector<tpsim::LogRecord> sentBy(tpt::Sim& sim, uint32_t code, DWORD pid) {
    std::vector<tpsim::LogRecord> out;
    for (const auto& r : agentwine::requests(sim, code))
        if (r.pid == pid) out.push_back(r);
    return out;
}

void checkSaveReached(tpt::Sim& sim, DWORD consolePid, uint32_t option) {
    TPT_CHECK(agentwine::waitRequests(sim, tp::req::kSignalSettingsChanged, 1, 10000));
    auto fromConsole = [&](uint32_t code) { return sentBy(sim, code, consolePid); };
    const auto layout = fromConsole(tp::req::kSetMonitorLayout);
    const auto signal = fromConsole(tp::req::kSignalSettingsChanged);
    const auto options = agentwine::requests(sim, tp::req::kSetOption);
    TPT_CHECK_EQ(layout.size(), 1u);
    TPT_CHECK_EQ(signal.size(), 1u);
    if (!TPT_CHECK(!options.empty()) || layout.empty() || signal.empty()) return;
    const tpsim::LogRecord& first = options.front();
    TPT_CHECK_EQ(agentwine::dwordInput(first), option);
    TPT_CHECK(layout[0].seq < first.seq && first.seq < signal[0].seq);
    const double gapMs =
        1000.0 * static_cast<double>(signal[0].ticks - first.ticks) / static_cast<double>(sim.state().frequency());
    TPT_CHECK_MSG(gapMs >= 999.0, "signal " + std::to_string(gapMs) + " ms after the option word");
}

bool waitOption(uint32_t mask, uint32_t want) {
    return tpt::waitUntil(
        [&] { return (tpt::reg::getDword(HKEY_CURRENT_USER, kUser, "Option").value_or(0) & mask) == want; }, 10000, 20);
}

// ---- scenarios -------------------------------------------------------------

void soundPage(Console& console) {
    tpt::group("sound page: enable, kind, frequency, set as standard");
    HWND page = console.page(kPageSound);
    TPT_CHECK_MSG(text(GetDlgItem(page, IDC_SOUND_GROUP)) == texts().soundGroup,
                  narrow(text(GetDlgItem(page, IDC_SOUND_GROUP))));
    TPT_CHECK_EQ(send(GetDlgItem(page, IDC_SOUND_MONITOR), CB_GETCOUNT, 0, 0), 2);
    TPT_CHECK(!IsWindowEnabled(GetDlgItem(page, IDC_SOUND_FREQ_BAR)));
    click(page, IDC_SOUND_ENABLE);
    TPT_CHECK(IsWindowEnabled(GetDlgItem(page, IDC_SOUND_FREQ_BAR)));
    choose(page, IDC_SOUND_KIND, 3);
    scroll(page, IDC_SOUND_FREQ_BAR, SB_PAGERIGHT);
    scroll(page, IDC_SOUND_FREQ_BAR, SB_ENDSCROLL);
    scroll(page, IDC_SOUND_DUR_BAR, SB_PAGELEFT);
    TPT_CHECK_EQ(narrow(text(GetDlgItem(page, IDC_SOUND_FREQ_VALUE))), std::string("1100"));
    TPT_CHECK_EQ(narrow(text(GetDlgItem(page, IDC_SOUND_DUR_VALUE))), std::string("1"));
    click(page, IDC_SOUND_SET_STD);
    TPT_CHECK(text(GetDlgItem(page, IDC_SOUND_STD_KIND)) == texts().kind3);
    TPT_CHECK(text(GetDlgItem(page, IDC_SOUND_STD_ONOFF)) == texts().stdOn);
    screenshot(console, "sound");
}

void clickPage(Console& console) {
    tpt::group("click page: hide cursor; the sliders preview without writing the user's profile");
    HWND page = console.page(kPageClick);
    TPT_CHECK(IsWindowVisible(GetDlgItem(page, IDC_CLICK_MODE_GROUP)));
    click(page, IDC_CLICK_HIDE_CURSOR);
    slide(page, IDC_CLICK_WIDTH, 50);
    slide(page, IDC_CLICK_HEIGHT, 58);
    slide(page, IDC_CLICK_SPEED, 800);
    TPT_CHECK_EQ(mouseValue("DoubleClickWidth"), std::string("34"));
    TPT_CHECK_EQ(mouseValue("DoubleClickHeight"), std::string("34"));
    TPT_CHECK_EQ(mouseValue("DoubleClickSpeed"), std::string("500"));
    screenshot(console, "click");
}

// Posted Apply; once the agent has taken the settings (its option word
// reaches the driver) the console is in the save's one-second pause, and a
// question sent to the sheet must still be answered at once.
void answersDuringSave(Console& console, tpt::Sim& sim) {
    const DWORD pid = GetProcessId(console.process);
    TPT_CHECK_MSG(tpt::waitUntil([&] { return !agentwine::requests(sim, tp::req::kSetOption).empty(); }, 10000, 1),
                  "the agent takes the settings");
    Sleep(150);  // the agent's answer is back
    const double asked = tpt::nowMs();
    DWORD_PTR result = 0;
    const bool answered = SendMessageTimeoutW(console.sheet, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
    const double tookMs = tpt::nowMs() - asked;
    const bool inPause = sentBy(sim, tp::req::kSignalSettingsChanged, pid).empty();
    TPT_CHECK_MSG(answered && tookMs < 100.0, "answered in " + std::to_string(tookMs) + " ms");
    TPT_CHECK_MSG(inPause, "asked before the save's last request");
}

// One Apply reaches the sound page first, whose save clears the modified
// flag; the click page must still commit its values, or the Cancel that
// follows would put the old ones back in the system.
void applyBoth(Console& console, tpt::Sim& sim) {
    tpt::group("Apply: one save for both pages reaches registry, agent and driver");
    tpt::SettingListener listener;
    sim.mark();
    console.press(kApply);
    answersDuringSave(console, sim);
    TPT_CHECK(waitOption(kSoundOn | kKindMask | kHideCursor, kSoundOn | 0x3000 | kHideCursor));
    TPT_CHECK_EQ(tpt::reg::getDword(HKEY_CURRENT_USER, kUser, "Freq"), std::optional<uint32_t>(1100));
    TPT_CHECK_EQ(tpt::reg::getDword(HKEY_CURRENT_USER, kUser, "StdDuration"), std::optional<uint32_t>(1));
    TPT_CHECK_EQ(tpt::reg::getDword(HKEY_CURRENT_USER, kUser, "DWidth"), std::optional<uint32_t>(50));
    TPT_CHECK_EQ(tpt::reg::getDword(HKEY_CURRENT_USER, kUser, "DHeight"), std::optional<uint32_t>(58));
    checkSaveReached(sim, GetProcessId(console.process),
                     tp::def::kOption | kSoundOn | 0x3000 | 0x0300 | tp::opt::kStdSoundOn | kHideCursor);
    tpt::group("Apply writes the previewed double-click values to the profile");
    // The agent writes the area too, from the settings it last read: one
    // apply of its that started before the save may land after the console's
    // values, and the save's own message puts them back.
    tpt::waitUntil([] { return mouseValue("DoubleClickWidth") == "50" && mouseValue("DoubleClickHeight") == "58"; },
                   10000, 50);
    TPT_CHECK_EQ(mouseValue("DoubleClickWidth"), std::string("50"));
    TPT_CHECK_EQ(mouseValue("DoubleClickHeight"), std::string("58"));
    TPT_CHECK_EQ(mouseValue("DoubleClickSpeed"), std::string("200"));
    tpt::group("Apply announces the double-click values to other programs");
    const UINT announced[] = {SPI_SETDOUBLECLICKTIME, SPI_SETDOUBLECLKWIDTH, SPI_SETDOUBLECLKHEIGHT};
    for (UINT action : announced)
        TPT_CHECK_MSG(tpt::waitUntil([&] { return listener.heard(action); }, 10000, 10),
                      "WM_SETTINGCHANGE " + std::to_string(action));
}

void rightPageThenCancel(Console& console, tpt::Sim& sim) {
    tpt::group("right-click page: Alt moves to Ctrl in while-held mode; Cancel saves nothing");
    HWND page = console.page(kPageRight);
    TPT_CHECK(text(GetDlgItem(page, IDC_RIGHT_GROUP)) == texts().rightGroup);
    TPT_CHECK(!IsWindowEnabled(GetDlgItem(page, IDC_RIGHT_ALT)));
    click(page, IDC_RIGHT_ENABLE);
    TPT_CHECK(IsWindowEnabled(GetDlgItem(page, IDC_RIGHT_ALT)));
    click(page, IDC_RIGHT_ALT);
    click(page, IDC_RIGHT_WHILE_HELD);
    TPT_CHECK(checked(page, IDC_RIGHT_CTRL) && !checked(page, IDC_RIGHT_ALT) && checked(page, IDC_RIGHT_WHILE_HELD) &&
              !checked(page, IDC_RIGHT_ONE_TOUCH));
    TPT_CHECK(!IsWindowEnabled(GetDlgItem(page, IDC_RIGHT_ALT)));
    // The L mouse first: its left button is lit red.
    TPT_CHECK(showsAt(page, IDC_RIGHT_PICTURE1, 10, 11, RGB(255, 0, 0)));
    screenshot(console, "right");

    const auto before = tpt::reg::getDword(HKEY_CURRENT_USER, kUser, "Option");
    sim.mark();
    console.press(IDCANCEL);
    TPT_CHECK(console.ended(10000));
    Sleep(300);
    TPT_CHECK_EQ(tpt::reg::getDword(HKEY_CURRENT_USER, kUser, "Option"), before);
    const DWORD pid = GetProcessId(console.process);
    TPT_CHECK(sentBy(sim, tp::req::kSignalSettingsChanged, pid).empty());
    TPT_CHECK(sentBy(sim, tp::req::kSetMonitorLayout, pid).empty());
    tpt::group("click page: Cancel after Apply leaves the applied double-click values");
    TPT_CHECK_EQ(mouseValue("DoubleClickWidth"), std::string("50"));
    TPT_CHECK_EQ(mouseValue("DoubleClickHeight"), std::string("58"));
    TPT_CHECK_EQ(mouseValue("DoubleClickSpeed"), std::string("200"));
}

// Positions of everything below the operate-mode group, in page pixels.
std::vector<RECT> lowerControls(HWND page) {
    std::vector<RECT> out;
    for (int id = IDC_CLICK_CURSOR_GROUP; id <= IDC_CLICK_TEST_ICON; ++id) {
        RECT r = screenRect(page, id);
        MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
        out.push_back(r);
    }
    return out;
}

// A window of another program that never answers, yet counts as waiting
// for input: a broadcast waits on it for as long as it lives. Nothing of
// this process may broadcast while it stands.
class UnansweringWindow {
public:
    UnansweringWindow() {
        thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
        TPT_CHECK_MSG(thread_ && WaitForSingleObject(ready_, 5000) == WAIT_OBJECT_0, "an unanswering window");
    }
    ~UnansweringWindow() {
        SetEvent(stop_);
        if (thread_) WaitForSingleObject(thread_, 5000);
        for (HANDLE h : {thread_, stop_, ready_})
            if (h) CloseHandle(h);
    }

private:
    static DWORD WINAPI run(void* context) {
        auto* self = static_cast<UnansweringWindow*>(context);
        HWND window = CreateWindowExW(0, L"STATIC", L"unanswering", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                      nullptr, nullptr);
        SetEvent(self->ready_);
        MsgWaitForMultipleObjects(1, &self->stop_, FALSE, INFINITE, QS_HOTKEY);
        DestroyWindow(window);
        return 0;
    }
    HANDLE stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread_ = nullptr;
};

// A user's own values beyond the sliders' ranges (slow for accessibility):
// looking and cancelling, or trying a slider and cancelling, leaves them,
// and Cancel waits on no other program.
void ownValuesSurviveCancel() {
    const UINT both = SPIF_UPDATEINIFILE | SPIF_SENDCHANGE;
    SystemParametersInfoW(SPI_SETDOUBLECLICKTIME, 1100, nullptr, both);
    SystemParametersInfoW(SPI_SETDOUBLECLKWIDTH, 9, nullptr, both);
    SystemParametersInfoW(SPI_SETDOUBLECLKHEIGHT, 7, nullptr, both);
    for (bool tryASlider : {false, true}) {
        tpt::group(tryASlider ? "1100 ms and 9 x 7 survive a slider tried and Cancel"
                              : "1100 ms and 9 x 7 survive opening the click page and Cancel");
        Console console;
        if (!TPT_CHECK(console.start())) return;
        HWND page = console.page(kPageClick);
        if (tryASlider) {
            slide(page, IDC_CLICK_SPEED, 800);
            slide(page, IDC_CLICK_WIDTH, 66);
        }
        {
            UnansweringWindow unanswering;
            console.press(IDCANCEL);
            TPT_CHECK_MSG(console.ended(3000), "Cancel ends the console beside a window that never answers");
        }
        TPT_CHECK(console.ended(10000));
        console.close();
        TPT_CHECK_EQ(mouseValue("DoubleClickSpeed"), std::string("1100"));
        TPT_CHECK_EQ(mouseValue("DoubleClickWidth"), std::string("9"));
        TPT_CHECK_EQ(mouseValue("DoubleClickHeight"), std::string("7"));
    }
}

void clickPageLayouts() {
    tpt::group("click page: a hidden operate mode lifts the controls by the group's height");
    Console shown;
    if (!TPT_CHECK(shown.start())) return;
    HWND page = shown.page(kPageClick);
    const std::vector<RECT> before = lowerControls(page);
    RECT group = screenRect(page, IDC_CLICK_MODE_GROUP);
    shown.close();

    const uint32_t option = tpt::reg::getDword(HKEY_CURRENT_USER, kUser, "Option").value_or(tp::def::kOption);
    tpt::reg::setDword(HKEY_CURRENT_USER, kUser, "Option", option & ~kOfferOperateMode);
    Console hidden;
    if (!TPT_CHECK(hidden.start())) return;
    page = hidden.page(kPageClick);
    for (int id : {IDC_CLICK_MODE_GROUP, IDC_CLICK_STREAM, IDC_CLICK_POINT})
        TPT_CHECK(!IsWindowVisible(GetDlgItem(page, id)));
    const std::vector<RECT> after = lowerControls(page);
    const LONG lift = group.bottom - group.top;
    for (size_t i = 0; i < before.size(); ++i) {
        TPT_CHECK_MSG(after[i].top == before[i].top - lift && after[i].left == before[i].left &&
                          after[i].bottom - after[i].top == before[i].bottom - before[i].top,
                      "control " + std::to_string(IDC_CLICK_CURSOR_GROUP + i) + " top " + std::to_string(after[i].top) +
                          ", was " + std::to_string(before[i].top) + ", lift " + std::to_string(lift));
    }
    screenshot(hidden, "click_hidden_mode");
    hidden.close();
    tpt::reg::setDword(HKEY_CURRENT_USER, kUser, "Option", option);
}

// Real clicks through X: only what the system takes for a double-click on
// the picture switches between sun (red in the middle) and moon (dark blue).
void testPicture() {
    tpt::group("click page: a real double-click on the test picture");
    Console console;
    if (!TPT_CHECK(console.start())) return;
    HWND page = console.page(kPageClick);
    slide(page, IDC_CLICK_SPEED, 500);  // 500 ms
    slide(page, IDC_CLICK_WIDTH, 4);
    slide(page, IDC_CLICK_HEIGHT, 4);
    SetForegroundWindow(console.sheet);
    Sleep(300);
    const RECT r = screenRect(page, IDC_CLICK_TEST_ICON);
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    const COLORREF sun = RGB(255, 0, 0), moon = RGB(0, 0, 128);
    auto shows = [&](COLORREF c) {
        return tpt::waitUntil([&] { return pixel(page, IDC_CLICK_TEST_ICON) == c; }, 3000, 50);
    };
    TPT_CHECK(shows(sun));

    const std::string at = "mousemove " + std::to_string(x) + " " + std::to_string(y);
    TPT_CHECK(xdotool(at + " click --repeat 2 --delay 900 1"));  // slower than 500 ms
    TPT_CHECK(shows(sun));
    TPT_CHECK(xdotool(at + " click 1 mousemove " + std::to_string(x + 10) + " " + std::to_string(y) + " click 1"));
    TPT_CHECK_MSG(shows(sun), "10 pixels apart with a width of 4");
    TPT_CHECK(xdotool("mousemove " + std::to_string(r.right + 8) + " " + std::to_string(y) +
                      " click --repeat 2 --delay 80 1"));
    TPT_CHECK_MSG(shows(sun), "beside the picture");
    TPT_CHECK(xdotool(at + " click --repeat 2 --delay 80 1"));
    TPT_CHECK_MSG(shows(moon), "double-click on the picture");

    slide(page, IDC_CLICK_WIDTH, 66);
    TPT_CHECK(xdotool(at + " click 1 mousemove " + std::to_string(x + 10) + " " + std::to_string(y) + " click 1"));
    TPT_CHECK_MSG(shows(sun), "10 pixels apart with a width of 66");
    slide(page, IDC_CLICK_SPEED, 100);  // 900 ms
    TPT_CHECK(xdotool(at + " click --repeat 2 --delay 700 1"));
    TPT_CHECK_MSG(shows(moon), "700 ms apart with a double-click time of 900 ms");
    console.close();
}

void swappedButtons() {
    tpt::group("swapped mouse buttons: left-click texts and the R mouse first");
    SystemParametersInfoW(SPI_SETMOUSEBUTTONSWAP, TRUE, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
    Console console;
    if (TPT_CHECK(console.start())) {
        HWND page = console.page(kPageRight);
        TPT_CHECK(text(GetDlgItem(page, IDC_RIGHT_GROUP)) == texts().leftGroup);
        const std::wstring enable = text(GetDlgItem(page, IDC_RIGHT_ENABLE));
        TPT_CHECK_MSG(enable.find(japanese ? L"左" : L"left") != std::wstring::npos, narrow(enable));
        TPT_CHECK(showsAt(page, IDC_RIGHT_PICTURE1, 21, 11, RGB(255, 0, 0)));
        TPT_CHECK(showsAt(page, IDC_RIGHT_PICTURE1, 10, 11, RGB(255, 255, 255)));
        screenshot(console, "left");
        console.close();
    }
    SystemParametersInfoW(SPI_SETMOUSEBUTTONSWAP, FALSE, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
}

// OK applies, announces from the announcer's thread and ends the sheet: the
// process must not end before the broadcast has reached every window, slow
// ones and those after them included.
void okWaitsForItsAnnouncement() {
    tpt::group("OK: the console exits only once two slow programs have both heard the change");
    tpt::SettingListener first(1000), second(1000);
    Console console;
    if (!TPT_CHECK(console.start())) return;
    HWND page = console.page(kPageClick);
    slide(page, IDC_CLICK_WIDTH, 40);
    console.press(IDOK);
    const double pressed = tpt::nowMs();
    TPT_CHECK_MSG(console.ended(15000), "ends within the bounded wait");
    const double tookMs = tpt::nowMs() - pressed;
    TPT_CHECK_MSG(first.heard(SPI_SETDOUBLECLKWIDTH) && second.heard(SPI_SETDOUBLECLKWIDTH),
                  "both heard it before the process ended (" + std::to_string(tookMs) + " ms)");
    console.close();
}

}  // namespace

int main(int argc, char** argv) {
    japanese = argc > 1 && std::string(argv[1]) == "ja";
    if (const char* dir = std::getenv("TP_CONSOLE_SHOTS")) shots = dir;
    tpt::Sim sim;

    // Two monitors on the multi-monitor driver; the sound and double-click
    // values known before the console starts.
    tpt::reg::setDword(HKEY_LOCAL_MACHINE, kMulti, "Resolution1", 0x04000300);
    tpt::reg::setDword(HKEY_LOCAL_MACHINE, kMulti, "Resolution2", 0x04000300);
    tpt::reg::setDword(HKEY_LOCAL_MACHINE, kMulti, "Resolution3", 0);
    tpt::reg::setDword(HKEY_CURRENT_USER, kUser, "Freq", 1000);
    tpt::reg::setDword(HKEY_CURRENT_USER, kUser, "Duration", 60);
    SystemParametersInfoW(SPI_SETDOUBLECLICKTIME, 500, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
    SystemParametersInfoW(SPI_SETDOUBLECLKWIDTH, 4, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);

    HANDLE agent = nullptr;
    tpt::group("the agent runs and has set the double-click area");
    TPT_CHECK(agentwine::startAgent("runonce", &agent) != nullptr);
    // Its own setting of the area must not land on the console's.
    TPT_CHECK(tpt::waitUntil([] { return mouseValue("DoubleClickWidth") == "34"; }, 10000, 50));

    Console console;
    tpt::group("Tapcon starts in the system's language");
    if (TPT_CHECK(console.start())) {
        soundPage(console);
        clickPage(console);
        applyBoth(console, sim);
        rightPageThenCancel(console, sim);
    }
    console.close();
    ownValuesSurviveCancel();
    clickPageLayouts();
    testPicture();
    swappedButtons();
    okWaitsForItsAnnouncement();

    // The prefix is shared with the scenarios that follow.
    const UINT both = SPIF_UPDATEINIFILE | SPIF_SENDCHANGE;
    SystemParametersInfoW(SPI_SETDOUBLECLICKTIME, 500, nullptr, both);
    SystemParametersInfoW(SPI_SETDOUBLECLKWIDTH, 4, nullptr, both);
    SystemParametersInfoW(SPI_SETDOUBLECLKHEIGHT, 4, nullptr, both);
    if (agent) {
        PostMessageA(agentwine::agentWindow(), WM_DESTROY, 0, 0);
        DWORD code = 0;
        agentwine::waitExit(agent, 10000, &code);
        CloseHandle(agent);
    }
    return tpt::finish();
}
