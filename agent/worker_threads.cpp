#include "worker_threads.h"

#include <optional>

#include "calibration_command.h"
#include "sound.h"

namespace tp::agent {

bool ThreadPriorityFor(uint32_t tPriority, int* priority) {
    // THREAD_PRIORITY_LOWEST ... THREAD_PRIORITY_TIME_CRITICAL.
    static constexpr int kPriorities[] = {-2, -1, 0, 1, 2, 15};
    if (tPriority >= sizeof kPriorities / sizeof kPriorities[0]) return false;
    *priority = kPriorities[tPriority];
    return true;
}

namespace {

constexpr uint32_t kRetryPauseMs = 500;
constexpr uint32_t kAfterWakePauseMs = 10;

// Every change to a slot, and every signal sent to a waiting thread's event,
// happens under the StartWorkerThreads lock. A thread that finds its run flag
// clear gives its slot up under that lock too, so a start that comes before
// it has done so finds the slot filled and simply sets the flag again: the
// thread then goes on (it is reused) instead of ending behind the starter's
// back. No thread is lost and none is doubled, and nobody has to wait.
class SlotLock : public RoutineLock {
public:
    explicit SlotLock(Agent& a) : RoutineLock(a.ports.locks, Routine::StartWorkerThreads) {}
};

enum class Ending { Stopped, Failed };

// Under the slot lock. False when a start came in while the thread was
// ending: it is to run again.
bool giveUpSlot(Agent& a, ThreadSlot& slot, Ending ending) {
    SlotLock lock(a);
    if (ending == Ending::Stopped && slot.run.get()) return false;
    slot.run.set(0);
    if (const KernelHandle own = slot.handle.exchange(0)) a.ports.threads->closeHandle(own);
    return true;
}

// Under the slot lock.
void startSlot(Agent& a, ThreadSlot& slot, ThreadEntry entry, bool prioritized) {
    if (a.state.shuttingDown.get()) return;  // shutdown has stopped them for good
    slot.run.set(1);
    if (slot.handle.get()) return;  // still alive: the flag keeps it (see SlotLock)
    ThreadPort& threads = *a.ports.threads;
    const KernelHandle thread = threads.createThread(entry, &a);
    if (!thread) {
        slot.run.set(0);
        return;
    }
    slot.handle.set(thread);
    int priority = 0;
    if (prioritized && ThreadPriorityFor(a.state.settings.tPriority.get(), &priority))
        threads.setThreadPriority(thread, priority);
    threads.resumeThread(thread);
}

// A waiting thread's event, published where StopWorkerThreads finds it.
class OwnEvent {
public:
    OwnEvent(Agent& a, Handle& published) : a_(a), published_(published), event_(a.ports.threads->createEvent()) {}
    ~OwnEvent() {
        if (!event_) return;
        {
            SlotLock lock(a_);
            published_.set(0);
        }
        a_.ports.threads->closeHandle(event_);
    }
    OwnEvent(const OwnEvent&) = delete;
    OwnEvent& operator=(const OwnEvent&) = delete;

    KernelHandle get() const { return event_; }

    // The driver keeps 32 bits of the handle. Kernel handles are small
    // per-process indices, so on 64-bit Windows the truncation loses nothing.
    void registration(uint8_t (&out)[kEventRegistrationSize]) const {
        encodeEventRegistration(out, static_cast<uint32_t>(event_));
    }

private:
    Agent& a_;
    Handle& published_;
    KernelHandle event_;
};

void readPanelEvent(Agent& a, bool* reconnect, const uint8_t (&registration)[kEventRegistrationSize]) {
    SleepPort& sleep = a.ports.sleep;
    Device device(a.ports.driver, kPanelDevicePath);
    if (!device) {
        *reconnect = true;
        sleep.sleep(kRetryPauseMs);
        return;
    }
    uint8_t word[kPanelEventWordSize] = {};
    if (!device.send(req::kReadPanelEvent, nullptr, 0, word, sizeof word)) {
        device.close();
        sleep.sleep(kRetryPauseMs);
        return;
    }
    // Register again before anything slow, so the next touch is not missed.
    a.state.panelRegistrationPending.set(device.send(req::kRegisterPanelEvent, registration, sizeof registration));
    device.close();
    const uint32_t eventWord = get32(word);
    TouchSound sound;
    if (ChooseTouchSound(a.state.settings, eventWord, &sound))
        PlayTouchSound(a, sound.option, sound.frequency, sound.duration);
    if (decodePanelEvent(eventWord).code == kEventSecondaryRelease)
        a.ports.window.postMessage(a.state.mainWindow.get(), AGM_BUTTON_MODE, 0, win::kWmRButtonUp);
}

Ending panelEventLife(Agent& a) {
    AgentState& s = a.state;
    ThreadPort& threads = *a.ports.threads;
    SleepPort& sleep = a.ports.sleep;
    s.panelRegistrationPending.set(0);
    OwnEvent event(a, s.panelEvent);
    if (!event.get()) return Ending::Failed;
    {
        // A stop that came before this event existed has nothing to wake.
        SlotLock lock(a);
        s.panelEvent.set(event.get());
        s.eventsEnabled.set(1);
    }
    uint8_t registration[kEventRegistrationSize];
    event.registration(registration);
    bool reconnect = false;
    while (s.panelEventThread.run.get()) {
        {
            Device device(a.ports.driver, kPanelDevicePath);
            if (!device) {
                reconnect = true;
                sleep.sleep(kRetryPauseMs);
                continue;
            }
            if (!s.panelRegistrationPending.get()) {
                if (!device.send(req::kRegisterPanelEvent, registration, sizeof registration)) {
                    device.close();
                    sleep.sleep(kRetryPauseMs);
                    continue;
                }
                s.panelRegistrationPending.set(1);
            }
        }
        if (reconnect) {
            // Both do nothing once shutdown has begun.
            ApplyStoredSettings(a);
            SyncButtonSwap(a);
            reconnect = false;
        }
        threads.waitForEvent(event.get());
        bool stopWake;
        {
            // Reset and look at the flag in one step with StopWorkerThreads,
            // so a stop is never mistaken for a touch nor a touch for a stop
            // that was taken back.
            SlotLock lock(a);
            threads.resetEvent(event.get());
            stopWake = !s.eventsEnabled.exchange(1);
        }
        sleep.sleep(kAfterWakePauseMs);
        s.panelRegistrationPending.set(0);
        if (stopWake) continue;
        RunCalibrationCommand(a);
        readPanelEvent(a, &reconnect, registration);
    }
    s.panelRegistrationPending.set(0);
    return Ending::Stopped;
}

Ending settingsNotifyLife(Agent& a) {
    AgentState& s = a.state;
    ThreadPort& threads = *a.ports.threads;
    SleepPort& sleep = a.ports.sleep;
    OwnEvent event(a, s.settingsEvent);
    if (!event.get()) return Ending::Failed;
    {
        SlotLock lock(a);
        s.settingsEvent.set(event.get());
        s.settingsStopWake.set(0);
    }
    uint8_t registration[kEventRegistrationSize];
    event.registration(registration);
    while (s.settingsNotifyThread.run.get()) {
        {
            Device device(a.ports.driver, kPanelDevicePath);
            if (!device) {
                sleep.sleep(kRetryPauseMs);
                continue;
            }
            if (!device.send(req::kRegisterSettingsEvent, registration, sizeof registration)) {
                device.close();
                sleep.sleep(kRetryPauseMs);
                continue;
            }
        }
        threads.waitForEvent(event.get());
        bool stopWake;
        {
            SlotLock lock(a);
            threads.resetEvent(event.get());
            stopWake = s.settingsStopWake.exchange(0);
        }
        if (!s.settingsNotifyThread.run.get()) break;
        if (stopWake) continue;  // a stop that a start took back
        a.ports.window.sendMessage(s.mainWindow.get(), AGM_APPLY_SETTINGS, 1, 0);
    }
    return Ending::Stopped;
}

// One look at the active console session: stop the workers when another
// session has it, re-apply and restart them when this one has it again.
void checkSession(Agent& a) {
    AgentState& s = a.state;
    const uint32_t active = a.ports.library.callActiveConsoleSession(s.activeSessionQuery.get());
    if (active == s.ownSessionId.get()) {
        if (!s.sessionActive.get() && !s.shuttingDown.get()) {
            a.ports.sleep.sleep(kSessionPollMs);
            // This session drives the panel again: what follows reaches the
            // driver and the hook only from here on.
            s.sessionActive.set(1);
            // Each of these does nothing once shutdown has begun.
            ApplyStoredSettings(a);
            ApplyCursorHiding(a);
            SyncButtonSwap(a);
            // The hook library's option word is one for every session: the
            // user of the session we left may have set their own meanwhile.
            HandOptionToHook(a);
            StartWorkerThreads(a, s.mainWindow.get());
            // The display is measured on the main thread only; this session's
            // may differ from the one the driver was told last.
            a.ports.window.postMessage(s.mainWindow.get(), win::kWmDisplayChange, 0, 0);
        }
        s.sessionActive.set(1);
    } else {
        if (s.sessionActive.get()) StopWorkerThreads(a);
        s.sessionActive.set(0);
    }
}

// Takes a WM_WTSSESSION_CHANGE that came (or comes) in any time before now,
// and clears the event for the next wait, in one step with WakeSessionWatch.
bool takeSessionChange(Agent& a, KernelHandle event) {
    SlotLock lock(a);
    if (event) a.ports.threads->resetEvent(event);
    return a.state.sessionChangePending.exchange(0) != 0;
}

Ending sessionWatchLife(Agent& a) {
    AgentState& s = a.state;
    ThreadPort& threads = *a.ports.threads;
    SleepPort& sleep = a.ports.sleep;
    // Notifications registered: sleep on the event that WM_WTSSESSION_CHANGE
    // sets. Otherwise (or without an event) poll slowly.
    std::optional<OwnEvent> event;
    auto listen = [&] {
        event.emplace(a, s.sessionEvent);
        if (!event->get()) return false;
        SlotLock lock(a);
        s.sessionEvent.set(event->get());
        // A notification that found no event to set is not lost.
        if (s.sessionChangePending.get()) threads.setEvent(event->get());
        return true;
    };
    bool notified = s.sessionNotifications.get() && listen();
    uint32_t settleLeft = 0;  // ms of quick polls after a notification
    // The first look comes at once: the session may have changed before the
    // watch (or its notifications) began.
    if (s.sessionWatchThread.run.get()) checkSession(a);
    while (s.sessionWatchThread.run.get()) {
        if (!notified) {
            sleep.sleep(kSessionFallbackPollMs);
            if (!s.sessionWatchThread.run.get()) break;
            // A change that came before the registration is found by the
            // look below, as every poll finds one.
            if (!s.sessionNotifications.get() && RetrySessionNotifications(a)) notified = listen();
        } else if (settleLeft) {
            sleep.sleep(kSessionPollMs);
            settleLeft -= settleLeft < kSessionPollMs ? settleLeft : kSessionPollMs;
            if (takeSessionChange(a, event->get())) settleLeft = kSessionSettleMs;
        } else {
            threads.waitForEventTimeout(event->get(), kSessionSafetyPollMs);
            // Woken or timed out: a notification that came meanwhile, even
            // after the time ran out, is in the flag.
            const bool changed = takeSessionChange(a, event->get());
            if (!s.sessionWatchThread.run.get()) break;
            if (changed) settleLeft = kSessionSettleMs;
        }
        checkSession(a);
    }
    return Ending::Stopped;
}

Ending calibrationDataLife(Agent& a) {
    CalibrationDataThread(a);
    return Ending::Stopped;
}

template <Ending (*Life)(Agent&), ThreadSlot AgentState::*Slot>
unsigned long TP_THREAD_API workerEntry(void* parameter) {
    Agent& a = *static_cast<Agent*>(parameter);
    ThreadSlot& slot = a.state.*Slot;
    while (!giveUpSlot(a, slot, Life(a))) {}
    return 1;
}

}  // namespace

void StartWorkerThreads(Agent& a, WindowHandle) {
    // The main window reaches the threads through the agent's state.
    SlotLock lock(a);
    AgentState& s = a.state;
    startSlot(a, s.panelEventThread, &workerEntry<panelEventLife, &AgentState::panelEventThread>, true);
    startSlot(a, s.calibrationDataThread, &workerEntry<calibrationDataLife, &AgentState::calibrationDataThread>, true);
    if (s.osNt6.get() && s.runOnce.get())
        startSlot(a, s.settingsNotifyThread, &workerEntry<settingsNotifyLife, &AgentState::settingsNotifyThread>, true);
}

void StopWorkerThreads(Agent& a) {
    SlotLock lock(a);
    AgentState& s = a.state;
    ThreadPort& threads = *a.ports.threads;
    if (s.panelEventThread.run.get()) {
        s.panelEventThread.run.set(0);
        s.eventsEnabled.set(0);
        if (const KernelHandle event = s.panelEvent.get()) threads.setEvent(event);
    }
    if (s.calibrationDataThread.run.get()) s.calibrationDataThread.run.set(0);
    if (s.settingsNotifyThread.run.get() && s.osNt6.get()) {
        s.settingsNotifyThread.run.set(0);
        s.settingsStopWake.set(1);
        if (const KernelHandle event = s.settingsEvent.get()) threads.setEvent(event);
    }
}

void StartSessionWatchThread(Agent& a, WindowHandle) {
    SlotLock lock(a);
    startSlot(a, a.state.sessionWatchThread, &workerEntry<sessionWatchLife, &AgentState::sessionWatchThread>, false);
}

void WakeSessionWatch(Agent& a) {
    SlotLock lock(a);
    a.state.sessionChangePending.set(1);
    if (const KernelHandle event = a.state.sessionEvent.get()) a.ports.threads->setEvent(event);
}

void StopSessionWatchThread(Agent& a) {
    SlotLock lock(a);
    a.state.sessionWatchThread.run.set(0);
    if (const KernelHandle event = a.state.sessionEvent.get()) a.ports.threads->setEvent(event);
}

}  // namespace tp::agent
