// The resident agent's shared contract: its window messages, names and
// resource ids, the process-wide state every thread sees, the ports its
// portable logic reaches the platform through, and the routines that cross
// between the main-window core and the worker-thread side.
//
// Threads share the state without locks, as 32-bit (or handle-sized) values
// read and written whole: Shared<T> is a relaxed std::atomic, which gives
// exactly that and nothing more. The four routines that run on the main
// thread and on a worker at once (ApplyStoredSettings, SyncButtonSwap,
// ApplyCursorHiding, StartWorkerThreads) each hold their own lock, taken
// through LockPort; the order of their steps is unchanged. No lock is held
// across a call that sends a message to a window of another thread, so a
// worker inside such a call never waits for a main thread that waits for the
// worker's lock; and no thread waits on another program's window at all (a
// settings change is announced from a thread of its own). Once shutdown has
// begun (AgentState::shuttingDown, set before anything is restored) these
// routines change nothing any more.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "agent_window.h"
#include "driver_channel.h"
#include "driver_protocol.h"
#include "ports.h"
#include "settings.h"

namespace tp::agent {

// Platform handles travel through the ports as integers; 0 is none.
using WindowHandle = uintptr_t;
using ModuleHandle = uintptr_t;
using IconHandle = uintptr_t;
using MonitorHandle = uintptr_t;
using ProcAddress = uintptr_t;
using KernelHandle = uintptr_t;  // mutex, thread, event

// ---------------------------------------------------------------- messages

inline constexpr uint32_t AGM_BUTTON_MODE = agentwin::kAgmButtonMode;  // lParam WM_LBUTTONUP arms, WM_RBUTTONUP disarms
inline constexpr uint32_t FLM_SHOW_RIGHT = 0x501;
inline constexpr uint32_t FLM_SHOW_LEFT = 0x502;
inline constexpr uint32_t FLM_RESTORE_POSITION = 0x503;
inline constexpr uint32_t AGM_APPLY_SETTINGS = 0x504;  // wParam 0 first, 1 re-application
inline constexpr uint32_t FLM_RESET_POSITION = 0x506;

// Windows values the logic needs, spelled so that they never collide with
// the macros of <windows.h> in the adapters.
namespace win {
inline constexpr WindowHandle kHwndBroadcast = 0xFFFF;
inline constexpr uint32_t kWmNull = 0x0000;
inline constexpr uint32_t kWmDestroy = 0x0002;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmEndSession = 0x0016;
inline constexpr uint32_t kWmSettingChange = 0x001A;
inline constexpr uint32_t kWmCopyData = 0x004A;
inline constexpr uint32_t kWmDisplayChange = 0x007E;
inline constexpr uint32_t kWmMouseMove = 0x0200;
inline constexpr uint32_t kWmLButtonUp = 0x0202;
inline constexpr uint32_t kWmRButtonUp = 0x0205;
inline constexpr uint32_t kWmPowerBroadcast = 0x0218;
inline constexpr uint32_t kWmWtsSessionChange = 0x02B1;
inline constexpr uint32_t kPbtApmSuspend = 4;
inline constexpr uint32_t kPbtApmResumeSuspend = 7;
inline constexpr int kSmSwapButton = 23;
inline constexpr int kSmCMonitors = 80;
inline constexpr int kSmCxDoubleClk = 36;
inline constexpr int kSmCyDoubleClk = 37;
inline constexpr uint32_t kSpiSetMouseButtonSwap = 0x0021;
inline constexpr uint32_t kSpiSetDoubleClkWidth = 0x001D;
inline constexpr uint32_t kSpiSetDoubleClkHeight = 0x001E;
inline constexpr uint32_t kSpiSetCursors = 0x0057;
inline constexpr uint32_t kSpifUpdateIniFile = 0x01;
inline constexpr uint32_t kSpifSendChange = 0x02;
inline constexpr uint32_t kNimAdd = 0;
inline constexpr uint32_t kNimModify = 1;
inline constexpr uint32_t kNimDelete = 2;
inline constexpr uint32_t kNifMessage = 0x01;
inline constexpr uint32_t kNifIcon = 0x02;
inline constexpr uint32_t kNifTip = 0x04;
inline constexpr uint32_t kMbOk = 0x00000000;
inline constexpr uint32_t kMbIconWarning = 0x00000030;
inline constexpr uint32_t kMbSetForeground = 0x00010000;
inline constexpr int kSwHide = 0;
inline constexpr int kSwShow = 5;
inline constexpr int kSwShowNa = 8;  // shown without activation
inline constexpr uint32_t kNotifyForAllSessions = 1;
}  // namespace win

// ---------------------------------------------------------------- names

using agentwin::kWindowClass;
using agentwin::kWindowName;
inline constexpr char kMutexName[] = "3CAF49DD-70D3-15d3-AA22-01A8C6B35249";
inline constexpr char kRunOnceArgument[] = "runonce";
inline constexpr char kHookLibrary[] = "taphook.dll";
inline constexpr char kHookSetHook[] = "TAPHOOK_SetHook";
inline constexpr char kHookSetOptionData[] = "TAPHOOK_SetOptionData";
inline constexpr char kHookUnSetHook[] = "TAPHOOK_UnSetHook";
inline constexpr char kWtsLibrary[] = "wtsapi32.dll";
inline constexpr char kWtsRegister[] = "WTSRegisterSessionNotification";
inline constexpr char kWtsUnRegister[] = "WTSUnRegisterSessionNotification";
inline constexpr char kKernelLibrary[] = "KERNEL32.dll";
inline constexpr char kProcessIdToSessionId[] = "ProcessIdToSessionId";
inline constexpr char kActiveConsoleSession[] = "WTSGetActiveConsoleSessionId";
// Registered message that a (re)started taskbar broadcasts.
inline constexpr char kTaskbarCreated[] = "TaskbarCreated";

inline constexpr char kMessageCaption[] = "Korvane Tapagent";
inline constexpr char kHookMissingText[] = "Korvane extern library not found!";
inline constexpr char kDisplayErrorText[] = "Display Setting Error";
inline constexpr char kTipArmSecondary[] = "Switch to Secondary Button";  // resting state
inline constexpr char kTipBackToPrimary[] = "Switch to Primary Button";   // armed state
inline constexpr size_t kTipTextSize = 50;
inline constexpr uint32_t kTrayIconId = 1;

// Resources (agent/tapagent.rc).
inline constexpr int kIconProgram = 101;      // sheet of paper with a quill
inline constexpr int kCursorHidden = 102;     // wholly transparent 32x32
inline constexpr int kIconLeftButton = 103;   // touch acts as the physical left button
inline constexpr int kIconRightButton = 104;  // touch acts as the physical right button
inline constexpr int kDialogFloating = 105;   // FloatingIconWindow
inline constexpr int kControlFloatingIcon = 1000;
inline constexpr int kTrayIconSize = 16;
inline constexpr int kFloatingIconSize = 32;

// Tone durations as the console can set them. Every duration taken from the
// registry or a WM_COPYDATA is brought into this range where it is used for
// waiting or playing (0xFFFFFFF5 + 10 would otherwise wrap to INFINITE).
inline constexpr uint32_t kMinDurationMs = 1;
inline constexpr uint32_t kMaxDurationMs = 1000;
constexpr uint32_t ClampDuration(uint32_t ms) {
    return ms < kMinDurationMs ? kMinDurationMs : ms > kMaxDurationMs ? kMaxDurationMs : ms;
}

// ---------------------------------------------------------------- state

// A value shared across the agent's threads, read and written whole.
template <typename T>
class Shared {
public:
    constexpr Shared(T v = T{}) : v_(v) {}
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;
    T get() const { return v_.load(std::memory_order_relaxed); }
    void set(T v) { v_.store(v, std::memory_order_relaxed); }
    T exchange(T v) { return v_.exchange(v, std::memory_order_relaxed); }

private:
    std::atomic<T> v_;
};
static_assert(std::atomic<uint32_t>::is_always_lock_free);
static_assert(std::atomic<uintptr_t>::is_always_lock_free);

using Flag = Shared<uint32_t>;
using Value = Shared<uint32_t>;

using Handle = Shared<uintptr_t>;

// One worker thread: the starter fills the slot with the thread's handle and
// sets the run flag; stopping clears the flag; the thread itself closes its
// handle and empties the slot as it ends.
struct ThreadSlot {
    Handle handle;
    Flag run;
};

// The settings the agent works with (registry names in the comments).
struct AgentSettings {
    Value option{def::kOption};      // Option
    Value freq{def::kFreq};          // Freq
    Value duration{def::kDuration};  // Duration
    Value disableMode{0};            // DisableMode (multi-monitor driver key, or the console)
    Value monitorOption[kMaxMonitors] = {def::kMonitorOption, def::kMonitorOption, def::kMonitorOption,
                                         def::kMonitorOption, def::kMonitorOption, def::kMonitorOption,
                                         def::kMonitorOption, def::kMonitorOption, def::kMonitorOption};
    Value monitorFreq[kMaxMonitors] = {def::kFreq, def::kFreq, def::kFreq, def::kFreq, def::kFreq,
                                       def::kFreq, def::kFreq, def::kFreq, def::kFreq};
    Value monitorDuration[kMaxMonitors] = {def::kDuration, def::kDuration, def::kDuration,
                                           def::kDuration, def::kDuration, def::kDuration,
                                           def::kDuration, def::kDuration, def::kDuration};
    Value tPriority{def::kTPriority};  // TPriority (panel driver key)
    Value spinMode{0};                 // SpinMode (panel driver key)
    Value dHeight{def::kDoubleClickArea};
    Value dWidth{def::kDoubleClickArea};
};

struct AgentState {
    AgentSettings settings;

    // Start-up and session.
    Flag runOnce{0};
    Flag osNt5{0};
    Flag osNt6{0};
    Flag sessionActive{1};
    Flag buttonsSwapped{0};
    Value ownSessionId{0};
    // WTSRegisterSessionNotification succeeded: WM_WTSSESSION_CHANGE reaches
    // the main window, which wakes the session watch.
    Flag sessionNotifications{0};
    // Set once, at the start of shutdown; nothing re-applies afterwards.
    Flag shuttingDown{0};
    // The agent has called DestroyWindow on its main window.
    Flag mainWindowDestroyed{0};
    // A WM_WTSSESSION_CHANGE not yet taken by the session watch; set and
    // taken under the StartWorkerThreads lock, so that none is lost to a
    // watch that has no event yet or is just resetting it.
    Flag sessionChangePending{0};
    // RegisterWindowMessageA("TaskbarCreated"); 0 when it could not be had.
    Value taskbarCreatedMessage{0};

    // Handles owned by the process.
    Handle instanceMutex;
    Handle mainWindow;
    Handle moduleInstance;
    Handle hookModule;
    Handle wtsModule;
    Handle kernelModule;
    Handle activeSessionQuery;  // WTSGetActiveConsoleSessionId, 0 when absent
    Handle floatingWindow;

    // The tray tip and icon last chosen; main thread only.
    char tipText[kTipTextSize] = {};
    int trayIcon = kIconLeftButton;

    // Worker threads (started and stopped by the worker-thread side).
    ThreadSlot panelEventThread;
    ThreadSlot calibrationDataThread;
    ThreadSlot settingsNotifyThread;
    ThreadSlot sessionWatchThread;
    Handle toneThread;

    // Panel events and tones.
    Flag eventsEnabled{1};
    Flag panelRegistrationPending{0};
    Flag toneBusy{0};
    Value toneFreq{0};
    Value toneDuration{0};

    // Calibration command and floating window position.
    Flag commandDone{0};
    Value calibMode{0};
    Value calCommand{0};
    Value winPosX{0};
    Value winPosY{0};

    // Monitor layout kept between enumerations, and the numbering of the
    // running one; main thread only.
    MonitorLayoutBlock layout;
    int enumeratedMonitors = 0;

    // The panels the calibration-data thread saw last; that thread only.
    PanelIdTable lastPanels = {{kEmptySlot, 0, 0, 0, 0, 0, 0, 0, 0}};

    // ---- Worker-thread side (worker_threads.cpp, floating_window.cpp).
    // The waiting threads' events, where StopWorkerThreads finds them to
    // signal; published and withdrawn under the StartWorkerThreads lock.
    Handle panelEvent;
    Handle settingsEvent;
    Handle sessionEvent;  // the session watch's, while it waits on notifications
    // Set by StopWorkerThreads before it signals the settings event, so that
    // the wake-up is not taken for a settings change.
    Flag settingsStopWake{0};
    // The icon last set on the floating window's control; ours to destroy.
    Handle floatingIcon;
};

// ---------------------------------------------------------------- ports

struct Rect {
    int32_t left, top, right, bottom;
};

class MonitorVisitor {
public:
    // One monitor with its rectangle in virtual-screen coordinates; false
    // stops the enumeration.
    virtual bool visit(MonitorHandle monitor, const Rect& rect) = 0;

protected:
    ~MonitorVisitor() = default;
};

// The desktop as the driver configuration and the button-swap logic see it.
class DisplayPort {
public:
    virtual int getSystemMetrics(int index) = 0;
    // SystemParametersInfoA(action, param, NULL, winIni).
    virtual bool systemParametersInfo(uint32_t action, uint32_t param, uint32_t winIni) = 0;
    // dmDisplayOrientation of EnumDisplaySettingsA(NULL, ENUM_CURRENT_SETTINGS);
    // false when the mode cannot be read.
    virtual bool currentDisplayOrientation(uint32_t* orientation) = 0;
    // EnumDisplayMonitors(NULL, NULL, callback, 0).
    virtual void enumDisplayMonitors(MonitorVisitor& visitor) = 0;
    // GetMonitorInfoA with a MONITORINFOEX; only success matters.
    virtual bool getMonitorInfo(MonitorHandle monitor) = 0;
    // MessageBoxA; owner may be 0.
    virtual int messageBox(WindowHandle owner, const char* text, const char* caption, uint32_t type) = 0;

protected:
    ~DisplayPort() = default;
};

// The agent's windows, as the main-window logic drives them.
class WindowPort {
public:
    // PostMessageA; window may be kHwndBroadcast.
    virtual bool postMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
    virtual intptr_t sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
    // WM_SETTINGCHANGE with wParam action to every top-level window, sent
    // (SendMessageTimeoutA, SMTO_ABORTIFHUNG) from a thread of its own: the
    // caller never waits, and SendNotifyMessage would refuse the message.
    virtual void announceSettingChange(uint32_t action) = 0;
    virtual bool showWindow(WindowHandle window, int command) = 0;
    virtual bool destroyWindow(WindowHandle window) = 0;
    // CreateDialogParamA(module, 105, no owner, the FloatingIconWindow procedure, 0).
    virtual WindowHandle createFloatingWindow() = 0;
    // LoadImageA of an icon resource of the agent at size x size.
    virtual IconHandle loadIcon(int id, int size) = 0;
    virtual void postQuitMessage(int exitCode) = 0;

protected:
    ~WindowPort() = default;
};

// The notification area.
struct TrayIconData {
    WindowHandle window;
    uint32_t id;
    uint32_t flags;            // NIF_*
    uint32_t callbackMessage;  // AGM_BUTTON_MODE
    IconHandle icon;
    char tip[64];  // the first version's szTip
};

class TrayPort {
public:
    // Shell_NotifyIconA with the first version of NOTIFYICONDATAA (cbSize 88).
    virtual bool shellNotifyIcon(uint32_t operation, const TrayIconData& data) = 0;
    virtual void destroyIcon(IconHandle icon) = 0;

protected:
    ~TrayPort() = default;
};

// Run-time binding of the hook library, the terminal-services functions and
// the two optional kernel functions.
class LibraryPort {
public:
    // LoadLibraryA.
    virtual ModuleHandle loadLibrary(const char* path) = 0;
    virtual void freeLibrary(ModuleHandle module) = 0;
    // GetProcAddress; 0 when the export is missing.
    virtual ProcAddress getProcAddress(ModuleHandle module, const char* name) = 0;
    // The folder of the agent's own executable, with its trailing backslash;
    // false when it cannot be had within the buffer.
    virtual bool moduleFolder(char (&out)[260]) = 0;
    // SetDllDirectoryA("") where the system has it: drops the current
    // directory from the DLL search path.
    virtual void excludeCurrentDirectory() = 0;

    // Calls through a resolved export; the adapter knows each signature.
    virtual int32_t callHook(ProcAddress proc) = 0;                             // TAPHOOK_SetHook, _UnSetHook
    virtual int32_t callHookWithOption(ProcAddress proc, uint32_t option) = 0;  // TAPHOOK_SetOptionData
    virtual int32_t callRegisterSession(ProcAddress proc, WindowHandle window, uint32_t flags) = 0;
    virtual int32_t callUnRegisterSession(ProcAddress proc, WindowHandle window) = 0;
    // ProcessIdToSessionId(GetCurrentProcessId(), session).
    virtual bool callProcessIdToSessionId(ProcAddress proc, uint32_t* session) = 0;
    virtual uint32_t callActiveConsoleSession(ProcAddress proc) = 0;  // WTSGetActiveConsoleSessionId

protected:
    ~LibraryPort() = default;
};

// The locks of the routines that run on two threads at once.
enum class Routine {
    ApplyStoredSettings,
    SyncButtonSwap,
    ApplyCursorHiding,
    StartWorkerThreads,
    HandOptionToHook,
    SessionNotifications,  // the registration's retries against shutdown's unregistering
    Count
};

class LockPort {
public:
    virtual void lock(Routine routine) = 0;
    virtual void unlock(Routine routine) = 0;
    // ReleaseMutex and CloseHandle on the instance mutex, so that its name
    // is free as soon as the agent has shut down.
    virtual void releaseInstanceMutex(KernelHandle mutex) = 0;

protected:
    ~LockPort() = default;
};

class RoutineLock {
public:
    RoutineLock(LockPort& locks, Routine routine) : locks_(locks), routine_(routine) { locks_.lock(routine_); }
    ~RoutineLock() { locks_.unlock(routine_); }
    RoutineLock(const RoutineLock&) = delete;
    RoutineLock& operator=(const RoutineLock&) = delete;

private:
    LockPort& locks_;
    Routine routine_;
};

// Ports of the worker-thread side, defined in its own headers
// (worker_threads.h, sound.h, cursor.h).
class ThreadPort;
class SoundPort;
class CursorPort;

struct AgentPorts {
    RegistryPort& registry;
    DriverPort& driver;
    SleepPort& sleep;
    DisplayPort& display;
    WindowPort& window;
    TrayPort& tray;
    LibraryPort& library;
    LockPort& locks;
    ThreadPort* threads = nullptr;
    SoundPort* sound = nullptr;
    CursorPort* cursor = nullptr;
};

// The whole agent: one per process (the Win32 shell owns it), one per test.
struct Agent {
    AgentState state;
    AgentPorts ports;
};

// ---------------------------------------------------------------- routines

// Driver configuration (agent/driver_config.cpp).
void ApplyStoredSettings(Agent& agent);  // locked
void PushCalibrationTables(Agent& agent, RegKey userKey, Device& device, const PanelIdTable& panels);
void PushDisplayOrientation(Agent& agent);
void PushMonitorLayout(Agent& agent);
// The calibration-data thread's body: polls every second while its run flag
// is set and returns the exit code 1; the thread entry then closes the
// thread's own handle and empties the slot.
uint32_t CalibrationDataThread(Agent& agent);
// One poll of that thread: compare the panels, push tables on change.
void PollCalibrationData(Agent& agent);

// Main window (agent/main_window.cpp).
void SyncButtonSwap(Agent& agent);  // locked
// TAPHOOK_SetOptionData with Option, up to 5 attempts; under its lock, which
// shutdown's unhooking takes too, so the library is never called once freed.
void HandOptionToHook(Agent& agent);  // locked

// WTSRegisterSessionNotification again, from the session watch, when the
// first application could not register; true once registered. Locked
// against shutdown, which unregisters and frees the library.
bool RetrySessionNotifications(Agent& agent);  // locked

// Worker-thread side.
void ApplyCursorHiding(Agent& agent);  // locked
// Shutdown's SPI_SETCURSORS, under the ApplyCursorHiding lock.
void RestoreCursors(Agent& agent);
// Returns the Shell_NotifyIconA result; icon and tip may be 0.
bool SetTrayIcon(Agent& agent, WindowHandle window, uint32_t operation, uint32_t id, IconHandle icon, const char* tip);
void StartWorkerThreads(Agent& agent, WindowHandle mainWindow);  // locked
void StopWorkerThreads(Agent& agent);
void StartSessionWatchThread(Agent& agent, WindowHandle mainWindow);
// WM_WTSSESSION_CHANGE: wakes the session watch, if it waits on notifications.
void WakeSessionWatch(Agent& agent);
// Shutdown's end of the session watch: clears its run flag and wakes it.
void StopSessionWatchThread(Agent& agent);
// The FloatingIconWindow dialog procedure is Win32 code: FloatingIconWindowProc
// in agent/floating_window.h, handed to CreateDialogParamA by the WindowPort adapter.

}  // namespace tp::agent
