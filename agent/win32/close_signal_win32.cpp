// The close signal's watch thread and the Win32 calls behind its port.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include "close_signal.h"
#include "close_signal_win32.h"

namespace tp::agent {

namespace {

// SYSTEM, the administrators and owner rights, for telling entries apart.
bool isSid(PSID sid, BYTE authority, DWORD first, DWORD second, BYTE count) {
    SID_IDENTIFIER_AUTHORITY a = {{0, 0, 0, 0, 0, authority}};
    PSID known = nullptr;
    if (!AllocateAndInitializeSid(&a, count, first, second, 0, 0, 0, 0, 0, 0, &known)) return false;
    const bool same = EqualSid(sid, known) != FALSE;
    FreeSid(known);
    return same;
}

agentwin::Trustee trusteeOf(PSID sid) {
    if (!sid || !IsValidSid(sid)) return agentwin::Trustee::Other;
    if (isSid(sid, 5, SECURITY_LOCAL_SYSTEM_RID, 0, 1)) return agentwin::Trustee::System;
    if (isSid(sid, 5, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 2))
        return agentwin::Trustee::Administrators;
    if (isSid(sid, 3, 4, 0, 1)) return agentwin::Trustee::OwnerRights;  // S-1-3-4
    return agentwin::Trustee::Other;
}

class Win32CloseSignal : public CloseSignalPort {
public:
    uintptr_t openEvent(const char* name) override {
        return reinterpret_cast<uintptr_t>(OpenEventA(SYNCHRONIZE, FALSE, name));
    }
    uintptr_t createEvent(const char* name, const char* sddl, bool* existed) override {
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                                  &attributes.lpSecurityDescriptor, nullptr))
            return 0;
        // Vista and later: the handle asks SYNCHRONIZE only, so the maker
        // holds nothing that could set the event.
        using CreateEventExFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPCSTR, DWORD, DWORD);
        const auto createEx = reinterpret_cast<CreateEventExFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateEventExA")));
        HANDLE event = createEx ? createEx(&attributes, name, 1 /* CREATE_EVENT_MANUAL_RESET */, SYNCHRONIZE)
                                : CreateEventA(&attributes, TRUE, FALSE, name);
        *existed = event && GetLastError() == ERROR_ALREADY_EXISTS;
        LocalFree(attributes.lpSecurityDescriptor);
        if (event && !createEx) {
            // Windows XP: CreateEventA's handle has every right; keep one to wait with.
            HANDLE narrow = nullptr;
            if (!DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &narrow, SYNCHRONIZE, FALSE,
                                 DUPLICATE_CLOSE_SOURCE))
                return 0;
            event = narrow;
        }
        return reinterpret_cast<uintptr_t>(event);
    }
    bool readSecurity(const char* name, agentwin::EventSecurity* security) override {
        HANDLE event = OpenEventA(READ_CONTROL, FALSE, name);
        if (!event) return false;
        PSID owner = nullptr;
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        const DWORD read = GetSecurityInfo(event, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                           &owner, nullptr, &dacl, nullptr, &descriptor);
        CloseHandle(event);
        if (read != ERROR_SUCCESS) return false;
        security->owner = trusteeOf(owner);
        security->hasDacl = dacl != nullptr;
        security->count = dacl ? dacl->AceCount : 0;
        for (DWORD i = 0; dacl && i < dacl->AceCount && i < agentwin::EventSecurity::kMaxEntries; ++i) {
            void* ace = nullptr;
            agentwin::AccessEntry& entry = security->entries[i];
            entry = {false, 0, agentwin::Trustee::Other};
            if (!GetAce(dacl, i, &ace)) continue;
            const auto* header = static_cast<const ACE_HEADER*>(ace);
            // Allowed and denied entries share their layout up to the SID.
            if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) {
                // An entry of another kind (a callback, an object entry) is
                // not understood here: counted as letting anyone set it.
                entry = {true, agentwin::kSettingRights, agentwin::Trustee::Other};
                continue;
            }
            const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
            entry.allow = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
            entry.mask = allowed->Mask;
            entry.who = trusteeOf(const_cast<DWORD*>(&allowed->SidStart));
        }
        LocalFree(descriptor);
        return true;
    }
    void closeHandle(uintptr_t handle) override { CloseHandle(reinterpret_cast<HANDLE>(handle)); }
    void log(const char* text) override { OutputDebugStringA(text); }
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
