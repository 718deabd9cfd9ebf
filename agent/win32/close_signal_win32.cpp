// The close signal's watch thread and the Win32 calls behind its port.
#include <windows.h>

#include <sddl.h>

#include "close_signal.h"
#include "close_signal_win32.h"

namespace tp::agent {

namespace {

class Win32CloseSignal : public CloseSignalPort {
public:
    uintptr_t openEvent(const char* name) override {
        return reinterpret_cast<uintptr_t>(OpenEventA(SYNCHRONIZE, FALSE, name));
    }
    uintptr_t createEvent(const char* name, const char* sddl) override {
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                                  &attributes.lpSecurityDescriptor, nullptr))
            return 0;
        HANDLE event = CreateEventA(&attributes, TRUE, FALSE, name);
        LocalFree(attributes.lpSecurityDescriptor);
        return reinterpret_cast<uintptr_t>(event);
    }
    bool waitForEvent(uintptr_t event) override {
        return WaitForSingleObject(reinterpret_cast<HANDLE>(event), INFINITE) == WAIT_OBJECT_0;
    }
    void sendMessage(uintptr_t window, uint32_t message) override {
        SendMessageA(reinterpret_cast<HWND>(window), message, 0, 0);
    }
};

Win32CloseSignal closeSignal;

struct Watch {
    HANDLE event;
    HWND window;
};
Watch watch;

DWORD WINAPI CloseSignalThread(LPVOID) {
    WatchCloseSignal(closeSignal, reinterpret_cast<uintptr_t>(watch.event), reinterpret_cast<uintptr_t>(watch.window));
    return 0;
}

bool RunsOnNt6() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6;
}

}  // namespace

// The thread lives as long as the process: it holds no lock and no
// resource that the end of the process would leave behind.
void StartCloseSignalWatch(HWND mainWindow) {
    watch.window = mainWindow;
    watch.event = reinterpret_cast<HANDLE>(OpenCloseSignal(closeSignal, RunsOnNt6()));
    if (!watch.event) return;
    HANDLE thread = CreateThread(nullptr, 0, CloseSignalThread, nullptr, 0, nullptr);
    if (thread) CloseHandle(thread);
}

}  // namespace tp::agent
