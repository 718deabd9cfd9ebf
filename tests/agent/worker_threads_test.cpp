// The worker threads under the thread simulator: the start and stop protocol
// over the slots (a quick restart included), and the panel-event,
// settings-notify and session-watch loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "main_window.h"
#include "worker_rig.h"
#include "worker_threads.h"

namespace tp::test {
namespace {

using agent::KernelHandle;
using agent::Routine;

constexpr char kPanelPath[] = "\\\\.\\TAPTPU";

int count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

std::string registrationLine(uint32_t code, KernelHandle event) {
    uint8_t bytes[kEventRegistrationSize];
    encodeEventRegistration(bytes, static_cast<uint32_t>(event));
    char head[32];
    std::snprintf(head, sizeof head, "ioctl 0x%06x in=", code);
    return head + FakeDriver::hex(bytes, sizeof bytes);
}

class WorkerThreads : public ::testing::Test {
protected:
    WorkerRig rig;
    agent::Agent& a = rig.agent;
    agent::AgentState& s = rig.agent.state;
    ThreadSim& sim = rig.sim;

    void withSettingsThread() {
        s.osNt6.set(1);
        s.runOnce.set(1);
    }
    void start() { agent::StartWorkerThreads(a, WorkerRig::kMainWindow); }
    void stop() { agent::StopWorkerThreads(a); }
    int reads() const { return rig.driver.countOf(req::kReadPanelEvent); }
    bool alive(const agent::ThreadSlot& slot) const {
        const KernelHandle h = slot.handle.get();
        if (!h) return false;
        const auto t = sim.thread(h);
        return t.resumed && !t.ended && t.closes == 0;
    }
    void expectClean() {
        EXPECT_EQ(sim.overlaps(), 0) << "a worker was doubled";
        EXPECT_EQ(sim.handleErrors(), 0) << "a handle was closed twice or used after closing";
    }
};

// ---------------------------------------------------------------- start and stop

TEST_F(WorkerThreads, StartCreatesEachWorkerOnceSuspendedWithThePriorityFromTPriority) {
    withSettingsThread();
    s.settings.tPriority.set(4);
    start();
    EXPECT_EQ(rig.lines("CreateThread"),
              (std::vector<std::string>{"CreateThread -> 0x7100", "CreateThread -> 0x7104", "CreateThread -> 0x7108"}));
    // Priority before the thread runs, as CreateThread then SetThreadPriority would.
    for (const char* h : {"0x7100", "0x7104", "0x7108"}) {
        const int prio = rig.journal.find(std::string("SetThreadPriority ") + h + " 2");
        EXPECT_GE(prio, 0) << h;
        EXPECT_LT(prio, rig.journal.find(std::string("ResumeThread ") + h)) << h;
    }
    EXPECT_EQ(s.panelEventThread.handle.get(), 0x7100u);
    EXPECT_EQ(s.calibrationDataThread.handle.get(), 0x7104u);
    EXPECT_EQ(s.settingsNotifyThread.handle.get(), 0x7108u);
    start();
    EXPECT_EQ(rig.lines("CreateThread").size(), 3u) << "a running worker is never started twice";
    expectClean();
}

TEST_F(WorkerThreads, UnknownTPriorityLeavesTheDefaultPriority) {
    for (uint32_t value : {6u, 0xFFFFFFFFu}) {
        WorkerRig r;
        r.agent.state.settings.tPriority.set(value);
        agent::StartWorkerThreads(r.agent, WorkerRig::kMainWindow);
        EXPECT_TRUE(r.lines("SetThreadPriority").empty()) << value;
        EXPECT_EQ(r.lines("ResumeThread").size(), 2u);
    }
}

TEST_F(WorkerThreads, SettingsThreadOnlyOnNt6StartedWithRunOnce) {
    const struct {
        uint32_t nt6, runOnce;
        size_t threads;
    } cases[] = {{0, 0, 2}, {1, 0, 2}, {0, 1, 2}, {1, 1, 3}};
    for (const auto& c : cases) {
        WorkerRig r;
        r.agent.state.osNt6.set(c.nt6);
        r.agent.state.runOnce.set(c.runOnce);
        agent::StartWorkerThreads(r.agent, WorkerRig::kMainWindow);
        EXPECT_EQ(r.lines("CreateThread").size(), c.threads) << c.nt6 << c.runOnce;
    }
}

TEST_F(WorkerThreads, StopEndsEveryThreadWhichClosesItsOwnHandleAndEmptiesItsSlot) {
    withSettingsThread();
    start();
    sim.advance(5);
    const KernelHandle panelEvent = s.panelEvent.get();
    const KernelHandle settingsEvent = s.settingsEvent.get();
    ASSERT_NE(panelEvent, 0u);
    ASSERT_NE(settingsEvent, 0u);
    EXPECT_EQ(sim.thread(0x7100).waitingOn, panelEvent);
    EXPECT_EQ(sim.thread(0x7108).waitingOn, settingsEvent);

    stop();
    EXPECT_EQ(s.eventsEnabled.get(), 0u);
    EXPECT_GE(rig.journal.find("SetEvent " + hexOf(panelEvent)), 0);
    EXPECT_GE(rig.journal.find("SetEvent " + hexOf(settingsEvent)), 0);
    sim.advance(10);
    // The waiting threads end at once (after the panel thread's pause); the poller after its sleep.
    EXPECT_TRUE(sim.thread(0x7100).ended);
    EXPECT_TRUE(sim.thread(0x7108).ended);
    EXPECT_FALSE(sim.thread(0x7104).ended);
    sim.advance(1000);
    EXPECT_EQ(sim.aliveThreads(), 0);
    for (const auto& t : sim.threads()) EXPECT_EQ(t.closes, 1) << hexOf(t.handle);
    EXPECT_EQ(s.panelEventThread.handle.get(), 0u);
    EXPECT_EQ(s.calibrationDataThread.handle.get(), 0u);
    EXPECT_EQ(s.settingsNotifyThread.handle.get(), 0u);
    EXPECT_EQ(s.panelEvent.get(), 0u);
    EXPECT_EQ(s.settingsEvent.get(), 0u);
    EXPECT_EQ(sim.openEvents(), 0);
    EXPECT_EQ(reads(), 0) << "the stop's wake-up is not a touch";
    EXPECT_TRUE(rig.lines("SendMessage").empty()) << "nor a settings change";
    EXPECT_EQ(s.panelRegistrationPending.get(), 0u);

    start();  // after they ended: new threads
    EXPECT_EQ(rig.lines("CreateThread").size(), 6u);
    sim.advance(5);
    EXPECT_TRUE(alive(s.panelEventThread) && alive(s.calibrationDataThread) && alive(s.settingsNotifyThread));
    expectClean();
}

TEST_F(WorkerThreads, QuickRestartKeepsTheThreadsThatHaveNotEndedYet) {
    withSettingsThread();
    start();
    sim.advance(5);
    const int registrations = rig.driver.countOf(req::kRegisterPanelEvent);
    stop();
    start();
    sim.advance(3000);
    EXPECT_EQ(rig.lines("CreateThread").size(), 3u) << "nothing new was needed";
    EXPECT_TRUE(alive(s.panelEventThread));
    EXPECT_TRUE(alive(s.calibrationDataThread));
    EXPECT_TRUE(alive(s.settingsNotifyThread));
    EXPECT_EQ(s.panelEventThread.handle.get(), 0x7100u);
    EXPECT_EQ(reads(), 0);
    EXPECT_TRUE(rig.lines("SendMessage").empty()) << "a stop taken back is no settings change";
    EXPECT_EQ(rig.driver.countOf(req::kRegisterPanelEvent), registrations + 1) << "registered again after the wake";
    EXPECT_EQ(sim.thread(0x7100).waitingOn, s.panelEvent.get());
    // And the reused threads still do their work.
    rig.signalPanelEvent(encodePanelEvent(0, kEventTouch));
    sim.advance(20);
    EXPECT_EQ(reads(), 1);
    rig.signalSettingsChanged();
    sim.runUntilIdle();
    EXPECT_EQ(rig.lines("SendMessage").size(), 1u);
    expectClean();
}

// The window that matters: a thread has found its run flag clear and is about
// to give up its slot when the start comes.
TEST_F(WorkerThreads, StartWhileAThreadIsGivingUpItsSlotKeepsThatThread) {
    rig.driver.setPresent(kPanelPath, false);  // both workers just sleep: no locks but the last
    start();
    sim.runUntilIdle();
    sim.pauseBeforeLock(Routine::StartWorkerThreads);
    stop();
    sim.advance(1000);  // both wake, find the flag clear and stop before the slot lock
    ASSERT_EQ(sim.pausedThreads(), 2);
    start();
    EXPECT_EQ(rig.lines("CreateThread").size(), 2u);
    sim.pauseBeforeLock(Routine::StartWorkerThreads, false);
    sim.resumePaused();
    sim.advance(2000);
    EXPECT_EQ(sim.aliveThreads(), 2) << "a thread was lost";
    EXPECT_TRUE(alive(s.panelEventThread));
    EXPECT_TRUE(alive(s.calibrationDataThread));
    EXPECT_EQ(rig.lines("CreateThread").size(), 2u);
    // The panel thread went round with a fresh event and keeps polling for the device.
    EXPECT_NE(s.panelEvent.get(), 0u);
    EXPECT_EQ(sim.openEvents(), 1);
    expectClean();
}

TEST_F(WorkerThreads, FailedEventOrThreadCreationLeavesTheSlotFreeForTheNextStart) {
    sim.failEventCreation(true);
    start();
    sim.advance(5);
    EXPECT_EQ(s.panelEventThread.handle.get(), 0u);
    EXPECT_EQ(s.panelEventThread.run.get(), 0u);
    EXPECT_TRUE(sim.thread(0x7100).ended);
    EXPECT_TRUE(alive(s.calibrationDataThread));
    sim.failEventCreation(false);
    start();
    sim.advance(5);
    EXPECT_TRUE(alive(s.panelEventThread));
    EXPECT_EQ(rig.lines("CreateThread").size(), 3u);

    WorkerRig r;
    r.sim.failThreadCreation(true);
    agent::StartWorkerThreads(r.agent, WorkerRig::kMainWindow);
    EXPECT_EQ(r.agent.state.panelEventThread.handle.get(), 0u);
    EXPECT_EQ(r.agent.state.panelEventThread.run.get(), 0u);
    r.sim.failThreadCreation(false);
    agent::StartWorkerThreads(r.agent, WorkerRig::kMainWindow);
    r.sim.advance(5);
    EXPECT_EQ(r.sim.aliveThreads(), 2);
    expectClean();
}

// Random stops, starts, touches and pauses, then a last start: every worker
// runs exactly once.
TEST_F(WorkerThreads, FastStopStartLoopInStepsLosesAndDoublesNothing) {
    withSettingsThread();
    std::mt19937 random(20240611);
    const agent::ThreadSlot* slots[] = {&s.panelEventThread, &s.calibrationDataThread, &s.settingsNotifyThread};
    // Once everything has settled, a set run flag has its live thread and a
    // clear one an empty slot, whatever the last call was.
    auto settleAndCheck = [&](int step) {
        sim.pauseBeforeLock(Routine::StartWorkerThreads, false);
        sim.resumePaused();
        sim.advance(2000);
        for (const auto* slot : slots) {
            if (slot->run.get())
                EXPECT_TRUE(alive(*slot)) << "lost after step " << step;
            else
                EXPECT_EQ(slot->handle.get(), 0u) << "left behind after step " << step;
        }
    };
    start();
    for (int i = 0; i < 1200; ++i) {
        switch (random() % 7) {
            case 0:
                stop();
                break;
            case 1:
                start();
                break;
            case 2:
                stop();
                start();
                break;
            case 3:
                // The driver signals only a registration of the live event.
                if (s.panelEvent.get() && rig.registeredPanelEvent() == s.panelEvent.get())
                    rig.signalPanelEvent(encodePanelEvent(0, kEventRelease));
                break;
            case 4:
                // Threads that reach the slot lock from now on stop just before it.
                sim.pauseBeforeLock(Routine::StartWorkerThreads);
                break;
            case 5:
                sim.pauseBeforeLock(Routine::StartWorkerThreads, false);
                sim.resumePaused();
                break;
            default:
                sim.advance(random() % 700);
                break;
        }
        if (i % 20 == 19) settleAndCheck(i);
    }
    start();
    sim.advance(2000);
    EXPECT_EQ(sim.aliveThreads(), 3);
    EXPECT_EQ(sim.openEvents(), 2);
    for (const auto& t : sim.threads())
        if (t.ended) {
            EXPECT_EQ(t.closes, 1) << hexOf(t.handle);
        }
    stop();
    sim.advance(2000);
    EXPECT_EQ(sim.aliveThreads(), 0);
    EXPECT_EQ(sim.openEvents(), 0);
    expectClean();
}

// The same with real concurrency: the threads run while stops and starts
// come from two threads, as from the main window and the session watch.
TEST(WorkerThreadsFree, FastStopStartLoopFromTwoThreadsLosesAndDoublesNothing) {
    WorkerRig rig(ThreadSim::Mode::Free);
    agent::Agent& a = rig.agent;
    a.state.osNt6.set(1);
    a.state.runOnce.set(1);
    agent::StartWorkerThreads(a, WorkerRig::kMainWindow);
    auto loop = [&](int seed) {
        std::mt19937 random(seed);
        for (int i = 0; i < 1500; ++i) {
            agent::StopWorkerThreads(a);
            if (random() % 4 == 0) std::this_thread::yield();
            agent::StartWorkerThreads(a, WorkerRig::kMainWindow);
            if (random() % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
        }
    };
    std::thread other(loop, 2);
    loop(1);
    other.join();
    agent::StartWorkerThreads(a, WorkerRig::kMainWindow);
    const agent::ThreadSlot* slots[] = {&a.state.panelEventThread, &a.state.calibrationDataThread,
                                        &a.state.settingsNotifyThread};
    auto settled = [&] {
        for (const auto* slot : slots) {
            const KernelHandle h = slot->handle.get();
            if (!h || rig.sim.thread(h).ended) return false;
        }
        return rig.sim.aliveThreads() == 3;
    };
    EXPECT_TRUE(rig.sim.waitUntil(settled, 5000)) << "alive: " << rig.sim.aliveThreads();
    agent::StopWorkerThreads(a);
    EXPECT_TRUE(rig.sim.waitUntil([&] { return rig.sim.aliveThreads() == 0; }, 5000));
    for (const auto* slot : slots) EXPECT_EQ(slot->handle.get(), 0u);
    EXPECT_EQ(rig.sim.openEvents(), 0);
    EXPECT_EQ(rig.sim.overlaps(), 0);
    EXPECT_EQ(rig.sim.handleErrors(), 0);
    for (const auto& t : rig.sim.threads()) EXPECT_EQ(t.closes, 1) << hexOf(t.handle);
}

// ---------------------------------------------------------------- panel events

class PanelEventThread : public WorkerThreads {
protected:
    std::vector<uint64_t> readTimes, registerTimes;
    void SetUp() override {
        rig.driver.onRequest(req::kReadPanelEvent, [this](const auto&) { readTimes.push_back(sim.now()); });
        rig.driver.onRequest(req::kRegisterPanelEvent, [this](const auto&) { registerTimes.push_back(sim.now()); });
        // Common sound at touch, a 1000 Hz 50 ms tone.
        s.settings.option.set(opt::kSameSoundAllMonitors | opt::kSoundOn | opt::kBeepAtTouch);
    }
    std::vector<std::string> driverLines() const {
        std::vector<std::string> out;
        for (const auto& l : rig.journal.lines())
            if (l.rfind("open \\\\", 0) == 0 || l.rfind("ioctl", 0) == 0 || l == "close") out.push_back(l);
        return out;
    }
};

TEST_F(PanelEventThread, RegistersItsEventWithTheDriverAndWaits) {
    start();
    sim.runUntilIdle();
    const KernelHandle event = s.panelEvent.get();
    ASSERT_NE(event, 0u);
    const auto driver = driverLines();
    const std::string reg = registrationLine(req::kRegisterPanelEvent, event);
    ASSERT_GE(driver.size(), 3u);
    EXPECT_EQ(driver[0], std::string("open ") + kPanelPath);
    EXPECT_EQ(driver[1], reg);
    EXPECT_EQ(driver[2], "close");
    EXPECT_EQ(s.panelRegistrationPending.get(), 1u);
    EXPECT_EQ(sim.thread(0x7100).waitingOn, event);
}

TEST_F(PanelEventThread, TouchIsReadTenMsAfterTheSignalAndRegisteredAgainBeforeTheSound) {
    start();
    sim.advance(100);
    rig.journal.clear();
    rig.registry.clearLog();
    registerTimes.clear();
    rig.signalPanelEvent(encodePanelEvent(0, kEventTouch));
    sim.advance(100);
    ASSERT_EQ(readTimes.size(), 1u);
    EXPECT_EQ(readTimes[0], 110u) << "Sleep(10) between the wake and the read";
    ASSERT_EQ(registerTimes.size(), 1u);
    EXPECT_EQ(registerTimes[0], 110u) << "registered again at once";
    const auto all = rig.journal.lines();
    const int reset = rig.journal.find("ResetEvent " + hexOf(s.panelEvent.get()));
    const int pause = rig.journal.find("Sleep 10", reset);
    const int read = rig.journal.find("ioctl 0x222018", pause);
    const int again = rig.journal.find(registrationLine(req::kRegisterPanelEvent, s.panelEvent.get()), read);
    const int closed = rig.journal.find("close", again);
    const int beep = rig.journal.find("Beep 1000 50", closed);
    EXPECT_TRUE(reset >= 0 && pause > reset && read > pause && again == read + 1 && closed == again + 1 &&
                beep > closed)
        << reset << " " << pause << " " << read << " " << again << " " << closed << " " << beep;
    // The calibration command gets its turn before the read.
    EXPECT_EQ(rig.registry.log().front(), "open HKLM\\" + std::string(key::kPanelParams));
    // The thread did not wait for the tone: it is back waiting while the tone plays.
    EXPECT_EQ(sim.thread(0x7100).waitingOn, s.panelEvent.get());
    EXPECT_EQ(s.eventsEnabled.get(), 1u);
}

TEST_F(PanelEventThread, ReleaseOfASecondaryTouchReturnsToThePrimaryButton) {
    start();
    sim.runUntilIdle();
    for (uint32_t code : {kEventTouch, kEventRelease}) {
        rig.signalPanelEvent(encodePanelEvent(0, code));
        sim.advance(100);
    }
    EXPECT_TRUE(rig.lines("PostMessage").empty());
    s.settings.option.set(opt::kSameSoundAllMonitors | opt::kSoundOn);  // sound at release
    rig.journal.clear();
    rig.signalPanelEvent(encodePanelEvent(4, kEventSecondaryRelease));
    sim.advance(100);
    EXPECT_EQ(rig.lines("PostMessage"), (std::vector<std::string>{"PostMessage 0x500 0x500 0 0x205"}));
    const auto tone = rig.lines("CreateThread");
    ASSERT_EQ(tone.size(), 1u);
    EXPECT_LT(rig.journal.find(tone[0]), rig.journal.find("PostMessage 0x500 0x500 0 0x205")) << "after the sound";
}

TEST_F(PanelEventThread, MissingDeviceIsRetriedEvery500MsAndItsReturnReappliesSettingsOnce) {
    rig.driver.setPresent(kPanelPath, false);
    start();
    sim.advance(1600);
    EXPECT_EQ(count(rig.journal.lines(), std::string("open ") + kPanelPath + " failed"), 4 + 2)
        << "four passes of the panel thread, two polls of the calibration thread";
    rig.driver.setPresent(kPanelPath, true);
    rig.journal.clear();
    sim.advance(500);
    // Registered, then the stored settings and the swap state again.
    const int reg = rig.journal.find(registrationLine(req::kRegisterPanelEvent, s.panelEvent.get()));
    const int option = rig.journal.find(
        "ioctl 0x222034 in=" + FakeDriver::hex(std::vector<uint8_t>{0x80, 0x00, 0x01, 0x10}.data(), 4), reg);
    const int swap = rig.journal.find("ioctl 0x222028", option);
    const int post = rig.journal.find("PostMessage 0x500 0x500 0 0x205", swap);
    EXPECT_TRUE(reg >= 0 && option > reg && swap > option && post > swap) << reg << " " << option << " " << swap;
    sim.advance(1000);
    EXPECT_EQ(rig.driver.countOf(req::kButtonsNotSwapped), 1) << "once per reconnection";
}

TEST_F(PanelEventThread, FailedRegistrationOrReadIsRetriedAfter500Ms) {
    rig.driver.fail(req::kRegisterPanelEvent);
    start();
    sim.advance(1200);
    EXPECT_EQ(registerTimes, (std::vector<uint64_t>{0, 500, 1000}));
    EXPECT_EQ(rig.driver.countOf(req::kSetOption), 0) << "the device was there: no reconnection";
    rig.driver.fail(req::kRegisterPanelEvent, false);
    sim.advance(500);
    registerTimes.clear();

    rig.driver.fail(req::kReadPanelEvent);
    rig.signalPanelEvent(encodePanelEvent(0, kEventTouch));
    sim.advance(10);
    EXPECT_EQ(readTimes.size(), 1u);
    EXPECT_TRUE(registerTimes.empty()) << "nothing read, nothing to renew";
    sim.advance(500);
    EXPECT_EQ(registerTimes, (std::vector<uint64_t>{2210})) << "the next pass registers";
    EXPECT_TRUE(rig.lines("Beep").empty());
}

// A stop that comes while a touch is handled, taken back at once, must not
// make the thread read a touch that is not there when the stop's signal
// wakes it later.
TEST_F(PanelEventThread, StopDuringHandlingTakenBackIsNotReadAsATouch) {
    rig.registry.setDword(AgentRig::panelKey(), val::kCalibMode, 1);
    rig.registry.setDword(AgentRig::userKey(), val::kCalCommand, 4);
    rig.driver.answer(req::kVendorRequest, {0x00, 0x00});  // bad status: the command stays
    start();
    sim.runUntilIdle();
    rig.signalPanelEvent(encodePanelEvent(0, kEventTouch));
    sim.advance(30);  // in the command's 50 ms pause
    ASSERT_EQ(rig.driver.countOf(req::kVendorRequest), 1);
    stop();
    start();
    sim.advance(500);
    EXPECT_EQ(reads(), 1);
    EXPECT_EQ(rig.driver.countOf(req::kVendorRequest), 2) << "no second turn of the command either";
    EXPECT_TRUE(alive(s.panelEventThread));
    EXPECT_EQ(sim.thread(0x7100).waitingOn, s.panelEvent.get());
    expectClean();
}

// ---------------------------------------------------------------- settings notify

class SettingsNotifyThread : public WorkerThreads {
protected:
    void SetUp() override { withSettingsThread(); }
};

TEST_F(SettingsNotifyThread, DriverSignalMakesTheMainWindowReapplyThenRegistersAgain) {
    start();
    sim.runUntilIdle();
    const KernelHandle event = s.settingsEvent.get();
    const std::string reg = registrationLine(req::kRegisterSettingsEvent, event);
    EXPECT_EQ(count(rig.journal.lines(), reg), 1);
    rig.signalSettingsChanged();
    sim.runUntilIdle();
    EXPECT_EQ(rig.lines("SendMessage"), (std::vector<std::string>{"SendMessage 0x500 0x504 1 0x0"}));
    EXPECT_LT(rig.journal.find("SendMessage 0x500 0x504 1 0x0"),
              rig.journal.find(reg, rig.journal.find("ResetEvent " + hexOf(event))));
    EXPECT_EQ(count(rig.journal.lines(), reg), 2);
    EXPECT_EQ(sim.thread(0x7108).waitingOn, event);
}

TEST_F(SettingsNotifyThread, MissingDeviceOrFailedRegistrationIsRetriedEvery500Ms) {
    rig.driver.fail(req::kRegisterSettingsEvent);
    start();
    sim.advance(1100);
    EXPECT_EQ(rig.driver.countOf(req::kRegisterSettingsEvent), 3);
    rig.driver.fail(req::kRegisterSettingsEvent, false);
    rig.driver.setPresent(kPanelPath, false);
    sim.advance(1000);
    EXPECT_EQ(rig.driver.countOf(req::kRegisterSettingsEvent), 3);
    rig.driver.setPresent(kPanelPath, true);
    sim.advance(500);
    EXPECT_EQ(rig.driver.countOf(req::kRegisterSettingsEvent), 4);
    EXPECT_TRUE(rig.lines("SendMessage").empty());
}

TEST_F(SettingsNotifyThread, StopEndsItWithoutReapplying) {
    start();
    sim.runUntilIdle();
    stop();
    sim.runUntilIdle();
    EXPECT_TRUE(sim.thread(0x7108).ended);
    EXPECT_TRUE(rig.lines("SendMessage").empty());
    // Without NT 6 the flag is left alone, as there is no such thread.
    WorkerRig r;
    r.agent.state.settingsNotifyThread.run.set(1);
    agent::StopWorkerThreads(r.agent);
    EXPECT_EQ(r.agent.state.settingsNotifyThread.run.get(), 1u);
}

// ---------------------------------------------------------------- session watch

class SessionWatchThread : public WorkerThreads {
protected:
    static constexpr agent::ModuleHandle kKernel = 0x6B00;
    void SetUp() override {
        rig.libraries.addModule("KERNEL32.dll", kKernel);
        rig.libraries.addExport(kKernel, agent::kActiveConsoleSession, 0);
        rig.libraries.loadLibrary("KERNEL32.dll");
        s.activeSessionQuery.set(rig.libraries.getProcAddress(kKernel, agent::kActiveConsoleSession));
        s.osNt5.set(1);
        s.ownSessionId.set(1);
        rig.libraries.sessionId = 1;
        agent::StartSessionWatchThread(a, WorkerRig::kMainWindow);
        start();
        sim.runUntilIdle();
        rig.journal.clear();
    }
    int queries() const { return static_cast<int>(rig.lines("call WTSGetActiveConsoleSessionId").size()); }
    // Without session notifications (this fixture has none) the watch polls
    // at this pace.
    static constexpr uint32_t kPoll = agent::kSessionFallbackPollMs;
};

TEST_F(SessionWatchThread, WithoutNotificationsPollsTwiceASecondAtNormalPriority) {
    sim.advance(2000);
    EXPECT_EQ(queries(), 4);
    EXPECT_FALSE(sim.thread(0x7100).prioritySet) << "the first thread created is the session watch";
    EXPECT_EQ(s.sessionActive.get(), 1u);
    EXPECT_TRUE(rig.lines("SystemParametersInfo").empty()) << "nothing re-applied while the session stays";
}

TEST_F(SessionWatchThread, LeavingTheSessionStopsPanelHandlingWithinAPollAndComingBackReappliesEverything) {
    rig.libraries.sessionId = 2;
    sim.advance(kPoll);
    EXPECT_EQ(s.sessionActive.get(), 0u);
    EXPECT_EQ(s.panelEventThread.run.get(), 0u);
    EXPECT_EQ(s.calibrationDataThread.run.get(), 0u);
    sim.advance(1000);
    EXPECT_EQ(s.panelEventThread.handle.get(), 0u);
    EXPECT_EQ(s.calibrationDataThread.handle.get(), 0u);
    EXPECT_EQ(count(rig.journal.lines(), "SetEvent " + hexOf(0xE000)), 1) << "stopped once, not at every poll";

    rig.journal.clear();
    rig.libraries.sessionId = 1;
    sim.advance(kPoll + 25);  // the poll that sees it, and a pause
    // A pause, then settings, cursor, swap state and the workers, in that order.
    const auto all = rig.journal.lines();
    const int pause = rig.journal.find("Sleep 25", rig.journal.find("call WTSGetActiveConsoleSessionId() -> 0"));
    const int settings = rig.journal.find("ioctl 0x222034 in=A4 00 08 1A", pause);
    const int cursor = rig.journal.find("LoadCursor 102", settings);
    const int swap = rig.journal.find("ioctl 0x222028", cursor);
    const int threads = rig.journal.find("CreateThread -> 0x710c", swap);
    EXPECT_TRUE(pause >= 0 && settings > pause && cursor > settings && swap > cursor && threads > swap)
        << pause << " " << settings << " " << cursor << " " << swap << " " << threads;
    EXPECT_EQ(s.sessionActive.get(), 1u);
    sim.advance(100);
    EXPECT_TRUE(alive(s.panelEventThread));
    EXPECT_TRUE(alive(s.calibrationDataThread));
    EXPECT_EQ(rig.lines("CreateThread").size(), 2u) << "started once";
    expectClean();
}

TEST_F(SessionWatchThread, SwitchingAwayAndStraightBackLeavesEveryWorkerRunning) {
    rig.libraries.sessionId = 2;
    sim.advance(kPoll);
    rig.libraries.sessionId = 1;
    sim.advance(kPoll + 100);
    EXPECT_TRUE(alive(s.panelEventThread));
    EXPECT_TRUE(alive(s.calibrationDataThread));
    EXPECT_EQ(sim.aliveThreads(), 3);
    expectClean();
}

// Shutdown while the watch is on its way back into the session (past the
// poll that saw it, before the re-application): nothing is re-applied after
// shutdown has restored the cursors, and no worker is started again.
TEST_F(SessionWatchThread, ShutdownDuringTheReturnToTheSessionReappliesNothing) {
    rig.registry.setDword(AgentRig::userKey(), val::kOption, opt::kHideCursor);
    rig.libraries.sessionId = 2;
    sim.advance(1000);
    ASSERT_EQ(s.sessionActive.get(), 0u);
    ASSERT_EQ(sim.aliveThreads(), 1) << "only the watch is left";
    sim.pauseBeforeLock(Routine::ApplyStoredSettings);
    rig.libraries.sessionId = 1;
    sim.advance(kPoll + 25);
    ASSERT_EQ(sim.pausedThreads(), 1) << "the watch is about to re-apply";
    rig.journal.clear();
    rig.driver.clearLog();

    agent::Shutdown(a);
    const int restored = rig.journal.find("SystemParametersInfo 0x57 0 0");
    ASSERT_GE(restored, 0);
    sim.resumePaused();
    sim.advance(1000);

    const auto all = rig.journal.lines();
    for (size_t i = static_cast<size_t>(restored) + 1; i < all.size(); ++i) {
        EXPECT_NE(all[i].rfind("SetSystemCursor", 0), 0u) << "cursors hidden after shutdown: " << all[i];
        EXPECT_NE(all[i].rfind("CreateThread", 0), 0u) << "a worker started after shutdown: " << all[i];
        EXPECT_NE(all[i].rfind("SystemParametersInfo 0x1", 0), 0u) << all[i];
    }
    EXPECT_EQ(rig.driver.countOf(req::kSetOption), 0);
    EXPECT_EQ(rig.driver.countOf(req::kButtonsSwapped), 0);
    EXPECT_EQ(rig.driver.countOf(req::kButtonsNotSwapped), 1) << "shutdown's own";
    EXPECT_EQ(sim.aliveThreads(), 0);
    expectClean();
}

// The hook library's option word is one for every session; the user of the
// session we left may have set theirs. The return hands ours over again.
TEST_F(SessionWatchThread, TheReturnToTheSessionHandsTheOptionWordToTheHookAgain) {
    constexpr agent::ModuleHandle kHook = 0x6A00;
    rig.libraries.addModule("taphook.dll", kHook);
    rig.libraries.addExport(kHook, agent::kHookSetOptionData, 1);
    s.hookModule.set(rig.libraries.loadLibrary("taphook.dll"));
    rig.libraries.sessionId = 2;
    sim.advance(1000);
    EXPECT_TRUE(rig.lines("call TAPHOOK_SetOptionData").empty()) << "nothing while another session has it";
    rig.journal.clear();
    rig.libraries.sessionId = 1;
    sim.advance(kPoll + 25);
    const int swap = rig.journal.find("ioctl 0x222028");
    const int handed = rig.journal.find("call TAPHOOK_SetOptionData(0x1a0800a4) -> 1");
    const int threads = rig.journal.find("CreateThread -> 0x710c");
    EXPECT_TRUE(swap >= 0 && handed > swap && threads > handed) << swap << " " << handed << " " << threads;
    EXPECT_EQ(rig.lines("call TAPHOOK_SetOptionData").size(), 1u);
    // The main thread measures this session's display for the driver.
    EXPECT_GT(rig.journal.find("PostMessage " + hexOf(WorkerRig::kMainWindow) + " 0x7e 0 0x0"), threads);
    expectClean();
}

TEST_F(SessionWatchThread, ClearedRunFlagEndsItWithinAPoll) {
    s.sessionWatchThread.run.set(0);  // as shutdown does
    sim.advance(kPoll);
    EXPECT_EQ(s.sessionWatchThread.handle.get(), 0u);
    EXPECT_EQ(queries(), 0) << "ended without another look";
    sim.advance(2 * kPoll);
    EXPECT_EQ(queries(), 0);
}

// With session notifications registered the watch sleeps on its event, which
// WM_WTSSESSION_CHANGE sets, and polls only as a slow safety net.
class SleepingSessionWatch : public SessionWatchThread {
protected:
    static constexpr uint32_t kSafetyMs = agent::kSessionSafetyPollMs;
    void SetUp() override {
        s.sessionNotifications.set(1);
        SessionWatchThread::SetUp();
    }
    void notify() { agent::HandleMainWindowMessage(a, agent::win::kWmWtsSessionChange, 0, 0); }
};

TEST_F(SleepingSessionWatch, AtRestItWaitsOnItsEventAndLooksOnlyEveryFiveSeconds) {
    const KernelHandle event = s.sessionEvent.get();
    ASSERT_NE(event, 0u);
    EXPECT_EQ(sim.thread(0x7100).waitingOn, event);
    sim.advance(60000);
    EXPECT_EQ(queries(), 12) << "one look per safety period";
    EXPECT_EQ(count(rig.journal.lines(), "Sleep 25"), 0) << "no 25 ms polling at rest";
    EXPECT_EQ(count(rig.journal.lines(), "WaitForSingleObject " + hexOf(event) + " 5000"), 12);
    EXPECT_EQ(s.sessionActive.get(), 1u);
    EXPECT_TRUE(rig.lines("SystemParametersInfo").empty());
}

TEST_F(SleepingSessionWatch, ASessionChangeStopsPanelHandlingAtOnceAndTheReturnReappliesEverything) {
    sim.advance(1234);
    rig.libraries.sessionId = 2;
    notify();
    sim.runUntilIdle();  // no time passes
    EXPECT_EQ(s.sessionActive.get(), 0u);
    EXPECT_EQ(s.panelEventThread.run.get(), 0u);
    EXPECT_EQ(s.calibrationDataThread.run.get(), 0u);
    sim.advance(6000);
    EXPECT_EQ(s.panelEventThread.handle.get(), 0u);

    rig.journal.clear();
    rig.libraries.sessionId = 1;
    notify();
    sim.advance(25);  // the look, then the 25 ms pause before the re-application
    const int look = rig.journal.find("call WTSGetActiveConsoleSessionId() -> 0");
    const int pause = rig.journal.find("Sleep 25", look);
    const int settings = rig.journal.find("ioctl 0x222034 in=A4 00 08 1A", pause);
    const int cursor = rig.journal.find("LoadCursor 102", settings);
    const int swap = rig.journal.find("ioctl 0x222028", cursor);
    const int threads = rig.journal.find("CreateThread -> 0x710c", swap);
    EXPECT_TRUE(look >= 0 && pause > look && settings > pause && cursor > settings && swap > cursor && threads > swap)
        << look << " " << pause << " " << settings << " " << cursor << " " << swap << " " << threads;
    EXPECT_EQ(s.sessionActive.get(), 1u);
    sim.advance(100);
    EXPECT_TRUE(alive(s.panelEventThread));
    EXPECT_TRUE(alive(s.calibrationDataThread));
    expectClean();
}

// The notification may come a little before the console session is reported
// as changed: the watch keeps looking every 25 ms for a second after it.
TEST_F(SleepingSessionWatch, AfterANotificationItPollsEvery25MsForASecondThenSleepsAgain) {
    notify();
    sim.advance(300);
    EXPECT_EQ(s.sessionActive.get(), 1u);
    rig.libraries.sessionId = 2;
    sim.advance(25);
    EXPECT_EQ(s.sessionActive.get(), 0u) << "found within one quick poll";
    rig.journal.clear();
    sim.advance(5000);
    EXPECT_LE(queries(), 30) << "back to sleep within the second";
    EXPECT_GE(count(rig.journal.lines(), "WaitForSingleObject " + hexOf(s.sessionEvent.get()) + " 5000"), 1);
}

// The registration fails when it comes before the terminal services are up
// (at boot): the watch polls twice a second and tries it again each time,
// then sleeps on notifications like any other.
TEST_F(SleepingSessionWatch, WithoutTheRegistrationItRetriesItAndPollsTwiceASecondMeanwhile) {
    struct Case {
        const char* name;
        bool library;                  // wtsapi32 loaded at all
        std::vector<int32_t> results;  // of each WTSRegisterSessionNotification
        size_t looksInFiveSeconds;
        bool sleepsAtTheEnd;
    };
    const Case cases[] = {
        {"no terminal services library", false, {}, 11, false},
        {"the registration keeps failing", true, {0}, 11, false},
        {"the third retry succeeds", true, {0, 0, 1}, 4, true},
    };
    for (const Case& c : cases) {
        WorkerRig r;
        agent::AgentState& st = r.agent.state;
        r.libraries.addModule("KERNEL32.dll", kKernel);
        r.libraries.addExport(kKernel, agent::kActiveConsoleSession, 0);
        r.libraries.loadLibrary("KERNEL32.dll");
        st.activeSessionQuery.set(r.libraries.getProcAddress(kKernel, agent::kActiveConsoleSession));
        if (c.library) {
            r.libraries.addModule("wtsapi32.dll", 0x3100);
            r.libraries.setResults(0x3100, agent::kWtsRegister, c.results);
            st.wtsModule.set(r.libraries.loadLibrary("wtsapi32.dll"));
        }
        st.osNt5.set(1);
        st.ownSessionId.set(1);
        r.libraries.sessionId = 1;
        agent::StartSessionWatchThread(r.agent, WorkerRig::kMainWindow);
        r.sim.advance(5000);
        EXPECT_EQ(r.lines("call WTSGetActiveConsoleSessionId").size(), c.looksInFiveSeconds) << c.name;
        EXPECT_EQ(st.sessionNotifications.get(), c.sleepsAtTheEnd ? 1u : 0u) << c.name;
        EXPECT_EQ(st.sessionEvent.get() != 0, c.sleepsAtTheEnd) << c.name;
        EXPECT_EQ(r.lines("Sleep 25").size(), 0u) << c.name;
        if (c.library) {
            const size_t tries = c.sleepsAtTheEnd ? 3 : 10;
            EXPECT_EQ(r.lines("call WTSRegisterSessionNotification(" + hexOf(WorkerRig::kMainWindow) + ", 1)").size(),
                      tries)
                << c.name;
        }
        // Once registered, a notification is heard at once.
        r.libraries.sessionId = 2;
        agent::HandleMainWindowMessage(r.agent, agent::win::kWmWtsSessionChange, 0, 0);
        r.sim.runUntilIdle();
        EXPECT_EQ(st.sessionActive.get(), c.sleepsAtTheEnd ? 0u : 1u) << c.name;
        agent::StopSessionWatchThread(r.agent);
        r.sim.advance(1000);
    }
}

// A shutdown that unregisters and frees the library waits for a retry
// already under way, and no retry comes after it.
TEST_F(SleepingSessionWatch, ARetryNeverCallsIntoTheLibraryShutdownFreed) {
    WorkerRig r;
    agent::AgentState& st = r.agent.state;
    r.libraries.addModule("wtsapi32.dll", 0x3100);
    r.libraries.setResults(0x3100, agent::kWtsRegister, {0});
    st.wtsModule.set(r.libraries.loadLibrary("wtsapi32.dll"));
    st.osNt5.set(1);
    agent::Shutdown(r.agent);
    EXPECT_FALSE(agent::RetrySessionNotifications(r.agent));
    EXPECT_TRUE(r.lines("call WTSRegisterSessionNotification").empty());
    EXPECT_EQ(st.wtsModule.get(), 0u);
}

// An agent of session 1 on XP or later, ready for its session watch.
void prepareSessionWatch(WorkerRig& r, bool notifications) {
    agent::AgentState& st = r.agent.state;
    r.libraries.addModule("KERNEL32.dll", 0x6B00);
    r.libraries.addExport(0x6B00, agent::kActiveConsoleSession, 0);
    r.libraries.loadLibrary("KERNEL32.dll");
    st.activeSessionQuery.set(r.libraries.getProcAddress(0x6B00, agent::kActiveConsoleSession));
    st.osNt5.set(1);
    st.ownSessionId.set(1);
    st.sessionNotifications.set(notifications);
}

// A watch started while another session is active (a return that raced the
// agent's start) finds it at once, not after its first pause or safety wait.
TEST(SessionWatchStart, TheFirstLookComesAtOnce) {
    for (const bool notifications : {false, true}) {
        WorkerRig r;
        agent::AgentState& st = r.agent.state;
        prepareSessionWatch(r, notifications);
        r.libraries.sessionId = 2;
        agent::StartSessionWatchThread(r.agent, WorkerRig::kMainWindow);
        r.sim.runUntilIdle();  // no time passes
        EXPECT_EQ(st.sessionActive.get(), 0u) << (notifications ? "notifications" : "polling");
        EXPECT_EQ(r.lines("call WTSGetActiveConsoleSessionId").size(), 1u);
    }
}

// WM_WTSSESSION_CHANGE can come before the watch has made its event: it is
// kept, and the watch looks quickly for the change it announces.
TEST(SessionWatchStart, ANotificationBeforeTheWatchHasItsEventIsNotLost) {
    WorkerRig r;
    agent::AgentState& st = r.agent.state;
    prepareSessionWatch(r, true);
    r.libraries.sessionId = 1;
    agent::HandleMainWindowMessage(r.agent, agent::win::kWmWtsSessionChange, 0, 0);
    agent::StartSessionWatchThread(r.agent, WorkerRig::kMainWindow);
    r.sim.runUntilIdle();
    EXPECT_EQ(st.sessionActive.get(), 1u);
    r.libraries.sessionId = 2;  // reported a little after the notification
    r.sim.advance(25);
    EXPECT_EQ(st.sessionActive.get(), 0u) << "found within one quick poll";
}

// The safety wait times out; before the watch resets its event a
// notification arrives. The reset must not erase it.
TEST_F(SleepingSessionWatch, ANotificationBetweenATimeoutAndTheResetIsNotLost) {
    sim.pauseBeforeLock(Routine::StartWorkerThreads);
    sim.advance(kSafetyMs);
    ASSERT_EQ(sim.pausedThreads(), 1) << "the watch, timed out, about to reset its event";
    notify();
    sim.pauseBeforeLock(Routine::StartWorkerThreads, false);
    sim.resumePaused();
    sim.runUntilIdle();
    rig.libraries.sessionId = 2;
    sim.advance(25);
    EXPECT_EQ(s.sessionActive.get(), 0u) << "found within one quick poll";
    expectClean();
}

TEST_F(SleepingSessionWatch, ShutdownWakesItAndItEndsAtOnce) {
    sim.advance(100);
    agent::StopSessionWatchThread(a);
    sim.runUntilIdle();
    EXPECT_TRUE(sim.thread(0x7100).ended);
    EXPECT_EQ(s.sessionWatchThread.handle.get(), 0u);
    EXPECT_EQ(s.sessionEvent.get(), 0u);
    EXPECT_EQ(queries(), 0) << "ended without another look";
    stop();
    sim.advance(2000);
    EXPECT_EQ(sim.openEvents(), 0);
    expectClean();
}

}  // namespace
}  // namespace tp::test
