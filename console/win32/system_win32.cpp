#include <windows.h>

#include <cstring>

#include "console_win32.h"
#include "win32_ports.h"

namespace tp::console {

uint32_t Win32System::getACP() { return GetACP(); }
int Win32System::getSystemMetrics(int index) { return GetSystemMetrics(index); }
uint32_t Win32System::getDoubleClickTime() { return GetDoubleClickTime(); }

// SPIF_SENDCHANGE would broadcast with SendMessageTimeout on this thread and
// wait on every window; the notice goes out from another thread instead.
bool Win32System::systemParametersInfo(uint32_t action, uint32_t param, uint32_t winIni) {
    const bool ok = SystemParametersInfoW(action, param, nullptr, winIni & ~SPIF_SENDCHANGE) != FALSE;
    if (ok && (winIni & SPIF_SENDCHANGE)) announceSettingChange(action);
    return ok;
}

int Win32System::ansiToWide(const char* text, wchar_t* out, int capacity) {
    return MultiByteToWideChar(CP_ACP, 0, text, -1, out, capacity);
}

Point Win32System::getCursorPos() {
    POINT p{};
    GetCursorPos(&p);
    return {p.x, p.y};
}

bool Win32System::programFilesPath(const char* tail, char (&out)[260]) { return installPath(tail, out); }

bool Win32System::windowsPath(const char* tail, char (&out)[260]) {
    std::memset(out, 0, sizeof out);
    const UINT have = GetWindowsDirectoryA(out, sizeof out);
    const size_t add = std::strlen(tail);
    if (have == 0 || have + add >= sizeof out) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out + have, tail, add + 1);
    return true;
}

uint32_t Win32System::getFileAttributes(const char* path) { return GetFileAttributesA(path); }
bool Win32System::setFileAttributes(const char* path, uint32_t attributes) {
    return SetFileAttributesA(path, attributes) != FALSE;
}

bool Win32System::startProgram(const char* commandLine) {
    char line[1024];
    const size_t n = std::strlen(commandLine);
    if (n >= sizeof line) return false;
    std::memcpy(line, commandLine, n + 1);  // CreateProcessA may write to it
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

bool Win32System::readFile(const char* path, size_t maxBytes, std::vector<uint8_t>& out) {
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    bool ok = size != INVALID_FILE_SIZE && high == 0 && size <= maxBytes;
    if (ok) {
        out.resize(size);
        DWORD read = 0;
        ok = size == 0 || (ReadFile(file, out.data(), size, &read, nullptr) && read == size);
    }
    CloseHandle(file);
    return ok;
}

int Win32System::messageBox(WindowHandle owner, int textId, int captionId, uint32_t type) {
    wchar_t text[512], caption[128];
    return MessageBoxW(reinterpret_cast<HWND>(owner), res_.string(textId, text, 512),
                       res_.string(captionId, caption, 128), type);
}

int Win32System::runModalDialog(WindowHandle owner, int templateId, DialogLogic& logic) {
    return runModal(res_, reinterpret_cast<HWND>(owner), templateId, logic);
}

void Win32ResponsiveSleep::sleep(uint32_t ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= ms) return;
        // PeekMessage delivers the sent messages and leaves the queue alone.
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_SENDMESSAGE) == WAIT_OBJECT_0) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        }
    }
}

}  // namespace tp::console
