// The main window's messages, decoded by the Win32 window procedure and
// handled here in portable code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "agent.h"

namespace tp::agent {

void OnApplySettings(Agent& agent, uintptr_t wParam);
// data and size are the COPYDATASTRUCT's lpData and cbData.
void OnCopyData(Agent& agent, const uint8_t* data, size_t size);
void OnButtonMode(Agent& agent, intptr_t lParam);
void OnSettingChange(Agent& agent, uintptr_t wParam);
void OnDisplayChange(Agent& agent);
void OnPowerBroadcast(Agent& agent, uintptr_t wParam);
// The registered "TaskbarCreated": the tray icon again, as it was last shown.
void OnTaskbarCreated(Agent& agent);
void Shutdown(Agent& agent);

// Routes one message; false sends it on to DefWindowProcA. For WM_COPYDATA
// the caller passes the payload it found behind lParam.
bool HandleMainWindowMessage(Agent& agent, uint32_t message, uintptr_t wParam, intptr_t lParam,
                             const uint8_t* copyData = nullptr, size_t copySize = 0);

// Start-up decisions of WinMain.
bool IsRunOnceCommandLine(const char* commandLine);
struct OsFlags {
    bool nt5;
    bool nt6;
};
inline constexpr uint32_t kVerPlatformWin32Nt = 2;
OsFlags OsFlagsFromVersion(uint32_t platformId, uint32_t majorVersion);

// The process start's platform calls (WinMain's adapter in tapagent_main.cpp).
class StartPort {
public:
    // OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name); true when it opened (the
    // handle is closed again at once).
    virtual bool instanceRunning(const char* name) = 0;
    // CreateMutexA(NULL, FALSE, name); *existed when GetLastError() then says
    // ERROR_ALREADY_EXISTS. 0 on failure.
    virtual KernelHandle createInstanceMutex(const char* name, bool* existed) = 0;
    // GetVersionExA; false when it fails.
    virtual bool osVersion(uint32_t* platformId, uint32_t* majorVersion) = 0;
    // RegisterWindowMessageA; 0 on failure.
    virtual uint32_t registerWindowMessage(const char* name) = 0;
    // ChangeWindowMessageFilter(message, MSGFLT_ADD), looked up at run time:
    // Windows before Vista has no such filter (and no such function).
    virtual void allowMessageFromLowerIntegrity(uint32_t message) = 0;
    // RegisterClassA of the main window's class.
    virtual bool registerWindowClass() = 0;
    // CreateWindowExA of the main window, then ShowWindow(SW_HIDE) and
    // UpdateWindow; 0 when it cannot be created.
    virtual WindowHandle createMainWindow() = 0;

protected:
    ~StartPort() = default;
};

// Steps 1 to 8 of the process start: true when the message loop is to run.
// An agent that cannot run (another one holds the mutex, the
// class or the window cannot be made) returns false with the mutex released.
bool StartAgent(Agent& agent, StartPort& start, const char* commandLine);

// LoadLibraryA of the hook from the agent's own folder only.
ModuleHandle LoadHookLibrary(Agent& agent);

}  // namespace tp::agent
