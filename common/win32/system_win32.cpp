#include <windows.h>
#include <shlobj.h>

#include <cstring>

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

DWORD WINAPI announceThread(void* action) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, reinterpret_cast<WPARAM>(action), 0, SMTO_ABORTIFHUNG,
                        kAnnounceTimeoutMs, &result);
    return 0;
}

}  // namespace

void announceSettingChange(uint32_t action) {
    void* context = reinterpret_cast<void*>(static_cast<UINT_PTR>(action));
    if (HANDLE thread = CreateThread(nullptr, 0, announceThread, context, 0, nullptr)) CloseHandle(thread);
}

}  // namespace tp
