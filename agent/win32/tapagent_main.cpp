// Tapagent.exe: WinMain and the main window procedure. Both only decode and
// call the core; what happens is in main_window.cpp and driver_config.cpp.
#include <cstring>

#include "agent_win32.h"
#include "close_signal_win32.h"
#include "announcer.h"
#include "main_window.h"
#include "win32_ports.h"

namespace tp::agent {

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

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

}  // namespace

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

Agent& TheAgent() { return agent; }

HINSTANCE ModuleInstance() { return reinterpret_cast<HINSTANCE>(agent.state.moduleInstance.get()); }

}  // namespace tp::agent

namespace {

class Win32Start : public tp::agent::StartPort {
public:
    explicit Win32Start(HINSTANCE instance) : instance_(instance) {}

    bool instanceRunning(const char* name) override {
        HANDLE running = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name);
        if (!running) return false;
        CloseHandle(running);
        return true;
    }
    tp::agent::KernelHandle createInstanceMutex(const char* name, bool* existed) override {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
        *existed = mutex && GetLastError() == ERROR_ALREADY_EXISTS;
        return reinterpret_cast<uintptr_t>(mutex);
    }
    bool osVersion(uint32_t* platformId, uint32_t* majorVersion) override {
        OSVERSIONINFOA version;
        std::memset(&version, 0, sizeof version);
        version.dwOSVersionInfoSize = sizeof version;
        if (!GetVersionExA(&version)) return false;
        *platformId = version.dwPlatformId;
        *majorVersion = version.dwMajorVersion;
        return true;
    }
    uint32_t registerWindowMessage(const char* name) override { return RegisterWindowMessageA(name); }
    void allowMessageFromLowerIntegrity(uint32_t message) override {
        using ChangeWindowMessageFilterFn = BOOL(WINAPI*)(UINT, DWORD);
        constexpr DWORD kMsgFltAdd = 1;
        if (HMODULE user = GetModuleHandleA("user32.dll"))
            if (auto fn = reinterpret_cast<ChangeWindowMessageFilterFn>(
                    reinterpret_cast<void*>(GetProcAddress(user, "ChangeWindowMessageFilter"))))
                fn(message, kMsgFltAdd);
    }
    bool registerWindowClass() override {
        WNDCLASSA wc;
        std::memset(&wc, 0, sizeof wc);
        wc.lpfnWndProc = tp::agent::MainWindowProc;
        wc.hInstance = instance_;
        wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = tp::agent::kWindowClass;
        return RegisterClassA(&wc) != 0;
    }
    tp::agent::WindowHandle createMainWindow() override {
        HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, tp::agent::kWindowClass, tp::agent::kWindowName, WS_POPUP,
                                      CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance_, nullptr);
        if (!window) return 0;
        ShowWindow(window, SW_HIDE);
        UpdateWindow(window);
        return reinterpret_cast<uintptr_t>(window);
    }

private:
    HINSTANCE instance_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    using namespace tp::agent;
    Agent& a = TheAgent();
    a.state.moduleInstance.set(reinterpret_cast<uintptr_t>(instance));
    ConnectWorkerPorts(a.ports);

    Win32Start start(instance);
    if (!StartAgent(a, start, commandLine)) return 0;
    StartCloseSignalWatch(reinterpret_cast<HWND>(a.state.mainWindow.get()));

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    // Process exit would cut a broadcast short: later windows would never hear it.
    tp::finishAnnouncements(tp::kAnnounceFinishMs);
    return static_cast<int>(msg.wParam);
}
