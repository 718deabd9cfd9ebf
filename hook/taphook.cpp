// taphook.dll: the thin Win32 shell around hook_logic.h. Built without the C
// and C++ runtime and with its own entry point, because Windows maps it into
// every process that receives keyboard input.
#include <windows.h>

#include "hook_logic.h"
#include "taphook.h"

namespace {

// One instance for all processes (IMAGE_SCN_MEM_SHARED); zero at load. The
// explicit alignment keeps x64 from padding the section beyond 20 bytes.
__attribute__((section(".shared"), shared, aligned(4))) tp::hook::SharedData shared = {};

// Per process.
tp::hook::ProcessKeys keys;
HINSTANCE ownInstance;
uint32_t ownHook;  // the hook this process installed, if any

// The shared fields are 32 bits on x64 too. A hook handle is a USER handle,
// whose upper half carries no information (the rule that lets 32- and 64-bit
// processes share them), so it is truncated here and sign-extended back. A
// module instance is an address and may not fit: the shared copy is kept only
// as a record, and the hook is installed with this process's own instance.
uint32_t hookValue(HHOOK hook) { return HandleToUlong(hook); }
HHOOK hookOf(uint32_t value) { return static_cast<HHOOK>(LongToHandle(static_cast<LONG>(value))); }

LRESULT CALLBACK keyboardProc(int code, WPARAM wParam, LPARAM lParam);

struct Win32Hook {
    tp::DeviceHandle open(const char* path) {
        HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        return h == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<tp::DeviceHandle>(h);
    }
    bool control(tp::DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize) {
        DWORD returned = 0;  // required without OVERLAPPED, never examined
        return DeviceIoControl(reinterpret_cast<HANDLE>(device), code, const_cast<void*>(in), inSize, out, outSize,
                               &returned, nullptr) != FALSE;
    }
    void close(tp::DeviceHandle device) { CloseHandle(reinterpret_cast<HANDLE>(device)); }
    uintptr_t findWindow(const char* windowClass, const char* name) {
        return reinterpret_cast<uintptr_t>(FindWindowA(windowClass, name));
    }
    bool postMessage(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
        return PostMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam) != FALSE;
    }
    uint32_t setWindowsHook() { return hookValue(SetWindowsHookExA(WH_KEYBOARD, keyboardProc, ownInstance, 0)); }
    bool unhookWindowsHook(uint32_t hook) { return UnhookWindowsHookEx(hookOf(hook)) != FALSE; }
    void sleep(uint32_t ms) { Sleep(ms); }
    // Windows XP has it (as ProcessIdToSessionId): imported directly.
    uint32_t activeConsoleSession() { return WTSGetActiveConsoleSessionId(); }
};

LRESULT CALLBACK keyboardProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        Win32Hook platform;
        tp::hook::onKeyMessage(shared, keys, static_cast<uint32_t>(lParam), platform);
    }
    return CallNextHookEx(hookOf(tp::hook::load(shared.hook)), code, wParam, lParam);
}

}  // namespace

extern "C" {

int WINAPI TAPHOOK_SetHook(void) {
    Win32Hook platform;
    return tp::hook::setHook(shared, ownHook, platform);
}

int WINAPI TAPHOOK_UnSetHook(void) {
    Win32Hook platform;
    return tp::hook::unsetHook(shared, ownHook, platform);
}

int WINAPI TAPHOOK_SetOnHook(DWORD) { return tp::hook::setOnHook(shared); }

int WINAPI TAPHOOK_SetOptionData(DWORD option) { return tp::hook::setOptionData(shared, option); }

// The entry point itself (no runtime start-up code runs before it).
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        ownInstance = instance;
        tp::hook::processAttach(shared, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(instance)));
        DWORD session = 0;
        const bool known = ProcessIdToSessionId(GetCurrentProcessId(), &session) != FALSE;
        tp::hook::processSession(keys, known, session);
        // Every thread of every hooked process would call in otherwise.
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

}  // extern "C"
