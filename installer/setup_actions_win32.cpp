// Tapsetup.dll: the package's custom actions. Windows Installer has no table
// that ends a running program or starts one as another user, and a running
// agent would keep its files locked through an upgrade or a removal.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <sddl.h>
#include <tlhelp32.h>
#include <userenv.h>
#include <wtsapi32.h>

#include <cwchar>

#include "agent_close_signal.h"
#include "launcher_win32.h"
#include "setup_actions.h"
#include "win32_ports.h"

namespace {

using namespace tp::setup;

// Between CloseAgent and RestartAgent; private, so no command line sets it.
constexpr wchar_t kSessionsProperty[] = L"AgentSessions";
constexpr wchar_t kFolderProperty[] = L"InstallFolder";
constexpr wchar_t kUserDesktop[] = L"winsta0\\default";

// An agent that hangs must not hang the installer with it: a window that
// does not answer counts as answered, and the next look decides.
class BoundedAgentWindows : public tp::launcher::Win32AgentWindows {
public:
    intptr_t sendMessage(tp::launcher::WindowHandle window, uint32_t message, uintptr_t wParam,
                         intptr_t lParam) override {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(reinterpret_cast<HWND>(window), message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
        return static_cast<intptr_t>(result);
    }
};

class Win32AgentProcesses : public AgentProcessPort {
public:
    std::vector<AgentProcess> findAgents() override {
        std::vector<AgentProcess> agents;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return agents;
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            if (lstrcmpiW(entry.szExeFile, L"Tapagent.exe") != 0) continue;
            DWORD session = 0;
            if (ProcessIdToSessionId(entry.th32ProcessID, &session))
                agents.push_back({entry.th32ProcessID, session, 0});
            else
                agents.push_back({entry.th32ProcessID, kUnknownSession, GetLastError()});
        }
        CloseHandle(snapshot);
        return agents;
    }
    // Made here, with the one guarded access, when no agent holds it yet;
    // an existing one is opened to be set.
    uintptr_t openEvent(const char* name) override {
        HANDLE event = nullptr;
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
        if (ConvertStringSecurityDescriptorToSecurityDescriptorA(tp::agentwin::kCloseEventSddlXp, SDDL_REVISION_1,
                                                                 &attributes.lpSecurityDescriptor, nullptr)) {
            event = CreateEventA(&attributes, TRUE, FALSE, name);
            LocalFree(attributes.lpSecurityDescriptor);
        }
        if (!event) event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
        return reinterpret_cast<uintptr_t>(event);
    }
    bool setEvent(uintptr_t event) override { return SetEvent(reinterpret_cast<HANDLE>(event)) != FALSE; }
    bool resetEvent(uintptr_t event) override { return ResetEvent(reinterpret_cast<HANDLE>(event)) != FALSE; }
    void closeHandle(uintptr_t handle) override { CloseHandle(reinterpret_cast<HANDLE>(handle)); }
};

void logLine(MSIHANDLE install, const std::string& text) {
    PMSIHANDLE record = MsiCreateRecord(0);
    MsiRecordSetStringA(record, 0, text.c_str());
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

// Any length: a busy Terminal Services host closes hundreds of sessions.
std::wstring property(MSIHANDLE install, const wchar_t* name) {
    wchar_t none[1] = L"";
    DWORD size = 0;
    const UINT first = MsiGetPropertyW(install, name, none, &size);
    if (first == ERROR_SUCCESS) return L"";
    if (first != ERROR_MORE_DATA) return L"";
    std::wstring value(++size, L'\0');
    if (MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) return L"";
    value.resize(size);
    return value;
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// The thread's token when it impersonates, else the process's.
Installer whoInstalls() {
    Installer self = {kUnknownSession, false, false, WTSGetActiveConsoleSessionId()};
    DWORD session = 0;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session)) self.session = session;
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return self;
    BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)] = {};
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, user, sizeof user, &size))
        self.system = IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, WinLocalSystemSid) != FALSE;
    // TokenElevationType is known from Vista on; Windows XP answers with a failure.
    TOKEN_ELEVATION_TYPE elevation = TokenElevationTypeDefault;
    if (GetTokenInformation(token, TokenElevationType, &elevation, sizeof elevation, &size))
        self.elevated = elevation == TokenElevationTypeFull;
    CloseHandle(token);
    return self;
}

StartOutcome failed(const char* step) { return StartOutcome{step, GetLastError()}; }

// Never inherits the action's handles (bInheritHandles FALSE).
StartOutcome startProcess(HANDLE userToken, std::wstring command) {
    if (command.empty()) return StartOutcome{"finding the install folder", ERROR_PATH_NOT_FOUND};
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<wchar_t*>(kUserDesktop);
    PROCESS_INFORMATION process = {};
    if (userToken) {
        // Never SYSTEM's environment for the user's agent.
        void* environment = nullptr;
        if (!CreateEnvironmentBlock(&environment, userToken, FALSE)) return failed("CreateEnvironmentBlock");
        const BOOL started = CreateProcessAsUserW(userToken, nullptr, &command[0], nullptr, nullptr, FALSE,
                                                  CREATE_UNICODE_ENVIRONMENT, environment, nullptr, &startup, &process);
        const StartOutcome outcome = started ? StartOutcome{} : failed("CreateProcessAsUser");
        DestroyEnvironmentBlock(environment);
        if (!started) return outcome;
    } else if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process)) {
        return failed("CreateProcess");
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return {};
}

StartOutcome restart(const Restart& r, const std::wstring& installFolder) {
    switch (r.way) {
        case StartWay::Direct:
            return startProcess(nullptr, tapstartCommand(installFolder));
        case StartWay::ThroughShell: {
            wchar_t windows[MAX_PATH] = {};
            if (!GetWindowsDirectoryW(windows, MAX_PATH)) return failed("GetWindowsDirectory");
            return startProcess(nullptr, shellCommand(windows, installFolder));
        }
        case StartWay::AsSessionUser: {
            HANDLE token = nullptr;
            if (!WTSQueryUserToken(r.session, &token)) return failed("WTSQueryUserToken");
            const StartOutcome outcome = startProcess(token, tapstartCommand(installFolder));
            CloseHandle(token);
            return outcome;
        }
        case StartWay::NotPossible:
            break;
    }
    return {};
}

}  // namespace

// Immediate, before the files-in-use check: notes the sessions whose agent it
// closed for RestartAgent.
extern "C" UINT WINAPI CloseAgent(MSIHANDLE install) {
    Win32AgentProcesses processes;
    BoundedAgentWindows windows;
    tp::Win32Sleep sleeper;
    const CloseResult result = closeAgents(processes, windows, sleeper);
    logLine(install, describe(result));
    const std::string sessions = encodeSessions(result.closedSessions);
    MsiSetPropertyW(install, kSessionsProperty, std::wstring(sessions.begin(), sessions.end()).c_str());
    return ERROR_SUCCESS;
}

// Tapstart for each session whose agent CloseAgent closed, as the session's
// user. Deferred without impersonation, at commit (the product stays) or in
// a rollback (the old files are back), it runs as SYSTEM and gets the
// sessions and the folder as CustomActionData; immediate, after
// InstallFinalize, only where rollback is disabled and commit never comes.
extern "C" UINT WINAPI RestartAgent(MSIHANDLE install) {
    RestartData data;
    // Only a deferred action's CustomActionData is its own: Wine leaves the
    // last deferred action's in the property for later immediate ones.
    const bool deferred = MsiGetMode(install, MSIRUNMODE_SCHEDULED) || MsiGetMode(install, MSIRUNMODE_COMMIT) ||
                          MsiGetMode(install, MSIRUNMODE_ROLLBACK);
    if (!deferred || !decodeRestartData(property(install, L"CustomActionData"), &data)) {
        data.phase = RestartPhase::Immediate;
        data.sessions = decodeSessions(narrow(property(install, kSessionsProperty)));
        data.folder = property(install, kFolderProperty);
    }
    const Installer self = whoInstalls();
    for (const Restart& r : planRestarts(data.sessions, self))
        logLine(install, describe(r, data.phase, restart(r, data.folder)));
    return ERROR_SUCCESS;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
