#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <type_traits>

#include "announcer.h"

#include "win32_ports.h"

namespace tp {

void Win32Sleep::sleep(uint32_t ms) { Sleep(ms); }

bool installPath(const char* tail, char (&out)[260]) {
    std::memset(out, 0, sizeof out);
    if (!SHGetSpecialFolderPathA(nullptr, out, CSIDL_PROGRAM_FILES, FALSE)) {
        out[0] = '\0';
        return false;
    }
    const size_t have = std::strlen(out);
    const size_t add = std::strlen(tail);
    if (have + add >= sizeof out) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out + have, tail, add + 1);
    return true;
}

namespace {

// How long the announcing thread gives each window that is not hung.
constexpr UINT kAnnounceTimeoutMs = 5000;

DWORD WINAPI announceThread(void* announcer) {
    static_cast<Announcer*>(announcer)->run();
    return 0;
}

// The lock and the event live until the process ends: the thread may still
// run when WinMain has returned after a bounded wait.
class Win32Announce : public AnnouncePort {
public:
    Win32Announce() : idle_(CreateEventA(nullptr, TRUE, TRUE, nullptr)) { InitializeCriticalSection(&lock_); }
    void lock() override { EnterCriticalSection(&lock_); }
    void unlock() override { LeaveCriticalSection(&lock_); }
    bool startThread(Announcer& announcer) override {
        HANDLE thread = CreateThread(nullptr, 0, announceThread, &announcer, 0, nullptr);
        if (!thread) return false;
        CloseHandle(thread);
        return true;
    }
    void broadcast(uint32_t action) override {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, action, 0, SMTO_ABORTIFHUNG, kAnnounceTimeoutMs, &result);
    }
    void setIdle(bool idle) override {
        if (idle)
            SetEvent(idle_);
        else
            ResetEvent(idle_);
    }
    bool waitIdle(uint32_t timeoutMs) override {
        if (!idle_) return false;
        const DWORD start = GetTickCount();
        for (;;) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= timeoutMs) return false;
            const DWORD woke = MsgWaitForMultipleObjects(1, &idle_, FALSE, timeoutMs - spent, QS_ALLINPUT);
            if (woke == WAIT_OBJECT_0) return true;
            if (woke != WAIT_OBJECT_0 + 1) return false;
            // The broadcast may be waiting on this thread's own windows.
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }

private:
    CRITICAL_SECTION lock_;
    HANDLE idle_;
};
static_assert(std::is_trivially_destructible_v<Win32Announce>, "the lock must outlive the thread");

// At namespace scope: a function's own static would bring in the C++
// runtime's guarded initialisation, and with it its terminate handler.
Win32Announce announcePort;
Announcer announcer(announcePort);

Announcer& theAnnouncer() { return announcer; }

}  // namespace

void announceSettingChange(uint32_t action) { theAnnouncer().request(action); }

bool finishAnnouncements(uint32_t timeoutMs) { return theAnnouncer().finish(timeoutMs); }

}  // namespace tp
