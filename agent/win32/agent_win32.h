// The agent's Win32 side: the adapters of the core's ports and the one Agent
// of the process, which window, dialog and thread procedures reach through
// TheAgent().
#pragma once

#include <windows.h>

#include "agent.h"

namespace tp::agent {

// Defined with WinMain (tapagent_main.cpp).
Agent& TheAgent();
HINSTANCE ModuleInstance();

// Provided by the worker-thread side's Win32 code: points ports.threads,
// ports.sound and ports.cursor at its adapters. Called once, before the
// first routine runs.
void ConnectWorkerPorts(AgentPorts& ports);

class Win32Display : public DisplayPort {
public:
    int getSystemMetrics(int index) override;
    bool systemParametersInfo(uint32_t action, uint32_t param, uint32_t winIni) override;
    bool currentDisplayOrientation(uint32_t* orientation) override;
    void enumDisplayMonitors(MonitorVisitor& visitor) override;
    bool getMonitorInfo(MonitorHandle monitor) override;
    int messageBox(WindowHandle owner, const char* text, const char* caption, uint32_t type) override;
};

class Win32Windows : public WindowPort {
public:
    bool postMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    intptr_t sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void announceSettingChange(uint32_t action) override;
    bool showWindow(WindowHandle window, int command) override;
    bool destroyWindow(WindowHandle window) override;
    WindowHandle createFloatingWindow() override;
    IconHandle loadIcon(int id, int size) override;
    void postQuitMessage(int exitCode) override;
};

class Win32Tray : public TrayPort {
public:
    bool shellNotifyIcon(uint32_t operation, const TrayIconData& data) override;
    void destroyIcon(IconHandle icon) override;
};

class Win32Libraries : public LibraryPort {
public:
    ModuleHandle loadLibrary(const char* path) override;
    void freeLibrary(ModuleHandle module) override;
    ProcAddress getProcAddress(ModuleHandle module, const char* name) override;
    bool moduleFolder(char (&out)[260]) override;
    void excludeCurrentDirectory() override;
    int32_t callHook(ProcAddress proc) override;
    int32_t callHookWithOption(ProcAddress proc, uint32_t option) override;
    int32_t callRegisterSession(ProcAddress proc, WindowHandle window, uint32_t flags) override;
    int32_t callUnRegisterSession(ProcAddress proc, WindowHandle window) override;
    bool callProcessIdToSessionId(ProcAddress proc, uint32_t* session) override;
    uint32_t callActiveConsoleSession(ProcAddress proc) override;
};

// The locks live until the process ends: they are never deleted, because a
// worker thread may still wake and take one after WinMain has returned (the
// workers are told to stop, never joined). Nothing of the process's end then
// runs a destructor over them.
class Win32Locks : public LockPort {
public:
    Win32Locks();
    Win32Locks(const Win32Locks&) = delete;
    Win32Locks& operator=(const Win32Locks&) = delete;
    void lock(Routine routine) override;
    void unlock(Routine routine) override;
    void releaseInstanceMutex(KernelHandle mutex) override;

private:
    CRITICAL_SECTION sections_[static_cast<int>(Routine::Count)];
};

}  // namespace tp::agent
