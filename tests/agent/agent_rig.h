// Recording fakes of the agent's ports and a rig that wires them, with the
// common fakes, into one Agent. Every platform call the agent makes lands in
// one journal, in order, so a test states a handler's sequence plainly:
//   ioctl 0x222028 / ShowWindow 0x900 0 / Shell_NotifyIcon 2 id=1
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "agent.h"
#include "cursor.h"
#include "fake_driver.h"
#include "fake_registry.h"
#include "fake_sleep.h"
#include "sound.h"
#include "worker_threads.h"

namespace tp::test {

class Journal {
public:
    void add(std::string line);
    std::vector<std::string> lines() const;
    // The lines that start with prefix, in order.
    std::vector<std::string> starting(const std::string& prefix) const;
    // Index of the first line equal to text at or after from; -1 if none.
    int find(const std::string& text, int from = 0) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

std::string hexOf(uintptr_t value);

// Forwards to FakeDriver and journals "open PATH", "ioctl 0x222034 in=..", "close".
class JournalDriver : public DriverPort {
public:
    JournalDriver(FakeDriver& inner, Journal& journal) : inner_(inner), journal_(journal) {}
    DeviceHandle open(const char* path) override;
    bool control(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                 uint32_t outSize) override;
    void close(DeviceHandle device) override;

private:
    FakeDriver& inner_;
    Journal& journal_;
};

class FakeDisplay : public agent::DisplayPort {
public:
    explicit FakeDisplay(Journal& journal) : journal_(journal) {}
    struct Monitor {
        agent::MonitorHandle handle;
        agent::Rect rect;
        bool infoFails = false;
    };
    std::map<int, int> metrics;  // GetSystemMetrics answers; absent = 0
    uint32_t orientation = 0;
    bool orientationFails = false;
    std::vector<Monitor> monitors;
    // Called after each SystemParametersInfoA is journalled: a test's stand-in
    // for the WM_SETTINGCHANGE broadcast of SPIF_SENDCHANGE.
    std::function<void(uint32_t action, uint32_t param, uint32_t winIni)> onSystemParametersInfo;

    int getSystemMetrics(int index) override;
    bool systemParametersInfo(uint32_t action, uint32_t param, uint32_t winIni) override;
    bool currentDisplayOrientation(uint32_t* orientation) override;
    void enumDisplayMonitors(agent::MonitorVisitor& visitor) override;
    bool getMonitorInfo(agent::MonitorHandle monitor) override;
    int messageBox(agent::WindowHandle owner, const char* text, const char* caption, uint32_t type) override;

private:
    Journal& journal_;
};

class FakeWindows : public agent::WindowPort {
public:
    explicit FakeWindows(Journal& journal) : journal_(journal) {}
    agent::WindowHandle nextDialog = 0x900;  // what CreateDialogParamA returns (0 = fails)
    // Called after each announcement is journalled: a test's stand-in for
    // delivering WM_SETTINGCHANGE to the main window.
    std::function<void(uint32_t action)> onAnnounceSettingChange;
    // Called after each DestroyWindow is journalled: what the destruction
    // sends to the window (WM_DESTROY) goes here.
    std::function<void(agent::WindowHandle window)> onDestroyWindow;

    bool postMessage(agent::WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    intptr_t sendMessage(agent::WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void announceSettingChange(uint32_t action) override;
    bool showWindow(agent::WindowHandle window, int command) override;
    bool destroyWindow(agent::WindowHandle window) override;
    agent::WindowHandle createFloatingWindow() override;
    agent::IconHandle loadIcon(int id, int size) override;
    void postQuitMessage(int exitCode) override;

    // Icons handed out and not yet destroyed.
    std::set<agent::IconHandle> liveIcons() const;
    void iconDestroyed(agent::IconHandle icon);

private:
    Journal& journal_;
    mutable std::mutex mutex_;
    std::set<agent::IconHandle> icons_;
};

// Icon handles encode their resource id and size: 0x1000 * id + size.
constexpr agent::IconHandle iconHandle(int id, int size) { return static_cast<agent::IconHandle>(0x1000 * id + size); }

class FakeTray : public agent::TrayPort {
public:
    FakeTray(Journal& journal, FakeWindows& windows) : journal_(journal), windows_(windows) {}
    bool result = true;
    std::vector<agent::TrayIconData> calls;
    // Called after each Shell_NotifyIconA is journalled: what the main thread
    // is sent while it waits for the shell.
    std::function<void(uint32_t operation)> onShellNotifyIcon;

    bool shellNotifyIcon(uint32_t operation, const agent::TrayIconData& data) override;
    void destroyIcon(agent::IconHandle icon) override;

private:
    Journal& journal_;
    FakeWindows& windows_;
};

class FakeLibraries : public agent::LibraryPort {
public:
    explicit FakeLibraries(Journal& journal) : journal_(journal) {}
    std::string folder = "C:\\Program Files\\QTX\\PNL\\USBPNL\\";
    // Loadable modules by path, and their exports with the result each call gives.
    void addModule(const std::string& path, agent::ModuleHandle handle);
    void addExport(agent::ModuleHandle module, const std::string& name, int32_t result);
    // Results of successive calls of one export; the last one repeats.
    void setResults(agent::ModuleHandle module, const std::string& name, std::vector<int32_t> results);
    // The active console session; also the agent's own unless processSessionId says otherwise.
    uint32_t sessionId = 1;
    std::optional<uint32_t> processSessionId;
    std::set<agent::ModuleHandle> loaded() const;

    agent::ModuleHandle loadLibrary(const char* path) override;
    void freeLibrary(agent::ModuleHandle module) override;
    agent::ProcAddress getProcAddress(agent::ModuleHandle module, const char* name) override;
    bool moduleFolder(char (&out)[260]) override;
    void excludeCurrentDirectory() override;
    int32_t callHook(agent::ProcAddress proc) override;
    int32_t callHookWithOption(agent::ProcAddress proc, uint32_t option) override;
    int32_t callRegisterSession(agent::ProcAddress proc, agent::WindowHandle window, uint32_t flags) override;
    int32_t callUnRegisterSession(agent::ProcAddress proc, agent::WindowHandle window) override;
    bool callProcessIdToSessionId(agent::ProcAddress proc, uint32_t* session) override;
    uint32_t callActiveConsoleSession(agent::ProcAddress proc) override;

private:
    struct Export {
        std::string name;
        std::vector<int32_t> results;
        size_t calls = 0;
    };
    int32_t call(agent::ProcAddress proc, const std::string& args);

    Journal& journal_;
    mutable std::mutex mutex_;
    std::map<std::string, agent::ModuleHandle> paths_;
    std::map<agent::ModuleHandle, std::map<std::string, agent::ProcAddress>> exports_;
    std::map<agent::ProcAddress, Export> procs_;
    std::multiset<agent::ModuleHandle> loaded_;
    agent::ProcAddress nextProc_ = 0x7000;
};

// Real locks, so two threads really exclude each other, that also journal
// "lock N" / "unlock N" with N the Routine's number.
class FakeLocks : public agent::LockPort {
public:
    explicit FakeLocks(Journal& journal) : journal_(journal) {}
    void lock(agent::Routine routine) override;
    void unlock(agent::Routine routine) override;
    void releaseInstanceMutex(agent::KernelHandle mutex) override;

private:
    Journal& journal_;
    std::mutex mutexes_[static_cast<int>(agent::Routine::Count)];
};

// Threads are created and journalled but never run; events only journal.
class FakeThreads : public agent::ThreadPort {
public:
    explicit FakeThreads(Journal& journal) : journal_(journal) {}
    agent::KernelHandle createThread(agent::ThreadEntry entry, void* parameter) override;
    void setThreadPriority(agent::KernelHandle thread, int priority) override;
    void resumeThread(agent::KernelHandle thread) override;
    agent::KernelHandle createEvent() override;
    void setEvent(agent::KernelHandle event) override;
    void resetEvent(agent::KernelHandle event) override;
    void waitForEvent(agent::KernelHandle event) override;
    bool waitForEventTimeout(agent::KernelHandle event, uint32_t timeoutMs) override;
    void closeHandle(agent::KernelHandle handle) override;

private:
    Journal& journal_;
    std::mutex mutex_;
    agent::KernelHandle next_ = 0x7100;
};

class FakeCursors : public agent::CursorPort {
public:
    explicit FakeCursors(Journal& journal) : journal_(journal) {}
    agent::CursorHandle loadCursor(int id) override;
    agent::CursorHandle copyCursor(agent::CursorHandle cursor) override;
    bool setSystemCursor(agent::CursorHandle cursor, uint32_t id) override;
    void destroyCursor(agent::CursorHandle cursor) override;

private:
    Journal& journal_;
    agent::CursorHandle next_ = 0xC000;
};

class FakeSound : public agent::SoundPort {
public:
    explicit FakeSound(Journal& journal) : journal_(journal) {}
    void beep(uint32_t frequency, uint32_t duration) override;
    void messageBeep(uint32_t type) override;

private:
    Journal& journal_;
};

// Everything an agent test needs.
struct AgentRig {
    AgentRig();
    AgentRig(const AgentRig&) = delete;
    Journal journal;
    FakeRegistry registry;
    FakeDriver driver;
    JournalDriver journalDriver{driver, journal};
    FakeSleep sleep;
    FakeDisplay display{journal};
    FakeWindows windows{journal};
    FakeTray tray{journal, windows};
    FakeLibraries libraries{journal};
    FakeLocks locks{journal};
    FakeThreads threads{journal};
    FakeCursors cursors{journal};
    FakeSound sound{journal};
    agent::Agent agent{{}, {registry, journalDriver, sleep, display, windows, tray, libraries, locks}};

    static constexpr agent::WindowHandle kMainWindow = 0x500;
    static constexpr agent::ModuleHandle kHookModule = 0x6A00;
    // "HKCU\\Software\\Korvane Component\\USB" and friends.
    static std::string userKey();
    static std::string panelKey();
    static std::string multiKey();
    // The hook beside the agent, with working exports.
    void installHook();
    // The user and both driver keys present, and a driver that reports no panel.
    static void addSuiteKeys(FakeRegistry& registry, FakeDriver& driver);
};

}  // namespace tp::test
