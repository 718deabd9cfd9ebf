// The Win32 calls behind the core's ports, a few lines each.
#include "agent_win32.h"

#include <shellapi.h>

#include <cstring>
#include <type_traits>

#include "floating_window.h"
#include "win32_ports.h"

namespace tp::agent {

namespace {

HWND hwnd(WindowHandle w) { return reinterpret_cast<HWND>(w); }

struct EnumContext {
    MonitorVisitor* visitor;
};

BOOL CALLBACK visitMonitor(HMONITOR monitor, HDC, LPRECT rect, LPARAM context) {
    const Rect r{rect->left, rect->top, rect->right, rect->bottom};
    return reinterpret_cast<EnumContext*>(context)->visitor->visit(reinterpret_cast<MonitorHandle>(monitor), r) ? TRUE
                                                                                                                : FALSE;
}

}  // namespace

// ---------------------------------------------------------------- display

int Win32Display::getSystemMetrics(int index) { return GetSystemMetrics(index); }

bool Win32Display::systemParametersInfo(uint32_t action, uint32_t param, uint32_t winIni) {
    return SystemParametersInfoA(action, param, nullptr, winIni) != FALSE;
}

bool Win32Display::currentDisplayOrientation(uint32_t* orientation) {
    DEVMODEA mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return false;
    *orientation = mode.dmDisplayOrientation;
    return true;
}

void Win32Display::enumDisplayMonitors(MonitorVisitor& visitor) {
    EnumContext context{&visitor};
    EnumDisplayMonitors(nullptr, nullptr, visitMonitor, reinterpret_cast<LPARAM>(&context));
}

bool Win32Display::getMonitorInfo(MonitorHandle monitor) {
    MONITORINFOEXA info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    return GetMonitorInfoA(reinterpret_cast<HMONITOR>(monitor), &info) != FALSE;
}

int Win32Display::messageBox(WindowHandle owner, const char* text, const char* caption, uint32_t type) {
    return MessageBoxA(hwnd(owner), text, caption, type);
}

// ---------------------------------------------------------------- windows

bool Win32Windows::postMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return PostMessageA(hwnd(window), message, wParam, lParam) != FALSE;
}

intptr_t Win32Windows::sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return SendMessageA(hwnd(window), message, wParam, lParam);
}

void Win32Windows::announceSettingChange(uint32_t action) { tp::announceSettingChange(action); }

bool Win32Windows::showWindow(WindowHandle window, int command) { return ShowWindow(hwnd(window), command) != FALSE; }

bool Win32Windows::destroyWindow(WindowHandle window) { return DestroyWindow(hwnd(window)) != FALSE; }

WindowHandle Win32Windows::createFloatingWindow() {
    return reinterpret_cast<WindowHandle>(
        CreateDialogParamA(ModuleInstance(), MAKEINTRESOURCEA(kDialogFloating), nullptr, FloatingIconWindowProc, 0));
}

IconHandle Win32Windows::loadIcon(int id, int size) {
    return reinterpret_cast<IconHandle>(LoadImageA(ModuleInstance(), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
}

void Win32Windows::postQuitMessage(int exitCode) { PostQuitMessage(exitCode); }

// ---------------------------------------------------------------- tray

bool Win32Tray::shellNotifyIcon(uint32_t operation, const TrayIconData& data) {
    NOTIFYICONDATAA nid;
    std::memset(&nid, 0, sizeof nid);
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;  // the first version: 88 bytes on 32-bit Windows
    nid.hWnd = hwnd(data.window);
    nid.uID = data.id;
    nid.uFlags = data.flags;
    nid.uCallbackMessage = data.callbackMessage;
    nid.hIcon = reinterpret_cast<HICON>(data.icon);
    static_assert(sizeof data.tip == 64);
    std::memcpy(nid.szTip, data.tip, sizeof data.tip);
    nid.szTip[sizeof data.tip - 1] = '\0';
    return Shell_NotifyIconA(operation, &nid) != FALSE;
}

void Win32Tray::destroyIcon(IconHandle icon) { DestroyIcon(reinterpret_cast<HICON>(icon)); }

// ---------------------------------------------------------------- libraries

ModuleHandle Win32Libraries::loadLibrary(const char* path) {
    return reinterpret_cast<ModuleHandle>(LoadLibraryA(path));
}

void Win32Libraries::freeLibrary(ModuleHandle module) { FreeLibrary(reinterpret_cast<HMODULE>(module)); }

ProcAddress Win32Libraries::getProcAddress(ModuleHandle module, const char* name) {
    return reinterpret_cast<ProcAddress>(GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

bool Win32Libraries::moduleFolder(char (&out)[260]) {
    const DWORD n = GetModuleFileNameA(nullptr, out, sizeof out);
    if (n == 0 || n >= sizeof out) return false;
    char* slash = std::strrchr(out, '\\');
    if (!slash) return false;
    slash[1] = '\0';
    return true;
}

void Win32Libraries::excludeCurrentDirectory() {
    // Windows XP before SP1 lacks SetDllDirectoryA: resolve it at run time.
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    if (HMODULE kernel = GetModuleHandleA("kernel32.dll"))
        if (auto fn = reinterpret_cast<SetDllDirectoryFn>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA"))))
            fn("");
}

namespace {
// The exports' own signatures (taphook: WINAPI, as the hook library declares them).
using HookFn = int(WINAPI*)();
using HookOptionFn = int(WINAPI*)(DWORD);
using RegisterSessionFn = BOOL(WINAPI*)(HWND, DWORD);
using UnRegisterSessionFn = BOOL(WINAPI*)(HWND);
using ProcessIdToSessionIdFn = BOOL(WINAPI*)(DWORD, DWORD*);
using ActiveConsoleSessionFn = DWORD(WINAPI*)();

template <typename Fn>
Fn as(ProcAddress proc) {
    return reinterpret_cast<Fn>(proc);
}
}  // namespace

int32_t Win32Libraries::callHook(ProcAddress proc) { return as<HookFn>(proc)(); }

int32_t Win32Libraries::callHookWithOption(ProcAddress proc, uint32_t option) { return as<HookOptionFn>(proc)(option); }

int32_t Win32Libraries::callRegisterSession(ProcAddress proc, WindowHandle window, uint32_t flags) {
    return as<RegisterSessionFn>(proc)(hwnd(window), flags);
}

int32_t Win32Libraries::callUnRegisterSession(ProcAddress proc, WindowHandle window) {
    return as<UnRegisterSessionFn>(proc)(hwnd(window));
}

bool Win32Libraries::callProcessIdToSessionId(ProcAddress proc, uint32_t* session) {
    DWORD id = 0;
    if (!as<ProcessIdToSessionIdFn>(proc)(GetCurrentProcessId(), &id)) return false;
    *session = id;
    return true;
}

uint32_t Win32Libraries::callActiveConsoleSession(ProcAddress proc) { return as<ActiveConsoleSessionFn>(proc)(); }

// ---------------------------------------------------------------- locks

Win32Locks::Win32Locks() {
    for (CRITICAL_SECTION& s : sections_) InitializeCriticalSection(&s);
}

static_assert(std::is_trivially_destructible_v<Win32Locks>, "the locks must outlive every worker");

void Win32Locks::lock(Routine routine) { EnterCriticalSection(&sections_[static_cast<int>(routine)]); }

void Win32Locks::unlock(Routine routine) { LeaveCriticalSection(&sections_[static_cast<int>(routine)]); }

void Win32Locks::releaseInstanceMutex(KernelHandle mutex) {
    ReleaseMutex(reinterpret_cast<HANDLE>(mutex));
    CloseHandle(reinterpret_cast<HANDLE>(mutex));
}

}  // namespace tp::agent
