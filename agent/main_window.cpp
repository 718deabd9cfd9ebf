#include "main_window.h"

#include <cstring>

#include "agent_settings_block.h"
#include "text.h"

namespace tp::agent {

namespace {

WindowHandle mainWindow(Agent& a) { return a.state.mainWindow.get(); }

bool ntFamily(const Agent& a) { return a.state.osNt5.get() || a.state.osNt6.get(); }

bool shuttingDown(const Agent& a) { return a.state.shuttingDown.get() != 0; }

// Once: the WM_DESTROY that DestroyWindow sends comes back into Shutdown,
// which must not destroy the window a second time from inside its own
// destruction.
void destroyMainWindow(Agent& a) {
    if (!a.state.mainWindowDestroyed.exchange(1)) a.ports.window.destroyWindow(mainWindow(a));
}

void setTip(Agent& a, const char* tip) {
    std::memset(a.state.tipText, 0, sizeof a.state.tipText);
    appendText(a.state.tipText, sizeof a.state.tipText, tip);
}

// The steps below can come after a call that let sent messages in (the
// shell, the floating window): a shutdown that ran meanwhile has removed the
// icon, the window and the hook, and they must stay removed.
void applyTrayIcon(Agent& a) {
    if (shuttingDown(a)) return;
    if (a.state.settings.option.get() & opt::kTrayIcon) {
        setTip(a, kTipArmSecondary);
        a.state.trayIcon = kIconLeftButton;
        SetTrayIcon(a, mainWindow(a), win::kNimAdd, kTrayIconId,
                    a.ports.window.loadIcon(kIconLeftButton, kTrayIconSize), a.state.tipText);
    } else {
        SetTrayIcon(a, mainWindow(a), win::kNimDelete, kTrayIconId, 0, nullptr);
    }
}

void applyFloatingWindow(Agent& a) {
    if (shuttingDown(a)) return;
    WindowPort& w = a.ports.window;
    const bool wanted = a.state.settings.option.get() & opt::kFloatingIcon;
    const WindowHandle existing = a.state.floatingWindow.get();
    if (wanted && !existing) {
        const WindowHandle created = w.createFloatingWindow();
        if (!created) return;
        a.state.floatingWindow.set(created);
        w.showWindow(created, win::kSwHide);
        w.sendMessage(created, FLM_RESTORE_POSITION, 0, 0);
        // Without activation: it must not take the focus from the user's program.
        w.showWindow(created, win::kSwShowNa);
    } else if (!wanted && existing) {
        w.sendMessage(existing, FLM_RESET_POSITION, 0, 0);
        w.destroyWindow(existing);
        a.state.floatingWindow.set(0);
    }
}

// The hook is installed from the main thread, and on 64-bit Windows that is
// what 32-bit programs rely on: Windows cannot map the 64-bit hook DLL into
// them, so it calls the hook for their keys in this thread instead, through
// its message queue. The main thread must therefore keep answering messages
// (never wait long without pumping), or keys typed into a 32-bit program stall
// and the right click does not switch. Wine 8 does not do this (it tries to
// map the DLL, fails and skips the hook), so only real Windows shows it.
bool bindHook(Agent& a) {
    LibraryPort& lib = a.ports.library;
    if (!a.state.hookModule.get()) a.state.hookModule.set(LoadHookLibrary(a));
    const ModuleHandle hook = a.state.hookModule.get();
    if (!hook) return false;
    const ProcAddress setHook = lib.getProcAddress(hook, kHookSetHook);
    return setHook && lib.callHook(setHook) != 0;
}

void bindTerminalServices(Agent& a) {
    LibraryPort& lib = a.ports.library;
    const ModuleHandle wts = lib.loadLibrary(kWtsLibrary);
    a.state.wtsModule.set(wts);
    if (wts) {
        if (const ProcAddress reg = lib.getProcAddress(wts, kWtsRegister)) {
            const int32_t registered = lib.callRegisterSession(reg, mainWindow(a), win::kNotifyForAllSessions);
            a.state.sessionNotifications.set(registered != 0);
        }
    }
}

// The session watch's first look, taken before the first settings reach the
// driver or the hook: an agent started in a session that is not at the
// console (a restart after an install, a remote logon) leaves both alone.
void bindSessionQuery(Agent& a) {
    if (!ntFamily(a) || a.state.kernelModule.get()) return;
    LibraryPort& lib = a.ports.library;
    const ModuleHandle kernel = lib.loadLibrary(kKernelLibrary);
    a.state.kernelModule.set(kernel);
    if (!kernel) return;
    const ProcAddress sessionOf = lib.getProcAddress(kernel, kProcessIdToSessionId);
    uint32_t session = 0;
    // Without its own session the agent cannot tell whether it is at the
    // console: it then drives the panel, unwatched, as on a single-user system.
    if (!sessionOf || !lib.callProcessIdToSessionId(sessionOf, &session)) return;
    a.state.ownSessionId.set(session);
    const ProcAddress active = lib.getProcAddress(kernel, kActiveConsoleSession);
    a.state.activeSessionQuery.set(active);
    if (active) a.state.sessionActive.set(lib.callActiveConsoleSession(active) == session);
}

bool drivesThePanel(const Agent& a) { return a.state.sessionActive.get() != 0; }

void pushDisplay(Agent& a) {
    if (shuttingDown(a) || !drivesThePanel(a)) return;
    PushDisplayOrientation(a);
    if (!(a.state.settings.disableMode.get() & 1)) PushMonitorLayout(a);
}

void takeSettings(AgentSettings& s, const AgentSettingsBlock& b) {
    s.freq.set(b.freq);
    s.duration.set(b.duration);
    s.option.set(b.option);
    s.disableMode.set(b.disableMode);
    for (int i = 0; i < kMaxMonitors; ++i) {
        s.monitorFreq[i].set(b.monitorFreq[i]);
        s.monitorDuration[i].set(b.monitorDuration[i]);
        s.monitorOption[i].set(b.monitorOption[i]);
    }
}

}  // namespace

ModuleHandle LoadHookLibrary(Agent& a) {
    LibraryPort& lib = a.ports.library;
    char path[260];
    if (!lib.moduleFolder(path) || !appendText(path, sizeof path, kHookLibrary)) return 0;
    lib.excludeCurrentDirectory();
    return lib.loadLibrary(path);
}

void HandOptionToHook(Agent& a) {
    RoutineLock lock(a.ports.locks, Routine::HandOptionToHook);
    // The hook's option word is one for every session.
    if (shuttingDown(a) || !drivesThePanel(a)) return;
    const ModuleHandle hook = a.state.hookModule.get();
    if (!hook) return;  // settings arriving before the hook was bound
    for (int attempt = 0; attempt < 5; ++attempt) {
        const ProcAddress proc = a.ports.library.getProcAddress(hook, kHookSetOptionData);
        if (proc && a.ports.library.callHookWithOption(proc, a.state.settings.option.get()) != 0) return;
    }
}

bool RetrySessionNotifications(Agent& a) {
    RoutineLock lock(a.ports.locks, Routine::SessionNotifications);
    if (shuttingDown(a)) return false;
    if (a.state.sessionNotifications.get()) return true;
    const ModuleHandle wts = a.state.wtsModule.get();
    if (!wts) return false;
    const ProcAddress reg = a.ports.library.getProcAddress(wts, kWtsRegister);
    if (!reg || !a.ports.library.callRegisterSession(reg, mainWindow(a), win::kNotifyForAllSessions)) return false;
    a.state.sessionNotifications.set(1);
    return true;
}

void OnApplySettings(Agent& a, uintptr_t wParam) {
    // A pending or re-entrant application after shutdown began would hide the
    // cursors and add the tray icon again with no agent left to undo it.
    if (shuttingDown(a)) return;
    const bool first = wParam == 0;
    if (first) bindSessionQuery(a);
    ApplyStoredSettings(a);
    ApplyCursorHiding(a);
    applyTrayIcon(a);
    applyFloatingWindow(a);
    if (shuttingDown(a)) return;
    if (first && !bindHook(a)) {
        a.ports.display.messageBox(mainWindow(a), kHookMissingText, kMessageCaption,
                                   win::kMbIconWarning | win::kMbSetForeground);
        destroyMainWindow(a);
        return;
    }
    HandOptionToHook(a);
    SyncButtonSwap(a);
    if (first && !shuttingDown(a)) {
        if (ntFamily(a)) bindTerminalServices(a);
        // In a session away from the console the watch starts them on its return.
        if (drivesThePanel(a)) StartWorkerThreads(a, mainWindow(a));
        if (ntFamily(a) && a.state.activeSessionQuery.get()) StartSessionWatchThread(a, mainWindow(a));
    }
    pushDisplay(a);
}

void OnCopyData(Agent& a, const uint8_t* data, size_t size) {
    if (shuttingDown(a)) return;
    AgentSettingsBlock block;
    if (!decodeAgentSettingsBlock(data, size, &block)) return;
    takeSettings(a.state.settings, block);
    ApplyCursorHiding(a);
    applyTrayIcon(a);
    applyFloatingWindow(a);
    HandOptionToHook(a);
    if (!shuttingDown(a) && drivesThePanel(a)) {
        Device device(a.ports.driver, kPanelDevicePath);
        if (device) device.sendDword(req::kSetOption, a.state.settings.option.get());
    }
    SyncButtonSwap(a);
    pushDisplay(a);
}

void OnButtonMode(Agent& a, intptr_t lParam) {
    const bool arm = lParam == win::kWmLButtonUp;
    if (!arm && lParam != win::kWmRButtonUp) return;
    if (shuttingDown(a) || !drivesThePanel(a)) return;
    Device device(a.ports.driver, kPanelDevicePath);
    if (!device) return;
    if (!device.send(arm ? req::kButtonSecondary : req::kButtonPrimary)) return;
    setTip(a, arm ? kTipBackToPrimary : kTipArmSecondary);
    // Icon 103 is the physical left button, 104 the right: which one the
    // touch now acts as depends on the swap.
    const bool showRight = arm != static_cast<bool>(a.state.buttonsSwapped.get());
    a.state.trayIcon = showRight ? kIconRightButton : kIconLeftButton;
    SetTrayIcon(a, mainWindow(a), win::kNimModify, kTrayIconId,
                a.ports.window.loadIcon(a.state.trayIcon, kTrayIconSize), a.state.tipText);
    if (const WindowHandle floating = a.state.floatingWindow.get())
        a.ports.window.postMessage(floating, showRight ? FLM_SHOW_RIGHT : FLM_SHOW_LEFT, 0, 0);
}

void OnTaskbarCreated(Agent& a) {
    // A new taskbar (Explorer restarted, or up only after our first NIM_ADD)
    // knows no icons. An empty tip means the first application has not run
    // yet; it adds the icon itself.
    if (shuttingDown(a) || !a.state.tipText[0]) return;
    if (!(a.state.settings.option.get() & opt::kTrayIcon)) return;
    SetTrayIcon(a, mainWindow(a), win::kNimAdd, kTrayIconId, a.ports.window.loadIcon(a.state.trayIcon, kTrayIconSize),
                a.state.tipText);
}

void SyncButtonSwap(Agent& a) {
    RoutineLock lock(a.ports.locks, Routine::SyncButtonSwap);
    if (shuttingDown(a)) return;  // shutdown has told the driver "not swapped"
    if (!drivesThePanel(a)) return;  // the console's user has their own swap state
    Device device(a.ports.driver, kPanelDevicePath);
    if (!device) return;
    if (a.ports.display.getSystemMetrics(win::kSmSwapButton)) {
        device.send(req::kButtonsSwapped);
        a.state.buttonsSwapped.set(1);
    } else {
        device.send(req::kButtonsNotSwapped);
        a.state.buttonsSwapped.set(0);
    }
    a.ports.window.postMessage(mainWindow(a), AGM_BUTTON_MODE, 0, win::kWmRButtonUp);
}

void OnSettingChange(Agent& a, uintptr_t wParam) {
    if (a.state.sessionActive.get() && wParam == win::kSpiSetMouseButtonSwap) SyncButtonSwap(a);
}

void OnDisplayChange(Agent& a) {
    if (!shuttingDown(a)) pushDisplay(a);
}

void OnPowerBroadcast(Agent& a, uintptr_t wParam) {
    if (!a.state.sessionActive.get() || shuttingDown(a)) return;
    if (wParam == win::kPbtApmSuspend) {
        StopWorkerThreads(a);
        // Waits out a tone: at most the longest the console can set.
        a.ports.sleep.sleep(ClampDuration(a.state.settings.duration.get()) + 10);
    } else if (wParam == win::kPbtApmResumeSuspend) {
        a.ports.sleep.sleep(25);
        ApplyStoredSettings(a);
        ApplyCursorHiding(a);
        SyncButtonSwap(a);
        StartWorkerThreads(a, mainWindow(a));
    }
}

void Shutdown(Agent& a) {
    // Once: a WM_DESTROY after WM_ENDSESSION, or one sent while this one
    // waits in Shell_NotifyIconA, finds it begun. From here on nothing
    // re-applies (see agent.h), so what is restored below stays restored.
    if (a.state.shuttingDown.exchange(1)) return;
    LibraryPort& lib = a.ports.library;
    RestoreCursors(a);
    if (drivesThePanel(a)) {
        RoutineLock lock(a.ports.locks, Routine::SyncButtonSwap);
        Device device(a.ports.driver, kPanelDevicePath);
        if (device) {
            device.send(req::kButtonsNotSwapped);
            a.state.buttonsSwapped.set(0);
        }
    }
    if (const WindowHandle floating = a.state.floatingWindow.exchange(0)) a.ports.window.destroyWindow(floating);
    SetTrayIcon(a, mainWindow(a), win::kNimDelete, kTrayIconId, 0, nullptr);
    StopWorkerThreads(a);
    if (ntFamily(a)) StopSessionWatchThread(a);
    ModuleHandle hook = 0;
    {
        // A session watch handing the option word over right now finishes
        // first; after this nobody calls into the library.
        RoutineLock lock(a.ports.locks, Routine::HandOptionToHook);
        hook = a.state.hookModule.exchange(0);
        if (hook) {
            if (const ProcAddress unset = lib.getProcAddress(hook, kHookUnSetHook)) lib.callHook(unset);
        }
    }
    if (hook) {
        // Unhooking does not unload the library from the programs it was
        // mapped into; each lets go at its next message, which this gives
        // them now (the installer needs the file free).
        a.ports.window.postMessage(win::kHwndBroadcast, win::kWmNull, 0, 0);
        for (int i = 0; i < 10; ++i) a.ports.sleep.sleep(10);
        lib.freeLibrary(hook);
    }
    if (ntFamily(a)) {
        // A retry of the registration on the session watch finishes first.
        RoutineLock lock(a.ports.locks, Routine::SessionNotifications);
        if (const ModuleHandle wts = a.state.wtsModule.exchange(0)) {
            if (const ProcAddress unreg = lib.getProcAddress(wts, kWtsUnRegister))
                lib.callUnRegisterSession(unreg, mainWindow(a));
            lib.freeLibrary(wts);
            if (const ModuleHandle kernel = a.state.kernelModule.exchange(0)) lib.freeLibrary(kernel);
        }
    }
    // The window goes first and the mutex last: whoever looks for a running
    // agent (Tapstart, the installer) finds its window for as long as it
    // holds the mutex and the hook, and a new agent started once the window
    // is gone is not refused.
    destroyMainWindow(a);
    if (const KernelHandle mutex = a.state.instanceMutex.exchange(0)) a.ports.locks.releaseInstanceMutex(mutex);
    a.ports.window.postQuitMessage(0);
}

bool HandleMainWindowMessage(Agent& a, uint32_t message, uintptr_t wParam, intptr_t lParam, const uint8_t* copyData,
                             size_t copySize) {
    switch (message) {
        case win::kWmDestroy:
        // Handled rather than left to DefWindowProcA, whose DestroyWindow
        // would run the shutdown from inside the window's destruction.
        case win::kWmClose:
            Shutdown(a);
            return true;
        case win::kWmEndSession:
            // FALSE: the end of the session was cancelled (by the user, or a
            // program refused it); the session goes on, and so does the agent.
            if (wParam) Shutdown(a);
            return true;
        case win::kWmSettingChange:
            OnSettingChange(a, wParam);
            return true;
        case win::kWmCopyData:
            OnCopyData(a, copyData, copySize);
            return true;
        case win::kWmDisplayChange:
            OnDisplayChange(a);
            return true;
        case win::kWmPowerBroadcast:
            OnPowerBroadcast(a, wParam);
            return true;
        case win::kWmWtsSessionChange:
            WakeSessionWatch(a);
            return true;
        case AGM_BUTTON_MODE:
            OnButtonMode(a, lParam);
            return true;
        case AGM_APPLY_SETTINGS:
            OnApplySettings(a, wParam);
            return true;
        default:
            // A registered message: its number is known only at run time.
            if (message && message == a.state.taskbarCreatedMessage.get()) {
                OnTaskbarCreated(a);
                return true;
            }
            return false;
    }
}

bool StartAgent(Agent& a, StartPort& start, const char* commandLine) {
    if (start.instanceRunning(kMutexName)) return false;
    if (IsRunOnceCommandLine(commandLine)) a.state.runOnce.set(1);
    bool existed = false;
    a.state.instanceMutex.set(start.createInstanceMutex(kMutexName, &existed));
    auto giveUp = [&] {
        if (const KernelHandle mutex = a.state.instanceMutex.exchange(0)) a.ports.locks.releaseInstanceMutex(mutex);
        return false;
    };
    // Two agents started in the same instant both pass the OpenMutexA check;
    // the second to create the mutex learns it here. A mutex that can be
    // neither opened nor created is held by an agent we may not see (another
    // token, an elevated one): that is another instance too.
    if (existed || !a.state.instanceMutex.get()) return giveUp();
    uint32_t platformId = 0, major = 0;
    if (start.osVersion(&platformId, &major)) {
        const OsFlags os = OsFlagsFromVersion(platformId, major);
        a.state.osNt5.set(os.nt5);
        a.state.osNt6.set(os.nt6);
    }
    bindSessionQuery(a);
    ApplyStoredSettings(a);
    a.state.taskbarCreatedMessage.set(start.registerWindowMessage(kTaskbarCreated));
    // An agent started elevated would otherwise never hear a non-elevated
    // Explorer's "TaskbarCreated" (no tray icon after Explorer restarts) nor
    // the console's settings: messages from a lower integrity level are
    // filtered. Just these two are let through.
    if (const uint32_t taskbarCreated = a.state.taskbarCreatedMessage.get())
        start.allowMessageFromLowerIntegrity(taskbarCreated);
    start.allowMessageFromLowerIntegrity(win::kWmCopyData);
    if (!start.registerWindowClass()) return giveUp();
    const WindowHandle window = start.createMainWindow();
    // A windowless agent would hold the mutex, and keep every later agent
    // out, for the whole session.
    if (!window) return giveUp();
    a.state.mainWindow.set(window);
    a.ports.window.postMessage(window, AGM_APPLY_SETTINGS, 0, 0);
    return true;
}

bool IsRunOnceCommandLine(const char* commandLine) {
    if (!commandLine) return false;
    const char* want = kRunOnceArgument;
    for (; *commandLine && *want; ++commandLine, ++want) {
        char c = *commandLine;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != *want) return false;
    }
    return *commandLine == '\0' && *want == '\0';
}

OsFlags OsFlagsFromVersion(uint32_t platformId, uint32_t majorVersion) {
    if (platformId != kVerPlatformWin32Nt) return {false, false};
    return {majorVersion <= 5, majorVersion > 5};
}

}  // namespace tp::agent
