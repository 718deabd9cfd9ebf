// Tapcon with the multi-monitor driver installed, driven from outside as a
// user would: the seven-page sheet, the layout edited and applied, the touch
// identification against the simulated panel, and the calibration program
// started for a chosen screen. Arguments: the mode, then its own.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "agent_common.h"
#include "console_ids.h"
#include "tpt.h"

namespace {

namespace st = tpsim::st;
namespace req = tp::req;

const std::string kMultiKey = "SYSTEM\\CurrentControlSet\\Services\\QTXTPU\\Parameters";
const std::string kUserKey = "Software\\Korvane Component\\USB";
constexpr int kApplyButton = 0x3021;
constexpr int kCalibrationTab = 4;
constexpr int kMultiTab = 5;

bool japanese() { return GetACP() == 932; }

struct Console {
    HANDLE process = nullptr;
    DWORD pid = 0;
    HWND sheet = nullptr;
};

HWND findWindow(const wchar_t* title, DWORD pid) {
    for (HWND w : tpt::visibleWindowsOf(pid))
        if (tpt::titleOf(w) == title) return w;
    return nullptr;
}

Console startConsole() {
    Console c;
    c.process = tpt::startProgram("\"" + tpt::installPath("Tapcon.exe") + "\"");
    if (!TPT_CHECK_MSG(c.process != nullptr, "Tapcon.exe starts")) return c;
    c.pid = GetProcessId(c.process);
    const wchar_t* caption = japanese() ? L"タッチパネルの設定" : L"Touch Panel Settings";
    TPT_CHECK_MSG(tpt::waitUntil([&] { return (c.sheet = findWindow(caption, c.pid)) != nullptr; }, 20000, 50),
                  "the sheet appears");
    return c;
}

void closeConsole(Console& c) {
    if (c.sheet) PostMessageW(c.sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    TPT_CHECK_MSG(c.process && WaitForSingleObject(c.process, 10000) == WAIT_OBJECT_0, "Cancel ends the console");
    tpt::killPrograms({"Tapcon.exe"}, 5000);
    if (c.process) CloseHandle(c.process);
    c = {};
}

HWND showPage(const Console& c, int index) {
    SendMessageW(c.sheet, PSM_SETCURSEL, index, 0);
    return reinterpret_cast<HWND>(SendMessageW(c.sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

std::wstring text(HWND window) {
    wchar_t buf[512] = {};
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf));
    return buf;
}

std::string narrow(const std::wstring& w) {
    char buf[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, buf, sizeof buf - 1, nullptr, nullptr);
    return buf;
}

// The tab's text lives in the console: read it through memory lent there.
std::wstring tabText(HWND tab, int index, DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return L"";
    auto* remote = static_cast<uint8_t*>(VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    wchar_t buf[128] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = reinterpret_cast<wchar_t*>(remote + 512);
    item.cchTextMax = 127;
    if (remote && WriteProcessMemory(process, remote, &item, sizeof item, nullptr) &&
        SendMessageW(tab, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(remote)))
        ReadProcessMemory(process, remote + 512, buf, sizeof buf - sizeof(wchar_t), nullptr);
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return buf;
}

void choose(HWND page, int id, int index) {
    HWND box = GetDlgItem(page, id);
    SendMessageW(box, CB_SETCURSEL, index, 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
}

void installMultiMonitorDriver(int monitors) {
    tpt::reg::createKey(HKEY_LOCAL_MACHINE, kMultiKey);
    tpt::reg::setDword(HKEY_LOCAL_MACHINE, kMultiKey, "nComm", 1);
    for (int i = 1; i <= 9; ++i)
        tpt::reg::setDword(HKEY_LOCAL_MACHINE, kMultiKey, "Resolution" + std::to_string(i),
                           i <= monitors ? 0x04000300 : 0);
}

// The console's requests and every touch, in the order the simulator saw them.
std::vector<std::string> identificationRun(tpt::Sim& sim, DWORD pid) {
    std::vector<std::string> out;
    char line[64];
    for (const tpsim::LogRecord& r : sim.log()) {
        if (r.kind == tpsim::kLogTouch) {
            std::snprintf(line, sizeof line, "touch %u for %08X", tp::get32(r.in), r.code);
        } else if (r.pid != pid) {
            continue;
        } else if (r.kind == tpsim::kLogRequest) {
            std::snprintf(line, sizeof line, "%s 0x%06X", tpsim::deviceName(r.device), r.code);
            if (r.inStored == 4) std::snprintf(line + std::strlen(line), 16, " %08X", tp::get32(r.in));
        } else {
            std::snprintf(line, sizeof line, "%s %s", tpsim::kindName(r.kind), tpsim::deviceName(r.device));
        }
        out.push_back(line);
    }
    return out;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

// With TP_SHOTS set to a folder, the window as it shows on the screen is
// kept there as NAME.bmp (24-bit) for the documentation.
void shoot(HWND window, const std::string& name) {
    char folder[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("TP_SHOTS", folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(300);
    RECT r{};
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{sizeof info, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    std::vector<uint8_t> pixels(stride * h);
    GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof file + sizeof info + pixels.size()), 0, 0,
                          sizeof file + sizeof info};
    std::ofstream out(tpt::windowsPath(folder) + "\\" + name + ".bmp", std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
    TPT_CHECK_MSG(out.good(), "screenshot " + name);
}

// ---------------------------------------------------------------- scenarios

void edit() {
    tpt::group("a layout edited on the page reaches the registry, the driver and the agent");
    installMultiMonitorDriver(1);
    tpt::Sim sim;
    HANDLE agent = nullptr;
    TPT_CHECK_MSG(agentwine::startAgent("", &agent) != nullptr, "Tapagent starts");
    // The agent's own start-up pushes are not what is looked at here.
    TPT_CHECK(agentwine::waitRequests(sim, req::kSetMonitorLayout, 1, 10000));
    Sleep(500);
    sim.mark();
    Console c = startConsole();
    if (!c.sheet) return;
    HWND page = showPage(c, kMultiTab);
    choose(page, IDC_MULTI_COUNT, 1);
    choose(page, IDC_MULTI_MONITOR, 1);
    HWND res = GetDlgItem(page, IDC_MULTI_RES);
    SendMessageW(res, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1280x1024"));
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_MULTI_RES, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(res));
    SendMessageW(GetDlgItem(page, IDC_MULTI_X), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"-1280"));
    PostMessageW(GetDlgItem(c.sheet, kApplyButton), BM_CLICK, 0, 0);
    TPT_CHECK_MSG(tpt::waitUntil(
                      [&] {
                          for (const auto& r : sim.records(tpsim::kLogRequest, req::kSignalSettingsChanged))
                              if (r.pid == c.pid) return true;
                          return false;
                      },
                      15000, 20),
                  "Apply ends with the settings-changed request");

    std::vector<tpsim::LogRecord> consoleLayouts, agentLayouts, agentOptions;
    for (const auto& r : sim.log()) {
        if (r.kind != tpsim::kLogRequest) continue;
        if (r.code == req::kSetMonitorLayout) (r.pid == c.pid ? consoleLayouts : agentLayouts).push_back(r);
        if (r.code == req::kSetOption && r.pid != c.pid) agentOptions.push_back(r);
    }
    TPT_CHECK_EQ(consoleLayouts.size(), 1u);
    if (!consoleLayouts.empty()) {
        const uint8_t* b = consoleLayouts[0].in;
        const uint32_t want[29] = {0x04000300, 0x05000400, 0, 0, 0, 0, 0, 0, 0,  // sizes
                                   0,          0x10000500, 0, 0, 0, 0, 0, 0, 0,  // left edges
                                   0,          0,          0, 0, 0, 0, 0, 0, 0,  // top edges
                                   1,          0};                               // nComm, DisableMode
        for (int i = 0; i < 29; ++i) TPT_CHECK_EQ(tp::get32(b + 4 * i), want[i]);
    }
    const auto option = tpt::reg::getDword(HKEY_CURRENT_USER, kUserKey, "Option");
    TPT_CHECK(option.has_value());
    TPT_CHECK_MSG(tpt::reg::valueNames(HKEY_CURRENT_USER, kUserKey).size() >= 52, "the user key holds every value");
    TPT_CHECK_MSG(tpt::reg::getDword(HKEY_LOCAL_MACHINE, kMultiKey, "Resolution2") == std::optional<uint32_t>(0),
                  "the console writes nothing under the driver's key");
    // The agent takes the block at once: the option word, then its own measured layout.
    TPT_CHECK(!agentOptions.empty() && option && agentwine::dwordInput(agentOptions[0]) == *option);
    TPT_CHECK(!agentLayouts.empty() && !consoleLayouts.empty() && agentLayouts.back().seq > consoleLayouts[0].seq);
    if (!agentLayouts.empty()) TPT_CHECK_EQ(tp::get32(agentLayouts.back().in), 0x04000300u);
    closeConsole(c);
    tpt::endAgent(5000);
    if (agent) CloseHandle(agent);
}

enum class Ending { Ok, Cancel, TimeOut };

// Waits for screen's dialog with both begin requests in, touches the panel
// (unless port is 0) and ends the dialog as asked.
HWND runScreen(tpt::Sim& sim, const Console& c, int screen, uint32_t port, Ending ending) {
    const uint32_t word = static_cast<uint32_t>(screen - 1) << 28;
    HWND dialog = nullptr;
    const bool open = tpt::waitUntil(
        [&] {
            const tpsim::State s = sim.state();
            dialog = findWindow(L"Tapcon", c.pid);
            return dialog && s[st::kIdentifyPanelActive] && s[st::kIdentifyMultiActive] &&
                   s[st::kIdentifyPanelWord] == word && s[st::kIdentifyMultiWord] == word;
        },
        10000, 20);
    if (!TPT_CHECK_MSG(open, "the dialog of screen " + std::to_string(screen) + " is open")) return nullptr;
    const std::string instruction = narrow(text(GetDlgItem(dialog, IDC_IDENTIFY_TEXT)));
    const std::string named =
        japanese() ? "画面" + std::to_string(screen) + "に" : "screen " + std::to_string(screen) + ",";
    TPT_CHECK_MSG(instruction.find(named) != std::string::npos, instruction);
    RECT r{};
    GetWindowRect(dialog, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    int x = 512 - w / 2;
    const int band = japanese() ? 297 : 273;
    if (x >= band && x <= 327) x = band - 1;
    TPT_CHECK_EQ(r.left, x);
    TPT_CHECK_EQ(r.top, 384 - h / 2);
    TPT_CHECK(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    shoot(dialog, japanese() ? "console_identify_ja" : "console_identify_en");
    if (port) TPT_CHECK(sim.touchPanel(port));
    if (ending != Ending::TimeOut)
        PostMessageW(GetDlgItem(dialog, ending == Ending::Ok ? IDOK : IDC_IDENTIFY_CANCEL), BM_CLICK, 0, 0);
    TPT_CHECK_MSG(tpt::waitUntil([&] { return !IsWindow(dialog); }, ending == Ending::TimeOut ? 15000 : 5000, 20),
                  "the dialog of screen " + std::to_string(screen) + " ends");
    return dialog;
}

std::vector<std::string> expectedRun(const std::vector<uint32_t>& touched, int screens) {
    std::vector<std::string> want = {"open TAPTPU", "open QTXTPUM"};
    char line[64];
    for (int s = 0; s < screens; ++s) {
        const uint32_t word = static_cast<uint32_t>(s) << 28;
        std::snprintf(line, sizeof line, "TAPTPU 0x222068 %08X", word);
        want.push_back(line);
        std::snprintf(line, sizeof line, "QTXTPUM 0x222004 %08X", word);
        want.push_back(line);
        if (s < static_cast<int>(touched.size()) && touched[s]) {
            std::snprintf(line, sizeof line, "touch %u for %08X", touched[s], word);
            want.push_back(line);
        }
        want.insert(want.end(), {"TAPTPU 0x22206C", "QTXTPUM 0x222008"});
    }
    want.insert(want.end(), {"close QTXTPUM", "close TAPTPU"});
    return want;
}

void sheet() {
    tpt::group("seven pages with the multi-monitor driver");
    installMultiMonitorDriver(2);
    Console c = startConsole();
    if (!c.sheet) return;
    const bool ja = japanese();
    const std::vector<std::wstring> titles =
        ja ? std::vector<std::wstring>{L"タッチパネル", L"サウンド設定", L"クリック設定", L"右クリック設定",
                                       L"位置補正",     L"マルチモニタ", L"デバイス"}
           : std::vector<std::wstring>{
                 L"Touch Panel", L"Audible feedback set-up", L"Touch sensitivity set-up", L"Right button simulation",
                 L"Calibration", L"Dual monitor set-up",     L"Driver Information"};
    HWND tab = reinterpret_cast<HWND>(SendMessageW(c.sheet, PSM_GETTABCONTROL, 0, 0));
    TPT_CHECK_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 7);
    for (int i = 0; i < 7; ++i) TPT_CHECK_EQ(narrow(tabText(tab, i, c.pid)), narrow(titles[i]));

    tpt::group("the calibration page lists both screens, the multi-monitor page shows monitor 1");
    HWND calibration = showPage(c, kCalibrationTab);
    TPT_CHECK_EQ(SendDlgItemMessageW(calibration, IDC_CALIB_MONITOR, CB_GETCOUNT, 0, 0), 2);
    TPT_CHECK_EQ(IsDlgButtonChecked(calibration, IDC_CALIB_9), static_cast<UINT>(BST_CHECKED));
    TPT_CHECK_EQ(narrow(text(GetDlgItem(calibration, IDC_CALIB_START))), ja ? "補正を実行する(&N)" : "Calibrate &Now");
    HWND multi = showPage(c, kMultiTab);
    TPT_CHECK_EQ(SendDlgItemMessageW(multi, IDC_MULTI_COUNT, CB_GETCURSEL, 0, 0), 1);
    TPT_CHECK_EQ(SendDlgItemMessageW(multi, IDC_MULTI_RES, CB_GETCOUNT, 0, 0), 8);
    TPT_CHECK_EQ(narrow(text(GetDlgItem(multi, IDC_MULTI_RES))), "1024x768");
    TPT_CHECK_EQ(narrow(text(GetDlgItem(multi, IDC_MULTI_IDENTIFY))),
                 ja ? "タッチパネルの\n接続画面設定(&C)" : "Setting &connection touch panel");
    TPT_CHECK(IsWindowEnabled(GetDlgItem(multi, IDC_MULTI_X)));
    choose(multi, IDC_MULTI_MONITOR, 1);
    choose(multi, IDC_MULTI_MONITOR, 0);
    TPT_CHECK_MSG(!IsWindowEnabled(GetDlgItem(c.sheet, kApplyButton)), "looking at the page leaves Apply disabled");
    const std::string lang = ja ? "_ja" : "_en";
    shoot(c.sheet, "console_multi" + lang);
    showPage(c, kCalibrationTab);
    shoot(c.sheet, "console_calibration" + lang);

    tpt::group("the identification dialog speaks the language and sits in its band");
    tpt::Sim sim;
    sim.mark();
    PostMessageW(GetDlgItem(multi, IDC_MULTI_IDENTIFY), BM_CLICK, 0, 0);
    runScreen(sim, c, 1, 0, Ending::Cancel);

    tpt::group("OK after only looking writes nothing and sends the driver nothing");
    sim.mark();
    PostMessageW(c.sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    TPT_CHECK_MSG(WaitForSingleObject(c.process, 10000) == WAIT_OBJECT_0, "OK ends the console");
    TPT_CHECK_MSG(!tpt::reg::keyExists(HKEY_CURRENT_USER, kUserKey), "no user key written");
    for (uint32_t code : {req::kSetMonitorLayout, req::kSignalSettingsChanged})
        TPT_CHECK_MSG(sim.records(tpsim::kLogRequest, code).empty(), "no request " + std::to_string(code));
    closeConsole(c);
}

void identify() {
    installMultiMonitorDriver(3);
    tpt::Sim sim;
    TPT_CHECK(sim.setPanels(
        {{5, 6, 7, tp::kEmptySlot, tp::kEmptySlot, tp::kEmptySlot, tp::kEmptySlot, tp::kEmptySlot, tp::kEmptySlot}}));
    Console c = startConsole();
    if (!c.sheet) return;
    HWND button = GetDlgItem(showPage(c, kMultiTab), IDC_MULTI_IDENTIFY);

    tpt::group("three screens, a panel touched on each, OK each time");
    sim.mark();
    PostMessageW(button, BM_CLICK, 0, 0);
    const uint32_t ports[] = {7, 5, 6};
    for (int screen = 1; screen <= 3; ++screen) runScreen(sim, c, screen, ports[screen - 1], Ending::Ok);
    TPT_CHECK(sim.waitClosesBalanced(5000));
    TPT_CHECK_EQ(joined(identificationRun(sim, c.pid)), joined(expectedRun({7, 5, 6}, 3)));
    tpsim::State s = sim.state();
    for (int i = 0; i < 9; ++i) TPT_CHECK_EQ(s[st::kIdentified + i], i < 3 ? ports[i] : tpsim::kNoPanel);

    tpt::group("OK without a touch, then Cancel on screen 2: screen 3 is not offered");
    sim.mark();
    PostMessageW(button, BM_CLICK, 0, 0);
    runScreen(sim, c, 1, 0, Ending::Ok);
    runScreen(sim, c, 2, 6, Ending::Cancel);
    TPT_CHECK(sim.waitClosesBalanced(5000));
    TPT_CHECK_EQ(joined(identificationRun(sim, c.pid)), joined(expectedRun({0, 6}, 2)));
    TPT_CHECK_EQ(sim.state()[st::kIdentified + 0], tpsim::kNoPanel);

    tpt::group("ten seconds without activity stop the identification");
    sim.mark();
    const double start = tpt::nowMs();
    PostMessageW(button, BM_CLICK, 0, 0);
    runScreen(sim, c, 1, 5, Ending::TimeOut);
    const double waited = tpt::nowMs() - start;
    TPT_CHECK_MSG(waited >= 9500 && waited < 14000, std::to_string(waited) + " ms");
    TPT_CHECK(sim.waitClosesBalanced(5000));
    Sleep(300);
    TPT_CHECK_EQ(joined(identificationRun(sim, c.pid)), joined(expectedRun({5}, 1)));
    closeConsole(c);
}

std::vector<std::string> lines(const std::string& path) {
    std::vector<std::string> out;
    std::ifstream in(path);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        out.push_back(l);
    }
    return out;
}

void calibrate(const std::string& stubPath) {
    tpt::group("the start button runs the calibration program for the chosen screen");
    installMultiMonitorDriver(2);
    const std::string program = tpt::installPath("Tapcal.exe");
    const std::string record = tpt::installPath("Tapcal.log");
    DeleteFileA(record.c_str());
    if (!TPT_CHECK(CopyFileA(tpt::windowsPath(stubPath).c_str(), program.c_str(), FALSE))) return;
    Console c = startConsole();
    if (c.sheet) {
        HWND page = showPage(c, kCalibrationTab);
        for (int screen : {0, 1}) {
            SendDlgItemMessageW(page, IDC_CALIB_MONITOR, CB_SETCURSEL, screen, 0);
            SendMessageW(GetDlgItem(page, IDC_CALIB_START), BM_CLICK, 0, 0);
            TPT_CHECK(
                tpt::waitUntil([&] { return lines(record).size() == static_cast<size_t>(screen) + 1; }, 10000, 50));
        }
        tpt::group("a changed point count blocks the program with the message until applied");
        PostMessageW(GetDlgItem(page, IDC_CALIB_12), BM_CLICK, 0, 0);
        PostMessageW(GetDlgItem(page, IDC_CALIB_START), BM_CLICK, 0, 0);
        HWND box = nullptr;
        TPT_CHECK(tpt::waitUntil(
            [&] { return (box = findWindow(japanese() ? L"補正" : L"Calibration", c.pid)) != nullptr; }, 10000, 20));
        TPT_CHECK_EQ(narrow(text(GetDlgItem(box, 0xFFFF))),
                     japanese() ? "補正の設定が変更されています。設定の更新を行ってから実行してください。"
                                : "The setup of calibration is changed. Please calibrate after apply of the setup.");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        TPT_CHECK(tpt::waitUntil([&] { return !IsWindow(box); }, 5000, 20));
        PostMessageW(GetDlgItem(c.sheet, kApplyButton), BM_CLICK, 0, 0);
        TPT_CHECK(tpt::waitUntil(
            [&] { return tpt::reg::getDword(HKEY_CURRENT_USER, kUserKey, "Option").value_or(0) & 0x08; }, 10000, 50));
        // Sent, so it waits until Apply has let go of the console's thread.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(GetDlgItem(page, IDC_CALIB_START), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &ignored);
        TPT_CHECK(tpt::waitUntil([&] { return lines(record).size() == 3; }, 10000, 50));
        const std::vector<std::string> want = {"\"" + program + "\"", "\"" + program + "\" 2", "\"" + program + "\" 2"};
        TPT_CHECK_EQ(joined(lines(record)), joined(want));
        closeConsole(c);
    }
    DeleteFileA(program.c_str());
    DeleteFileA(record.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "sheet")
        sheet();
    else if (mode == "edit")
        edit();
    else if (mode == "identify")
        identify();
    else if (mode == "calibrate" && argc > 2)
        calibrate(argv[2]);
    else
        TPT_CHECK_MSG(false, "mode sheet, edit, identify or calibrate STUB");
    return tpt::finish();
}
