// Taptest.exe driven as a user's finger would drive it: xdotool clicks at the
// targets plus known offsets, the result the program keeps for support, the
// drawing, the console opened on its calibration page, the monitor the
// multi-monitor settings choose. One program, one mode per scenario:
//
//   wine_taptest check|draw|monitors|demo TAPTEST_EXE
//
// The language is the code page's (LANG ja: 932). With TP_TAPTEST_SHOTS set
// to a folder (a Linux path), the screens are saved there as PNG files.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings.h"
#include "touch_check.h"
#include "tpt.h"

namespace {

namespace check = tp::check;

const std::string kMultiKey = "SYSTEM\\CurrentControlSet\\Services\\QTXTPU\\Parameters";
constexpr uint32_t kWhite = RGB(255, 255, 255);
constexpr uint32_t kTrail = 0xC04000;  // the drawing's ink, as GDI spells it

bool japanese() { return GetACP() == 932; }
std::string lang() { return japanese() ? "ja" : "en"; }

std::string shotsFolder() {
    const char* dir = std::getenv("TP_TAPTEST_SHOTS");
    return dir ? dir : "";
}

void shot(const std::string& name, const RECT& r) {
    const std::string dir = shotsFolder();
    if (dir.empty()) return;
    const std::string file = dir + "/taptest_" + name + "_" + lang() + ".png";
    TPT_CHECK_MSG(tpt::screenshot(file, r.left, r.top, r.right - r.left, r.bottom - r.top), file);
}

COLORREF pixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return c;
}

struct Taptest {
    HANDLE process = nullptr;
    HWND window = nullptr;
    RECT rect{};

    check::Monitor monitor() const { return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}; }
    bool ended(unsigned ms) const { return WaitForSingleObject(process, ms) == WAIT_OBJECT_0; }
};

HWND mainWindowOf(DWORD pid) {
    for (HWND w : tpt::visibleWindowsOf(pid))
        if (tpt::classOf(w) == L"TAPTEST:MAIN") return w;
    return nullptr;
}

// Starts the installed Taptest with these arguments and waits until its
// window is shown and painted.
Taptest start(const std::string& args) {
    Taptest t;
    t.process = tpt::startProgram("\"" + tpt::installPath("Taptest.exe") + "\" " + args);
    if (!TPT_CHECK_MSG(t.process != nullptr, "Taptest.exe starts")) return t;
    const DWORD pid = GetProcessId(t.process);
    TPT_CHECK_MSG(tpt::waitUntil([&] { return (t.window = mainWindowOf(pid)) != nullptr; }, 15000, 50),
                  "its window appears");
    if (t.window) GetWindowRect(t.window, &t.rect);
    TPT_CHECK_MSG(tpt::waitUntil([&] { return pixel(t.rect.left + 3, t.rect.bottom - 3) == kWhite; }, 10000, 50),
                  "the window is painted");
    return t;
}

void leaveWithEscape(Taptest& t) {
    TPT_CHECK(tpt::xdotool("key Escape"));
    TPT_CHECK_MSG(t.ended(10000), "Esc ends Taptest");
    if (!t.ended(0)) TerminateProcess(t.process, 1);
    CloseHandle(t.process);
    t.process = nullptr;
}

// One xdotool run: each target in turn touched at its offset.
bool touch(const Taptest& t, const int (&order)[check::kTargetCount + 1], const check::Offset (&offsets)[6]) {
    std::string args;
    for (int i = 0; i < check::kTargetCount + 1 && order[i] >= 0; ++i) {
        const check::Point p = check::targetOf(t.monitor(), order[i]);
        args += "mousemove " + std::to_string(p.x + offsets[i].dx) + " " + std::to_string(p.y + offsets[i].dy) +
                " click 1 sleep 0.3 ";
    }
    return tpt::xdotool(args, 20000);
}

bool touchAll(const Taptest& t, check::Offset o) {
    const int order[] = {0, 1, 2, 3, 4, -1};
    const check::Offset offsets[6] = {o, o, o, o, o, o};
    return touch(t, order, offsets);
}

std::optional<check::Record> storedRecord() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, check::kRecordKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    uint8_t bytes[check::kRecordSize + 8] = {};
    DWORD size = sizeof bytes, type = 0;
    const LONG rc = RegQueryValueExA(key, check::kRecordValue, nullptr, &type, bytes, &size);
    RegCloseKey(key);
    check::Record r;
    if (rc != ERROR_SUCCESS || type != REG_BINARY || !check::decodeRecord(bytes, size, &r)) return {};
    return r;
}

// Waits for the result of the check that is running to be kept.
std::optional<check::Record> waitRecord() {
    std::optional<check::Record> r;
    tpt::waitUntil([&] { return (r = storedRecord()).has_value(); }, 15000, 50);
    TPT_CHECK_MSG(r.has_value(), "the result is kept in HKCU\\Software\\Korvane Component\\Taptest");
    return r;
}

void forgetRecord() { tpt::reg::deleteTree(HKEY_CURRENT_USER, check::kRecordKey); }

void expectOffsets(const check::Record& r, check::Offset want) {
    for (int i = 0; i < check::kTargetCount; ++i) {
        TPT_CHECK_EQ(r.offsets[i].dx, want.dx);
        TPT_CHECK_EQ(r.offsets[i].dy, want.dy);
    }
}

// A check with every touch at the offset and the tolerance given; the
// window is left on its result screen.
std::optional<check::Record> runCheck(Taptest& t, check::Offset o, const std::string& tolerance) {
    forgetRecord();
    t = start("/check" + (tolerance.empty() ? "" : " /tolerance:" + tolerance));
    if (!t.window) return {};
    TPT_CHECK(touchAll(t, o));
    return waitRecord();
}

// ---------------------------------------------------------------- modes

void checkMode() {
    tpt::group("the window covers the primary monitor and takes the language's title");
    Taptest t = start("/check");
    TPT_CHECK_EQ(t.rect.left, 0);
    TPT_CHECK_EQ(t.rect.right, GetSystemMetrics(SM_CXSCREEN));
    TPT_CHECK_EQ(t.rect.bottom, GetSystemMetrics(SM_CYSCREEN));
    wchar_t title[64] = {};
    GetWindowTextW(t.window, title, 64);
    TPT_CHECK(std::wstring(title) == (japanese() ? L"タッチパネルのテスト" : L"TouchPanel Test"));
    shot("target", t.rect);

    tpt::group("touches at +6, -4 are reported exactly; a target touched twice takes the last touch");
    {
        const int order[] = {0, 1, 0, 2, 3, 4};
        const check::Offset offsets[6] = {{30, 30}, {6, -4}, {6, -4}, {6, -4}, {6, -4}, {6, -4}};
        TPT_CHECK(touch(t, order, offsets));
    }
    if (auto r = waitRecord()) {
        expectOffsets(*r, {6, -4});
        TPT_CHECK(r->pass);  // 7.2 px against 12.8 px
        TPT_CHECK_EQ(r->tolerance, 100u);
        TPT_CHECK_EQ(r->screen, 0u);
        TPT_CHECK_EQ(r->monitor.width, static_cast<int32_t>(t.rect.right - t.rect.left));
    }
    shot("result_pass", t.rect);
    leaveWithEscape(t);

    tpt::group("the verdict on both sides of the tolerance: 7.21 px against 0.57 % (7.30 px) and 0.56 % (7.17 px)");
    if (auto r = runCheck(t, {6, -4}, "0.57")) {
        expectOffsets(*r, {6, -4});
        TPT_CHECK(r->pass);
        TPT_CHECK_EQ(r->tolerance, 57u);
    }
    leaveWithEscape(t);
    if (auto r = runCheck(t, {-4, 6}, "0.56")) {
        expectOffsets(*r, {-4, 6});
        TPT_CHECK(!r->pass);
        TPT_CHECK_EQ(r->tolerance, 56u);
    }
    shot("result_fail", t.rect);

    tpt::group("Recalibrate opens the console on its calibration page and Taptest gives way");
    // Again, Recalibrate, Close: the middle button stands at the centre.
    TPT_CHECK(tpt::xdotool("mousemove " + std::to_string((t.rect.left + t.rect.right) / 2) + " " +
                           std::to_string(t.rect.top + 28) + " click 1"));
    TPT_CHECK_MSG(t.ended(10000), "Taptest ends");
    const wchar_t* caption = japanese() ? L"タッチパネルの設定" : L"Touch Panel Settings";
    HWND sheet = nullptr;
    TPT_CHECK_MSG(tpt::waitUntil([&] { return (sheet = FindWindowW(L"#32770", caption)) != nullptr; }, 20000, 50),
                  "the console appears");
    if (sheet) {
        const HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        TPT_CHECK_EQ(SendMessageW(sheet, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page), 0), 4);
        RECT r{};
        GetWindowRect(sheet, &r);
        const POINT middle{(r.left + r.right) / 2, r.top + 10};
        DWORD pid = 0;
        GetWindowThreadProcessId(GetAncestor(WindowFromPoint(middle), GA_ROOT), &pid);
        DWORD sheetPid = 0;
        GetWindowThreadProcessId(sheet, &sheetPid);
        TPT_CHECK_MSG(pid == sheetPid, "nothing of Taptest covers the console");
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    }
    TPT_CHECK(tpt::killPrograms({"Tapcon.exe", "Taptest.exe"}, 5000));
    if (t.process) CloseHandle(t.process);

    tpt::group("tapcfg report prints the last check for support");
    std::string out;
    const tpt::RunResult run = tpt::runCapture("\"" + tpt::installPath("Tapcfg.exe") + "\" report", 30000, &out);
    TPT_CHECK(run.finished);
    if (!japanese()) {
        for (const char* line : {"Last touch accuracy check (Taptest, HKCU\\Software\\Korvane Component\\Taptest):",
                                 "tolerance 0.56 % of the diagonal", "top left: dx -4, dy +6 (7.2 px)",
                                 "largest error 7.2 px (0.56 %), mean 7.2 px (0.56 %): recalibrate"})
            TPT_CHECK_MSG(out.find(line) != std::string::npos, std::string(line) + "\n---\n" + out);
    }
}

void drawMode() {
    tpt::group("the trail follows the panel; the corner button clears it");
    Taptest t = start("");
    if (!t.window) return;
    // Along one line: however the moves between are merged, the trail covers (400, 300).
    TPT_CHECK(
        tpt::xdotool("mousemove 300 300 mousedown 1 mousemove 350 300 mousemove 420 300 mousemove 500 300 "
                     "sleep 0.3 mousemove 560 380 sleep 0.3 mouseup 1"));
    TPT_CHECK_MSG(tpt::waitUntil([] { return pixel(400, 300) == kTrail; }, 5000, 50), "the trail is drawn");
    shot("draw", t.rect);
    // Clear, Accuracy check, Close in the top right corner, 150 px wide at 96 DPI.
    const int clearX = t.rect.right - 10 - 3 * 150 - 2 * 8 + 75;
    TPT_CHECK(tpt::xdotool("mousemove " + std::to_string(clearX) + " 28 click 1"));
    TPT_CHECK_MSG(tpt::waitUntil([] { return pixel(400, 300) == kWhite; }, 5000, 50), "Clear wipes the trail");
    TPT_CHECK(!tpt::reg::keyExists(HKEY_CURRENT_USER, check::kRecordKey));
    leaveWithEscape(t);

    tpt::group("the check in this language, with its recalibrate verdict");
    if (auto r = runCheck(t, {8, 8}, "")) {
        expectOffsets(*r, {8, 8});
        TPT_CHECK(r->pass);
    }
    leaveWithEscape(t);
    if (auto r = runCheck(t, {12, -9}, "")) {
        expectOffsets(*r, {12, -9});
        TPT_CHECK(!r->pass);  // 15 px against 12.8 px
    }
    shot("result_fail", t.rect);
    leaveWithEscape(t);
}

void monitorsMode() {
    tpt::group("a command line Taptest does not know shows the usage and ends with 1");
    {
        HANDLE p = tpt::startProgram("\"" + tpt::installPath("Taptest.exe") + "\" /tolerance:0");
        HWND box = nullptr;
        TPT_CHECK(
            tpt::waitUntil([&] { return (box = FindWindowW(L"#32770", L"TouchPanel Test")) != nullptr; }, 15000, 50));
        if (box) PostMessageW(box, WM_COMMAND, IDOK, 0);
        DWORD code = 0;
        TPT_CHECK(p && WaitForSingleObject(p, 10000) == WAIT_OBJECT_0 && GetExitCodeProcess(p, &code));
        TPT_CHECK_EQ(code, 1u);
        if (p) CloseHandle(p);
    }

    const check::Offset none{0, 0};
    tpt::group("with the multi-monitor function on, screen 1 of the settings is tested");
    tpt::reg::setDword(HKEY_LOCAL_MACHINE, kMultiKey, "nComm", 1);
    tpt::reg::setDword(HKEY_LOCAL_MACHINE, kMultiKey, "Resolution1", 0x04000300);
    tpt::reg::setDword(HKEY_LOCAL_MACHINE, kMultiKey, "Resolution2", 0);
    Taptest t;
    if (auto r = runCheck(t, none, "")) {
        TPT_CHECK_EQ(r->screen, 1u);
        TPT_CHECK_EQ(r->monitor.left, 0);
    }
    leaveWithEscape(t);

    tpt::group("a screen the settings place left of the primary, where this desktop has no monitor: the primary");
    tpt::reg::setDword(HKEY_LOCAL_MACHINE, kMultiKey, "OrgResolutionX1", tp::encodeOrigin(-1024));
    tpt::reg::setDword(HKEY_LOCAL_MACHINE, kMultiKey, "Resolution2", 0x04000300);
    if (auto r = runCheck(t, none, "")) {
        TPT_CHECK_EQ(r->screen, 0u);
        TPT_CHECK_EQ(r->monitor.left, 0);
    }
    leaveWithEscape(t);
    forgetRecord();
    t = start("/check /screen:2");
    TPT_CHECK(touchAll(t, {-3, 5}));
    if (auto r = waitRecord()) {
        TPT_CHECK_EQ(r->screen, 2u);
        expectOffsets(*r, {-3, 5});
    }
    leaveWithEscape(t);
}

// The main job's story: one check with a known offset, and its verdict.
void demoMode() {
    Taptest t;
    const auto r = runCheck(t, {6, -4}, "");
    leaveWithEscape(t);
    if (!r) return;
    const check::Summary s = check::summarize(r->offsets, r->monitor, r->tolerance);
    wchar_t largest[16], percent[16];
    check::formatTenths(s.maxMilliPx, largest, 16);
    check::formatHundredths(s.maxHundredths, percent, 16);
    std::printf("Taptest /check on %dx%d, every touch 6 px right and 4 px up of its target:\n",
                static_cast<int>(r->monitor.width), static_cast<int>(r->monitor.height));
    std::printf("  kept offsets:");
    for (const check::Offset& o : r->offsets)
        std::printf(" (%+d, %+d)", static_cast<int>(o.dx), static_cast<int>(o.dy));
    std::printf("\n  largest error %ls px = %ls %% of the diagonal; verdict: %s\n", largest, percent,
                r->pass ? "accurate" : "recalibrate");
    std::string out;
    tpt::runCapture("\"" + tpt::installPath("Tapcfg.exe") + "\" report", 30000, &out);
    const size_t from = out.find("Last touch accuracy check");
    const size_t to = out.find("Monitor layout", from);
    if (from != std::string::npos) std::printf("$ tapcfg report (its part)\n%s", out.substr(from, to - from).c_str());
    std::fflush(stdout);
    TPT_CHECK(r->pass);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!TPT_CHECK_MSG(argc > 1, "usage: wine_taptest check|draw|monitors|demo")) return tpt::finish();
    tpt::group("Taptest.exe is installed beside the suite");
    TPT_CHECK(GetFileAttributesA(tpt::installPath("Taptest.exe").c_str()) != INVALID_FILE_ATTRIBUTES);
    if (mode == "check") checkMode();
    if (mode == "draw") drawMode();
    if (mode == "monitors") monitorsMode();
    if (mode == "demo") demoMode();
    tpt::killPrograms({"Taptest.exe", "Tapcon.exe"}, 5000);
    return tpt::finish();
}
