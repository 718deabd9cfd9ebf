// The paths issue 13 mended, against the recording fakes: a worker inside the
// WM_SETTINGCHANGE broadcast while the main thread wants the same routine
// (the deadlock), settings arriving during or after shutdown, durations that
// would wrap a wait to INFINITE, and the start that cannot get its window or
// its mutex.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "agent_rig.h"
#include "agent_settings_block.h"
#include "main_window.h"

namespace tp::test {
namespace {

using namespace tp::agent;
using Clock = std::chrono::steady_clock;

// The agent's main thread as Windows runs it: a message loop that runs the
// tasks given to it and, between them, the messages other threads send to
// its window. A thread blocked elsewhere (on a lock) delivers nothing; one
// that sends a message itself delivers what others sent it meanwhile. A send
// to its own window from the main thread is a direct call.
class MainThread {
public:
    explicit MainThread(Agent& a) : a_(a), thread_([this] { loop(); }) {}
    ~MainThread() {
        {
            std::lock_guard l(m_);
            quit_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

    bool isMain() const { return std::this_thread::get_id() == thread_.get_id(); }

    void run(std::function<void()> task) {
        {
            std::lock_guard l(m_);
            tasks_.push_back(std::move(task));
        }
        cv_.notify_all();
    }

    // SendMessageA from another thread: false when the main thread did not
    // take the message within timeoutMs (it is then dropped).
    bool send(uint32_t message, uintptr_t wParam, int timeoutMs) {
        auto sent = std::make_shared<Sent>(Sent{message, wParam, false, false});
        std::unique_lock l(m_);
        sent_.push_back(sent);
        cv_.notify_all();
        if (cv_.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return sent->done; })) return true;
        sent->abandoned = true;
        return false;
    }

    // A message sent from another thread without waiting for the answer:
    // queued like a send, not waited for.
    void notify(uint32_t message, uintptr_t wParam) {
        {
            std::lock_guard l(m_);
            sent_.push_back(std::make_shared<Sent>(Sent{message, wParam, false, false}));
        }
        cv_.notify_all();
    }

    // What the main thread does while it waits in a send of its own.
    void deliverSent() {
        for (;;) {
            std::shared_ptr<Sent> next;
            {
                std::lock_guard l(m_);
                if (sent_.empty()) return;
                next = sent_.front();
                sent_.pop_front();
                if (next->abandoned) continue;
            }
            HandleMainWindowMessage(a_, next->message, next->wParam, 0);
            {
                std::lock_guard l(m_);
                next->done = true;
            }
            cv_.notify_all();
        }
    }

    // Waits until every task has run; false after timeoutMs.
    bool idle(int timeoutMs) {
        std::unique_lock l(m_);
        return cv_.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return tasks_.empty() && !busy_; });
    }

private:
    struct Sent {
        uint32_t message;
        uintptr_t wParam;
        bool done;
        bool abandoned;
    };

    void loop() {
        for (;;) {
            deliverSent();
            std::function<void()> task;
            {
                std::unique_lock l(m_);
                cv_.wait(l, [&] { return quit_ || !tasks_.empty() || !sent_.empty(); });
                if (quit_) return;
                if (tasks_.empty()) continue;
                task = std::move(tasks_.front());
                tasks_.pop_front();
                busy_ = true;
            }
            task();
            {
                std::lock_guard l(m_);
                busy_ = false;
            }
            cv_.notify_all();
        }
    }

    Agent& a_;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;
    std::deque<std::shared_ptr<Sent>> sent_;
    bool busy_ = false;
    bool quit_ = false;
    std::thread thread_;
};

std::vector<uint8_t> settingsBlock(uint32_t option) {
    AgentSettingsBlock b;
    b.freq = 1000, b.duration = 50, b.option = option, b.disableMode = 1;
    for (int i = 0; i < 9; ++i) b.monitorFreq[i] = 1000, b.monitorDuration[i] = 50, b.monitorOption[i] = 0;
    uint8_t bytes[kAgentSettingsBlockSize];
    encodeAgentSettingsBlock(b, bytes);
    return {bytes, bytes + sizeof bytes};
}

class Reentrancy : public ::testing::Test {
protected:
    void SetUp() override {
        AgentRig::addSuiteKeys(rig.registry, rig.driver);
        rig.installHook();
        rig.agent.state.osNt6.set(1);
    }
    void running(uint32_t option) {
        rig.registry.setDword(AgentRig::userKey(), "Option", option);
        OnApplySettings(rig.agent, 0);
        rig.journal.clear();
        rig.driver.clearLog();
    }
    // Lines at or after the first one equal to from.
    std::vector<std::string> after(const std::string& from) const {
        const auto all = rig.journal.lines();
        const int at = rig.journal.find(from);
        if (at < 0) return {};
        return {all.begin() + at + 1, all.end()};
    }
    static int countStarting(const std::vector<std::string>& lines, const std::string& prefix) {
        int n = 0;
        for (const auto& l : lines) n += l.rfind(prefix, 0) == 0;
        return n;
    }
    AgentRig rig;
    Agent& a = rig.agent;
};

// ---------------------------------------------------------------- the deadlock

struct WorkerPath {
    const char* name;
    std::function<void(Agent&)> run;
};
struct MainPath {
    const char* name;
    std::function<void(Agent&)> run;
};

// A worker re-applies (panel reconnect, session return) and announces the
// setting change to every window, the main window included; the main thread
// meanwhile starts a handler that re-applies too. Neither may wait for the
// other: the announcement waits for no window, and the lock is released
// before it.
TEST_F(Reentrancy, AWorkerAnnouncingASettingChangeNeverWaitsForAMainThreadWaitingForItsLock) {
    const std::vector<uint8_t> block = settingsBlock(opt::kTrayIcon | opt::kHideCursor);
    const WorkerPath workers[] = {
        {"panel reconnect",
         [](Agent& x) {
             ApplyStoredSettings(x);
             SyncButtonSwap(x);
         }},
        {"session return",
         [](Agent& x) {
             ApplyStoredSettings(x);
             ApplyCursorHiding(x);
             SyncButtonSwap(x);
             StartWorkerThreads(x, x.state.mainWindow.get());
         }},
    };
    const MainPath mains[] = {
        {"console Apply (settings-notify send)",
         [](Agent& x) { HandleMainWindowMessage(x, AGM_APPLY_SETTINGS, 1, 0); }},
        {"resume", [](Agent& x) { HandleMainWindowMessage(x, win::kWmPowerBroadcast, win::kPbtApmResumeSuspend, 0); }},
        {"WM_COPYDATA",
         [&block](Agent& x) { HandleMainWindowMessage(x, win::kWmCopyData, 0, 0, block.data(), block.size()); }},
    };
    for (const auto& worker : workers) {
        for (const auto& mainPath : mains) {
            AgentRig r;
            r.registry.addKey(AgentRig::userKey());
            r.driver.answer(req::kGetPanelIds, std::vector<uint8_t>(36, 0xFF));
            r.registry.setDword(AgentRig::userKey(), "Option", opt::kHideCursor);
            MainThread main(r.agent);
            std::mutex m;
            std::condition_variable cv;
            bool workerInBroadcast = false;
            int timeouts = 0;
            int reentered = 0;
            r.display.onSystemParametersInfo = [&](uint32_t, uint32_t, uint32_t winIni) {
                if (winIni & win::kSpifSendChange) ++timeouts;  // a broadcast that would wait for every window
            };
            r.windows.onAnnounceSettingChange = [&](uint32_t action) {
                const uint32_t message = win::kWmSettingChange;
                const uintptr_t wParam = action;
                if (main.isMain()) {
                    // The strictest delivery: the handler runs inside the call.
                    ++reentered;
                    HandleMainWindowMessage(r.agent, message, wParam, 0);
                    return;
                }
                {
                    std::lock_guard l(m);
                    workerInBroadcast = true;
                }
                cv.notify_all();
                main.notify(message, wParam);
            };
            main.run([&] {
                std::unique_lock l(m);
                cv.wait_for(l, std::chrono::seconds(2), [&] { return workerInBroadcast; });
                l.unlock();
                mainPath.run(r.agent);
            });
            const auto start = Clock::now();
            std::thread workerThread([&] { worker.run(r.agent); });
            workerThread.join();
            EXPECT_TRUE(main.idle(5000)) << worker.name << " / " << mainPath.name;
            const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            EXPECT_TRUE(workerInBroadcast) << worker.name;
            EXPECT_EQ(timeouts, 0) << worker.name << " / " << mainPath.name << ": a broadcast that waits";
            EXPECT_LT(took, 1500) << worker.name << " / " << mainPath.name;
            if (std::string(mainPath.name) != "WM_COPYDATA") {
                EXPECT_GT(reentered, 0) << mainPath.name;
            }
        }
    }
}

// ---------------------------------------------------------------- shutdown

// Shell_NotifyIconA waits for the shell; meanwhile the settings-notify
// thread's AGM_APPLY_SETTINGS (sent) is dispatched on the main thread.
TEST_F(Reentrancy, ApplySettingsDispatchedWhileShutdownWaitsInShellNotifyIconReappliesNothing) {
    running(opt::kTrayIcon | opt::kHideCursor | opt::kFloatingIcon);
    int inside = 0;
    rig.tray.onShellNotifyIcon = [&](uint32_t operation) {
        if (operation != win::kNimDelete || inside++) return;
        HandleMainWindowMessage(a, AGM_APPLY_SETTINGS, 1, 0);
        const std::vector<uint8_t> block = settingsBlock(opt::kTrayIcon | opt::kHideCursor);
        HandleMainWindowMessage(a, win::kWmCopyData, 0, 0, block.data(), block.size());
        HandleMainWindowMessage(a, win::kWmDestroy, 0, 0);  // a second shutdown, re-entered
    };
    HandleMainWindowMessage(a, win::kWmEndSession, 1, 0);

    const auto lines = rig.journal.lines();
    EXPECT_EQ(countStarting(lines, "SetSystemCursor"), 0) << "cursors hidden again";
    EXPECT_EQ(countStarting(lines, "Shell_NotifyIcon 0"), 0) << "tray icon added again";
    EXPECT_EQ(countStarting(lines, "Shell_NotifyIcon 2"), 1) << "removed once";
    EXPECT_EQ(countStarting(lines, "CreateDialog"), 0);
    EXPECT_EQ(countStarting(lines, "CreateThread"), 0);
    EXPECT_EQ(countStarting(lines, "SystemParametersInfo 0x57"), 1) << "restored once, and it stays";
    EXPECT_EQ(countStarting(lines, "PostQuitMessage"), 1);
    EXPECT_EQ(rig.driver.countOf(req::kSetOption), 0);
    EXPECT_EQ(rig.agent.state.panelEventThread.run.get(), 0u);
}

TEST_F(Reentrancy, MessagesAfterEndSessionLeaveNothingBehind) {
    running(opt::kTrayIcon | opt::kHideCursor);
    a.state.sessionActive.set(1);
    HandleMainWindowMessage(a, win::kWmEndSession, 1, 0);
    rig.journal.clear();
    rig.driver.clearLog();

    const std::vector<uint8_t> block = settingsBlock(opt::kTrayIcon | opt::kHideCursor | opt::kFloatingIcon);
    HandleMainWindowMessage(a, win::kWmCopyData, 0, 0, block.data(), block.size());
    HandleMainWindowMessage(a, AGM_APPLY_SETTINGS, 1, 0);
    HandleMainWindowMessage(a, win::kWmPowerBroadcast, win::kPbtApmResumeSuspend, 0);
    HandleMainWindowMessage(a, win::kWmSettingChange, win::kSpiSetMouseButtonSwap, 0);
    HandleMainWindowMessage(a, win::kWmDisplayChange, 0, 0);
    HandleMainWindowMessage(a, AGM_BUTTON_MODE, 0, win::kWmLButtonUp);
    HandleMainWindowMessage(a, win::kWmDestroy, 0, 0);
    ApplyCursorHiding(a);  // as a worker still under way would
    StartWorkerThreads(a, AgentRig::kMainWindow);

    EXPECT_EQ(countStarting(rig.journal.lines(), "SetSystemCursor"), 0);
    EXPECT_EQ(countStarting(rig.journal.lines(), "Shell_NotifyIcon"), 0);
    EXPECT_EQ(countStarting(rig.journal.lines(), "CreateDialog"), 0);
    EXPECT_EQ(countStarting(rig.journal.lines(), "CreateThread"), 0);
    EXPECT_EQ(countStarting(rig.journal.lines(), "SystemParametersInfo"), 0);
    EXPECT_EQ(countStarting(rig.journal.lines(), "PostQuitMessage"), 0) << "the second shutdown is none";
    EXPECT_TRUE(rig.driver.requests().empty());
}

// ---------------------------------------------------------------- shutdown nested in a handler

// Shutdown (WM_ENDSESSION, WM_DESTROY) can arrive while a handler waits in a
// send to another thread: here the shell, during the handler's NIM_ADD. When
// the handler resumes, what shutdown removed stays removed.
TEST_F(Reentrancy, AShutdownNestedInAHandlerIsNotUndoneWhenTheHandlerResumes) {
    const uint32_t shown = opt::kTrayIcon | opt::kFloatingIcon;
    const std::vector<uint8_t> block = settingsBlock(shown);
    const MainPath handlers[] = {
        {"first application", [](Agent& x) { HandleMainWindowMessage(x, AGM_APPLY_SETTINGS, 0, 0); }},
        {"re-application", [](Agent& x) { HandleMainWindowMessage(x, AGM_APPLY_SETTINGS, 1, 0); }},
        {"console settings",
         [&block](Agent& x) { HandleMainWindowMessage(x, win::kWmCopyData, 0, 0, block.data(), block.size()); }},
    };
    for (const MainPath& handler : handlers) {
        AgentRig r;
        AgentRig::addSuiteKeys(r.registry, r.driver);
        r.installHook();
        r.agent.state.osNt6.set(1);
        r.agent.state.mainWindow.set(AgentRig::kMainWindow);
        r.registry.setDword(AgentRig::userKey(), "Option", shown);
        if (std::string(handler.name) != "first application") {
            r.registry.setDword(AgentRig::userKey(), "Option", 0);
            OnApplySettings(r.agent, 0);
            r.registry.setDword(AgentRig::userKey(), "Option", shown);
        }
        bool nested = false;
        r.tray.onShellNotifyIcon = [&](uint32_t operation) {
            if (operation == win::kNimAdd && !nested) {
                nested = true;
                HandleMainWindowMessage(r.agent, win::kWmEndSession, 1, 0);
            }
        };
        r.journal.clear();
        r.tray.calls.clear();
        handler.run(r.agent);
        ASSERT_TRUE(nested) << handler.name;
        const auto all = r.journal.lines();
        const int quit = r.journal.find("PostQuitMessage 0");
        ASSERT_GE(quit, 0) << handler.name;
        // Only the handler's own icon, handed back after the shell returned,
        // and locks looked into and left.
        for (size_t i = static_cast<size_t>(quit) + 1; i < all.size(); ++i) {
            const std::string& line = all[i];
            const bool harmless =
                line.rfind("DestroyIcon", 0) == 0 || line.rfind("lock ", 0) == 0 || line.rfind("unlock ", 0) == 0;
            EXPECT_TRUE(harmless) << handler.name << ": after shutdown: " << line;
        }
        EXPECT_EQ(countStarting(all, "CreateDialog"), 0) << handler.name;
        EXPECT_EQ(countStarting(all, "call TAPHOOK_SetOptionData"), 0) << handler.name;
        EXPECT_EQ(countStarting(all, "call TAPHOOK_SetHook"), 0) << handler.name;
        EXPECT_EQ(r.tray.calls.size(), 2u) << handler.name << ": the add, then shutdown's delete";
        EXPECT_EQ(r.agent.state.floatingWindow.get(), 0u) << handler.name;
        EXPECT_TRUE(r.windows.liveIcons().empty()) << handler.name;
    }
}

// Unhooking leaves the library mapped in every program it was injected into
// until that program's next message: a broadcast WM_NULL lets them go now.
TEST_F(Reentrancy, ShutdownPostsANullBroadcastAfterUnhookingAndBeforeFreeingTheHook) {
    running(0);
    Shutdown(a);
    const int unhook = rig.journal.find("call TAPHOOK_UnSetHook() -> 1");
    const int broadcast = rig.journal.find("PostMessage 0xffff 0x0 0 0x0");
    const int freed = rig.journal.find("FreeLibrary " + hexOf(AgentRig::kHookModule));
    EXPECT_TRUE(unhook >= 0 && broadcast > unhook && freed > broadcast) << unhook << " " << broadcast << " " << freed;

    AgentRig bare;  // the hook never loaded: nothing to let go of
    bare.agent.state.mainWindow.set(AgentRig::kMainWindow);
    Shutdown(bare.agent);
    EXPECT_EQ(bare.journal.find("PostMessage 0xffff 0x0 0 0x0"), -1);
}

// ---------------------------------------------------------------- the taskbar comes back

TEST_F(Reentrancy, TaskbarCreatedAddsTheIconAgainAsItWasLastShown) {
    constexpr uint32_t kTaskbarCreated = 0xC0F0;
    struct Case {
        const char* what;
        uint32_t option;
        std::function<void(Agent&)> before;
        int icon;  // 0: nothing added
        const char* tip;
    };
    const Case cases[] = {
        {"resting", opt::kTrayIcon, [](Agent&) {}, kIconLeftButton, kTipArmSecondary},
        {"armed", opt::kTrayIcon, [](Agent& x) { OnButtonMode(x, win::kWmLButtonUp); }, kIconRightButton,
         kTipBackToPrimary},
        {"armed with swapped buttons", opt::kTrayIcon,
         [](Agent& x) {
             x.state.buttonsSwapped.set(1);
             OnButtonMode(x, win::kWmLButtonUp);
         },
         kIconLeftButton, kTipBackToPrimary},
        {"icon not wanted", 0, [](Agent&) {}, 0, ""},
        {"shutting down", opt::kTrayIcon, [](Agent& x) { Shutdown(x); }, 0, ""},
    };
    for (const Case& c : cases) {
        AgentRig r;
        AgentRig::addSuiteKeys(r.registry, r.driver);
        r.installHook();
        r.agent.state.mainWindow.set(AgentRig::kMainWindow);
        r.agent.state.taskbarCreatedMessage.set(kTaskbarCreated);
        r.registry.setDword(AgentRig::userKey(), "Option", c.option);
        OnApplySettings(r.agent, 0);
        c.before(r.agent);
        r.tray.calls.clear();
        EXPECT_TRUE(HandleMainWindowMessage(r.agent, kTaskbarCreated, 0, 0)) << c.what;
        if (!c.icon) {
            EXPECT_TRUE(r.tray.calls.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(r.tray.calls.size(), 1u) << c.what;
        EXPECT_EQ(r.journal.lines().back(), "DestroyIcon " + hexOf(iconHandle(c.icon, 16))) << c.what;
        EXPECT_EQ(r.tray.calls[0].icon, iconHandle(c.icon, 16)) << c.what;
        EXPECT_STREQ(r.tray.calls[0].tip, c.tip) << c.what;
        EXPECT_EQ(r.tray.calls[0].callbackMessage, AGM_BUTTON_MODE) << c.what;
        EXPECT_EQ(r.journal.starting("Shell_NotifyIcon").back().rfind("Shell_NotifyIcon 0 id=1", 0), 0u) << c.what;
    }
}

TEST_F(Reentrancy, TaskbarCreatedBeforeTheFirstApplicationLeavesTheIconToIt) {
    a.state.mainWindow.set(AgentRig::kMainWindow);
    a.state.taskbarCreatedMessage.set(0xC0F0);
    a.state.settings.option.set(opt::kTrayIcon);
    EXPECT_TRUE(HandleMainWindowMessage(a, 0xC0F0, 0, 0));
    EXPECT_TRUE(rig.tray.calls.empty());
    EXPECT_FALSE(HandleMainWindowMessage(a, 0xC0F1, 0, 0)) << "other registered messages go to DefWindowProc";
}

// ---------------------------------------------------------------- durations

TEST_F(Reentrancy, SuspendWaitsAtMostTheLongestToneTheConsoleCanSet) {
    running(0);
    for (const uint32_t duration : {0xFFFFFFF5u, 0xFFFFFFFFu, 5000u, 1000u, 70u, 0u}) {
        a.state.settings.duration.set(duration);
        const size_t before = rig.sleep.calls().size();
        OnPowerBroadcast(a, win::kPbtApmSuspend);
        const uint32_t want = (duration > 1000 ? 1000 : duration < 1 ? 1 : duration) + 10;
        const auto calls = rig.sleep.calls();
        EXPECT_EQ(std::vector<uint32_t>(calls.begin() + static_cast<long>(before), calls.end()),
                  std::vector<uint32_t>{want})
            << duration;
        OnPowerBroadcast(a, win::kPbtApmResumeSuspend);
    }
}

TEST(Durations, ClampToWhatTheConsoleCanSet) {
    EXPECT_EQ(ClampDuration(0), 1u);
    EXPECT_EQ(ClampDuration(1), 1u);
    EXPECT_EQ(ClampDuration(50), 50u);
    EXPECT_EQ(ClampDuration(1000), 1000u);
    EXPECT_EQ(ClampDuration(1001), 1000u);
    EXPECT_EQ(ClampDuration(0xFFFFFFF5u), 1000u);
}

// ---------------------------------------------------------------- start

class FakeStart : public StartPort {
public:
    explicit FakeStart(Journal& journal) : journal_(journal) {}
    bool running = false;
    bool existed = false;
    bool mutexFails = false;  // CreateMutexA gives no handle
    bool classFails = false;
    WindowHandle window = AgentRig::kMainWindow;

    bool instanceRunning(const char*) override {
        journal_.add("OpenMutex");
        return running;
    }
    KernelHandle createInstanceMutex(const char*, bool* alreadyExisted) override {
        journal_.add("CreateMutex");
        *alreadyExisted = existed;
        return mutexFails ? 0 : 0x4400;
    }
    bool osVersion(uint32_t* platformId, uint32_t* major) override {
        *platformId = kVerPlatformWin32Nt;
        *major = 6;
        return true;
    }
    uint32_t registerWindowMessage(const char* name) override {
        journal_.add(std::string("RegisterWindowMessage ") + name);
        return registeredMessage;
    }
    uint32_t registeredMessage = 0xC0F0;  // 0: RegisterWindowMessageA failed
    void allowMessageFromLowerIntegrity(uint32_t message) override {
        journal_.add("ChangeWindowMessageFilter " + hexOf(message) + " add");
    }
    bool registerWindowClass() override {
        journal_.add("RegisterClass");
        return !classFails;
    }
    WindowHandle createMainWindow() override {
        journal_.add("CreateWindowEx -> " + hexOf(window));
        return window;
    }

private:
    Journal& journal_;
};

class Start : public Reentrancy {
protected:
    Start() { rig.agent.state.mainWindow.set(0); }
    FakeStart start{rig.journal};
};

TEST_F(Start, RunsTheStepsInOrderAndPostsTheFirstApplication) {
    EXPECT_TRUE(StartAgent(a, start, "runonce"));
    const auto lines = rig.journal.lines();
    EXPECT_EQ(lines.front(), "OpenMutex");
    EXPECT_EQ(lines[1], "CreateMutex");
    EXPECT_LT(rig.journal.find("lock 0"), rig.journal.find("RegisterClass"));
    EXPECT_EQ(lines.back(), "PostMessage 0x500 0x504 0 0x0");
    EXPECT_EQ(a.state.instanceMutex.get(), 0x4400u);
    EXPECT_EQ(a.state.mainWindow.get(), AgentRig::kMainWindow);
    EXPECT_EQ(a.state.runOnce.get(), 1u);
    EXPECT_EQ(a.state.osNt6.get(), 1u);
}

// The session watch's first look comes before the first settings go out:
// an agent started away from the console (the installer restarts the agents
// of every session) sends its user's option word nowhere.
TEST_F(Start, LooksAtTheSessionBeforeTheFirstSettingsReachTheDriver) {
    rig.libraries.addModule("KERNEL32.dll", 0x3200);
    rig.libraries.addExport(0x3200, "ProcessIdToSessionId", 1);
    rig.libraries.addExport(0x3200, "WTSGetActiveConsoleSessionId", 1);
    for (const uint32_t console : {2u, 5u}) {
        rig.journal.clear();
        rig.driver.clearLog();
        a.state.kernelModule.set(0);
        rig.libraries.processSessionId = 2;
        rig.libraries.sessionId = console;
        EXPECT_TRUE(StartAgent(a, start, "runonce"));
        const int look = rig.journal.find("call WTSGetActiveConsoleSessionId() -> 1");
        EXPECT_GE(look, 0);
        EXPECT_LT(look, rig.journal.find("lock 0")) << "before ApplyStoredSettings";
        EXPECT_EQ(a.state.sessionActive.get(), console == 2 ? 1u : 0u);
        EXPECT_EQ(rig.driver.countOf(req::kSetOption), console == 2 ? 1 : 0);
        EXPECT_EQ(rig.driver.countOf(req::kSetCalibration) + rig.driver.countOf(req::kGetPanelIds),
                  console == 2 ? 1 : 0);
        a.state.instanceMutex.set(0);
    }
}

// Started elevated, the agent must still hear a non-elevated Explorer's
// "TaskbarCreated" and the console's WM_COPYDATA; nothing else is let in.
TEST_F(Start, LetsExactlyTaskbarCreatedAndCopyDataInFromLowerIntegrity) {
    for (const uint32_t registered : {0xC0F0u, 0u}) {
        rig.journal.clear();
        start.registeredMessage = registered;
        a.state.instanceMutex.set(0);
        EXPECT_TRUE(StartAgent(a, start, ""));
        std::vector<std::string> want;
        if (registered) want.push_back("ChangeWindowMessageFilter 0xc0f0 add");
        want.push_back("ChangeWindowMessageFilter 0x4a add");
        EXPECT_EQ(rig.journal.starting("ChangeWindowMessageFilter"), want);
        EXPECT_LT(rig.journal.find("ChangeWindowMessageFilter 0x4a add"), rig.journal.find("CreateWindowEx -> 0x500"));
    }
}

TEST_F(Start, RegistersTaskbarCreatedBeforeItsWindowCanBeSentIt) {
    EXPECT_TRUE(StartAgent(a, start, ""));
    const int registered = rig.journal.find("RegisterWindowMessage TaskbarCreated");
    EXPECT_GE(registered, 0);
    EXPECT_LT(registered, rig.journal.find("CreateWindowEx -> 0x500"));
    EXPECT_EQ(a.state.taskbarCreatedMessage.get(), 0xC0F0u);
}

// Another agent holds the mutex: OpenMutexA finds it; or two agents started
// in the same instant both pass OpenMutexA and the second learns it from
// CreateMutexA; or an agent of another token (an elevated one) holds it, so
// that both calls fail. Each is another agent: nothing is touched.
TEST(StartBesideAnotherAgent, EndsItBeforeAnythingIsTouched) {
    struct Case {
        const char* name;
        bool running, existed, mutexFails;
        std::vector<std::string> journal;
    } cases[] = {
        {"found by OpenMutexA", true, false, false, {"OpenMutex"}},
        {"learnt from CreateMutexA", false, true, false, {"OpenMutex", "CreateMutex", "ReleaseMutex 0x4400"}},
        {"a mutex that can neither be opened nor created", false, false, true, {"OpenMutex", "CreateMutex"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AgentRig rig;
        AgentRig::addSuiteKeys(rig.registry, rig.driver);
        rig.agent.state.mainWindow.set(0);
        FakeStart start{rig.journal};
        start.running = c.running;
        start.existed = c.existed;
        start.mutexFails = c.mutexFails;
        EXPECT_FALSE(StartAgent(rig.agent, start, "runonce"));
        EXPECT_EQ(rig.journal.lines(), c.journal);
        EXPECT_EQ(rig.agent.state.instanceMutex.get(), 0u);
        EXPECT_EQ(rig.agent.state.mainWindow.get(), 0u);
        EXPECT_TRUE(rig.driver.requests().empty()) << "no settings applied";
    }
}

TEST_F(Start, AWindowThatCannotBeCreatedEndsItAndFreesTheMutex) {
    start.window = 0;
    EXPECT_FALSE(StartAgent(a, start, ""));
    EXPECT_GE(rig.journal.find("ReleaseMutex 0x4400"), rig.journal.find("CreateWindowEx -> 0x0"));
    EXPECT_EQ(rig.journal.starting("PostMessage").size(), 0u);
    EXPECT_EQ(a.state.instanceMutex.get(), 0u);
    EXPECT_EQ(a.state.mainWindow.get(), 0u);
}

TEST_F(Start, AClassThatCannotBeRegisteredEndsItAndFreesTheMutex) {
    start.classFails = true;
    EXPECT_FALSE(StartAgent(a, start, ""));
    EXPECT_EQ(rig.journal.lines().back(), "ReleaseMutex 0x4400");
    EXPECT_EQ(rig.journal.starting("CreateWindowEx").size(), 0u);
}

// ---------------------------------------------------------------- sessions

TEST_F(Reentrancy, SessionNotificationsAreRememberedWhenTheRegistrationSucceeds) {
    rig.libraries.addModule("wtsapi32.dll", 0x3100);
    rig.libraries.addExport(0x3100, "WTSRegisterSessionNotification", 1);
    rig.libraries.addModule("KERNEL32.dll", 0x3200);
    rig.libraries.addExport(0x3200, "WTSGetActiveConsoleSessionId", 1);
    OnApplySettings(a, 0);
    EXPECT_EQ(a.state.sessionNotifications.get(), 1u);

    AgentRig other;
    other.installHook();
    other.libraries.addModule("wtsapi32.dll", 0x3100);
    other.libraries.addExport(0x3100, "WTSRegisterSessionNotification", 0);
    other.agent.state.osNt6.set(1);
    OnApplySettings(other.agent, 0);
    EXPECT_EQ(other.agent.state.sessionNotifications.get(), 0u);
}

TEST_F(Reentrancy, SessionChangeWakesTheWatchThroughItsEvent) {
    EXPECT_TRUE(HandleMainWindowMessage(a, win::kWmWtsSessionChange, 1, 0));
    EXPECT_TRUE(rig.journal.starting("SetEvent").empty()) << "no watch waiting: nothing to wake";
    a.state.sessionEvent.set(0xE0);
    EXPECT_TRUE(HandleMainWindowMessage(a, win::kWmWtsSessionChange, 2, 0));
    EXPECT_EQ(rig.journal.starting("SetEvent"), std::vector<std::string>{"SetEvent 0xe0"});
}

}  // namespace
}  // namespace tp::test
