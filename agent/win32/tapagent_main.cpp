// Tapagent.exe: WinMain and the main window procedure. Both only decode and
// call the core; what happens is in main_window.cpp and driver_config.cpp.
#include <cstring>

#include "agent_win32.h"
#include "main_window.h"
#include "win32_ports.h"

namespace tp::agent {

namespace {

Win32Registry registry;
Win32Driver driver;
Win32Sleep sleeper;
Win32Display display;
Win32Windows windows;
Win32Tray tray;
Win32Libraries libraries;
Win32Locks locks;
Agent agent{{}, {registry, driver, sleeper, display, windows, tray, libraries, locks}};

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (message == WM_COPYDATA && lParam) {
        const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        data = static_cast<const uint8_t*>(copy->lpData);
        size = copy->cbData;
    }
    if (HandleMainWindowMessage(agent, message, wParam, lParam, data, size)) return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

Agent& TheAgent() { return agent; }

HINSTANCE ModuleInstance() { return reinterpret_cast<HINSTANCE>(agent.state.moduleInstance.get()); }

}  // namespace tp::agent

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    using namespace tp::agent;
    Agent& a = TheAgent();
    a.state.moduleInstance.set(reinterpret_cast<uintptr_t>(instance));
    ConnectWorkerPorts(a.ports);

    if (HANDLE running = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kMutexName)) {
        CloseHandle(running);
        return 0;
    }
    if (IsRunOnceCommandLine(commandLine)) a.state.runOnce.set(1);
    a.state.instanceMutex.set(reinterpret_cast<uintptr_t>(CreateMutexA(nullptr, FALSE, kMutexName)));

    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(&version)) {
        const OsFlags os = OsFlagsFromVersion(version.dwPlatformId, version.dwMajorVersion);
        a.state.osNt5.set(os.nt5);
        a.state.osNt6.set(os.nt6);
    }

    ApplyStoredSettings(a);

    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassA(&wc)) {
        if (const uintptr_t mutex = a.state.instanceMutex.exchange(0))
            a.ports.locks.releaseInstanceMutex(mutex);
        return 0;
    }

    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClass, kWindowName, WS_POPUP, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    a.state.mainWindow.set(reinterpret_cast<uintptr_t>(window));
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    PostMessageA(window, AGM_APPLY_SETTINGS, 0, 0);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
