// The main job's story on a fresh prefix: the previous build of the x64
// package installed silently, a logon starting the agent through Tapstart,
// this build installed over it with the agent coming back, the console opened
// from the Start-menu shortcut's target (when the package carries it),
// screenshots, touches through the simulated panel and what the driver saw,
// a repair over the running agent bringing it back again, then the removal
// and what is left. ARGS: the package, the screenshot folder, the previous
// build's package.
#include <cstdio>

#include "driver_protocol.h"
#include "msi_common.h"
#include "settings.h"

namespace {

using namespace msiwine;

void say(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

// The virtual desktop as a 24-bit BMP (converted to PNG by the caller).
bool screenshot(const std::string& file) {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    std::vector<char> pixels(stride * h);
    GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER head{};
    head.bfType = 0x4D42;
    head.bfOffBits = sizeof head + sizeof info;
    head.bfSize = head.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) return false;
    std::fwrite(&head, sizeof head, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    return std::fclose(out) == 0;
}

std::string shortcutPath() {
    for (const std::string& folder : menuFolders())
        if (fileExists(folder + "\\TouchPanel Setting.lnk")) return folder + "\\TouchPanel Setting.lnk";
    return "";
}

void openConsole(const std::string& shots) {
    const std::string link = shortcutPath();
    const Link target = readLink(link);
    say("== the Start-menu shortcut " + link + " opens " + target.target);
    if (!fileExists(target.target)) {
        say("   " + target.target + " is not in this package (the console is built elsewhere): not opened");
        return;
    }
    PROCESS_INFORMATION pi{};
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string command = "\"" + target.target + "\" " + target.arguments;
    if (!TPT_CHECK(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)))
        return;
    HWND window = nullptr;
    TPT_CHECK(tpt::waitUntil(
        [&] {
            const std::vector<HWND> shown = tpt::visibleWindowsOf(pi.dwProcessId);
            window = shown.empty() ? nullptr : shown.front();
            return window != nullptr;
        },
        20000, 50));
    Sleep(1500);  // drawn
    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    say(std::string("   the console's window: \"") + title + "\"");
    TPT_CHECK(screenshot(shots + "\\3-console.bmp"));
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}

void touch(tpt::Sim& sim, const char* what, uint32_t word) {
    say(std::string("   touch: ") + what);
    const size_t reads = sim.records(tpsim::kLogRequest, tp::req::kReadPanelEvent).size();
    TPT_CHECK(sim.injectEvent(word));
    TPT_CHECK(tpt::waitUntil([&] { return sim.records(tpsim::kLogRequest, tp::req::kReadPanelEvent).size() > reads; },
                             5000, 20));
    Sleep(300);
}

std::string products() {
    std::vector<std::string> list;
    for (const Product& p : installedProducts()) list.push_back(p.code + " version " + p.version);
    return join(list);
}

// msiexec over the running agent, which must come back as a new process.
DWORD installOverTheAgent(const std::string& what, const std::string& arguments, DWORD oldPid) {
    say("== " + what + " with the agent running (msiexec " + arguments + ")");
    TPT_CHECK_EQ(msiexec(arguments), 0L);
    TPT_CHECK(waitProcessGone(oldPid, 10000));
    const DWORD pid = waitNewAgent(oldPid, 20000);
    TPT_CHECK_MSG(pid != 0, "the agent did not come back");
    say("   installed: " + products());
    say("   the agent is back: Tapagent.exe pid " + std::to_string(oldPid) + " ended, pid " + std::to_string(pid) +
        " runs " + processImage(pid));
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    Packages p;
    p.current = argc > 1 ? tpt::windowsPath(argv[1]) : "";
    const std::string shots = argc > 2 ? tpt::windowsPath(argv[2]) : ".";
    p.older = argc > 3 ? tpt::windowsPath(argv[3]) : p.current;
    tpt::group("the user's story");
    tpt::Sim sim;

    say("== install the previous build " + p.older + " silently (msiexec /i /qn)");
    TPT_CHECK(removeInstalled());
    TPT_CHECK_EQ(msiexec("/i \"" + p.older + "\" /qn"), 0L);
    say("   installed: " + products());
    for (const std::string& f : packedFiles())
        say("   " + tpt::installPath(f) + (fileExists(tpt::installPath(f)) ? "" : "  MISSING"));
    say("   HKLM Run TAPSTART = " + tpt::reg::getString(HKEY_LOCAL_MACHINE, kRunKey, "TAPSTART").value_or("(missing)"));
    say("   HKLM RunOnce TAPPORTCHK = " +
        tpt::reg::getString(HKEY_LOCAL_MACHINE, kRunOnceKey, "TAPPORTCHK").value_or("(missing)"));
    say("   shortcut: " + shortcutPath());

    // What the user would pick on the console's right-click page, so that the
    // agent shows itself on the screenshots.
    const uint32_t option = tp::def::kOption | tp::opt::kTrayIcon | tp::opt::kFloatingIcon;
    say("== the user's choice: tray icon and floating icon (Option " + tpt::show(option) + ")");
    TPT_CHECK(tpt::reg::setDword(HKEY_CURRENT_USER, kUserKey, tp::val::kOption, option));

    say("== logon (wineboot runs HKLM Run and RunOnce): Tapstart starts the agent");
    sim.mark();
    TPT_CHECK(logon());
    DWORD pid = 0;
    TPT_CHECK(tpt::waitUntil([&] { return agentWindow(&pid) != nullptr; }, 20000, 20));
    TPT_CHECK(tpt::waitUntil([&] { return !sim.records(tpsim::kLogRequest, tp::req::kRegisterPanelEvent).empty(); },
                             10000, 20));
    Sleep(2000);  // start-up over, tray icon shown
    say("   Tapagent.exe runs as pid " + std::to_string(pid));
    TPT_CHECK(screenshot(shots + "\\1-after-logon.bmp"));

    pid = installOverTheAgent("upgrade to " + p.current, "/i \"" + p.current + "\" /qn", pid);
    TPT_CHECK_EQ(installedProducts().size(), 1u);
    sim.mark();
    TPT_CHECK(tpt::waitUntil([&] { return !sim.records(tpsim::kLogRequest, tp::req::kRegisterPanelEvent).empty(); },
                             10000, 20));
    Sleep(2000);
    TPT_CHECK(screenshot(shots + "\\2-after-upgrade.bmp"));

    openConsole(shots);

    const uint64_t frequency = sim.state().frequency();
    const auto startup = sim.log();
    say("== what the driver received from the agent at start-up");
    for (const auto& r : startup)
        if (r.kind == tpsim::kLogRequest) say(tpsim::formatReadable(r, frequency, startup.front().ticks));

    say("== touches through the simulated panel");
    sim.mark();
    PostMessageA(agentWindow(), 0x500, 0, WM_LBUTTONUP);  // the tray icon's click arms the secondary button
    touch(sim, "touch on monitor 1", tp::encodePanelEvent(0, tp::kEventTouch));
    touch(sim, "release of the secondary-button touch", tp::encodePanelEvent(0, tp::kEventSecondaryRelease));
    TPT_CHECK(tpt::waitUntil([&] { return !sim.records(tpsim::kLogRequest, tp::req::kButtonPrimary).empty(); }, 3000));
    TPT_CHECK(screenshot(shots + "\\4-touched.bmp"));
    const auto log = sim.log();
    say("== what the driver saw of the touches");
    for (const auto& r : log) say(tpsim::formatReadable(r, frequency, log.empty() ? 0 : log.front().ticks));

    pid = installOverTheAgent("repair", "/i \"" + p.current + "\" REINSTALL=ALL REINSTALLMODE=omus /qn", pid);

    say("== uninstall silently (msiexec /x /qn) with the agent running");
    TPT_CHECK_EQ(msiexec("/x \"" + p.current + "\" /qn"), 0L);
    TPT_CHECK(waitProcessGone(pid, 10000));
    Sleep(1000);  // nothing starts it again
    say("   agent running: " + std::string(agentProcesses().empty() ? "no" : "yes"));
    TPT_CHECK(agentProcesses().empty());
    const std::string left = join(leftovers());
    say("   left of the package: " + left);
    TPT_CHECK_EQ(left, std::string("(nothing)"));
    say("   the user's own settings stay: HKCU\\" + kUserKey +
        (tpt::reg::keyExists(HKEY_CURRENT_USER, kUserKey) ? " is there" : " is gone"));
    return tpt::finish();
}
