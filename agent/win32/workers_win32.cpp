// The worker side's Win32 calls: threads and events, sounds, cursors, and
// the floating window's dialog procedure. A few lines each; the behaviour is
// in the portable code.
#include <type_traits>

#include "agent_win32.h"
#include "cursor.h"
#include "floating_window.h"
#include "sound.h"
#include "worker_threads.h"

namespace tp::agent {

static_assert(std::is_same_v<ThreadEntry, LPTHREAD_START_ROUTINE>);
static_assert(beep::kOk == MB_OK && beep::kIconHand == MB_ICONHAND && beep::kIconQuestion == MB_ICONQUESTION &&
              beep::kIconExclamation == MB_ICONEXCLAMATION && beep::kIconAsterisk == MB_ICONASTERISK);
static_assert(kHiddenCursorIds[0] == 32512 && kHiddenCursorIds[15] == 32651);

namespace {

HANDLE handle(KernelHandle h) { return reinterpret_cast<HANDLE>(h); }
KernelHandle kernel(HANDLE h) { return reinterpret_cast<KernelHandle>(h); }

class Win32Threads : public ThreadPort {
public:
    KernelHandle createThread(ThreadEntry entry, void* parameter) override {
        DWORD id = 0;
        return kernel(CreateThread(nullptr, 0, entry, parameter, CREATE_SUSPENDED, &id));
    }
    void setThreadPriority(KernelHandle thread, int priority) override { SetThreadPriority(handle(thread), priority); }
    void resumeThread(KernelHandle thread) override { ResumeThread(handle(thread)); }
    KernelHandle createEvent() override { return kernel(CreateEventA(nullptr, TRUE, FALSE, nullptr)); }
    void setEvent(KernelHandle event) override { SetEvent(handle(event)); }
    void resetEvent(KernelHandle event) override { ResetEvent(handle(event)); }
    void waitForEvent(KernelHandle event) override { WaitForSingleObject(handle(event), INFINITE); }
    bool waitForEventTimeout(KernelHandle event, uint32_t timeoutMs) override {
        return WaitForSingleObject(handle(event), timeoutMs) == WAIT_OBJECT_0;
    }
    void closeHandle(KernelHandle h) override { CloseHandle(handle(h)); }
};

class Win32Sound : public SoundPort {
public:
    void beep(uint32_t frequency, uint32_t duration) override { Beep(frequency, duration); }
    void messageBeep(uint32_t type) override { MessageBeep(type); }
};

class Win32Cursors : public CursorPort {
public:
    CursorHandle loadCursor(int id) override {
        return reinterpret_cast<CursorHandle>(LoadCursorA(ModuleInstance(), MAKEINTRESOURCEA(id)));
    }
    CursorHandle copyCursor(CursorHandle cursor) override {
        return reinterpret_cast<CursorHandle>(CopyIcon(reinterpret_cast<HICON>(cursor)));
    }
    bool setSystemCursor(CursorHandle cursor, uint32_t id) override {
        return SetSystemCursor(reinterpret_cast<HCURSOR>(cursor), id) != FALSE;
    }
    void destroyCursor(CursorHandle cursor) override { DestroyCursor(reinterpret_cast<HCURSOR>(cursor)); }
};

class Win32Floating : public FloatingWindowPort {
public:
    bool windowRect(WindowHandle window, Rect* rect) override { return rectOf(reinterpret_cast<HWND>(window), rect); }
    bool controlRect(WindowHandle dialog, int id, Rect* rect) override {
        HWND control = GetDlgItem(reinterpret_cast<HWND>(dialog), id);
        return control && rectOf(control, rect);
    }
    bool cursorPos(int32_t* x, int32_t* y) override {
        POINT p;
        if (!GetCursorPos(&p)) return false;
        *x = p.x;
        *y = p.y;
        return true;
    }
    IconHandle setControlIcon(WindowHandle dialog, int id, IconHandle icon) override {
        return static_cast<IconHandle>(
            SendDlgItemMessageA(reinterpret_cast<HWND>(dialog), id, STM_SETICON, static_cast<WPARAM>(icon), 0));
    }
    bool placeTopmost(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height) override {
        // Not activated: the window must not take the focus from the user's application.
        return SetWindowPos(reinterpret_cast<HWND>(window), HWND_TOPMOST, x, y, width, height,
                            SWP_SHOWWINDOW | SWP_NOACTIVATE) != FALSE;
    }
    void destroyIcon(IconHandle icon) override { DestroyIcon(reinterpret_cast<HICON>(icon)); }

private:
    static bool rectOf(HWND window, Rect* rect) {
        RECT r;
        if (!GetWindowRect(window, &r)) return false;
        *rect = {r.left, r.top, r.right, r.bottom};
        return true;
    }
};

Win32Threads threads;
Win32Sound sound;
Win32Cursors cursors;

}  // namespace

void ConnectWorkerPorts(AgentPorts& ports) {
    ports.threads = &threads;
    ports.sound = &sound;
    ports.cursor = &cursors;
}

}  // namespace tp::agent

INT_PTR CALLBACK FloatingIconWindowProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    tp::agent::Win32Floating port;
    tp::agent::HandleFloatingWindowMessage(tp::agent::TheAgent(), port,
                                           reinterpret_cast<tp::agent::WindowHandle>(dialog), message);
    return FALSE;
}
