#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup_actions.h"

namespace tp::setup {
namespace {

// A machine with agents in several sessions: some watch the close signal
// (this build), some only have a window on the installer's desktop (an
// earlier build), some end only after a number of looks, some never. One
// journal for every port.
class FakeMachine : public AgentProcessPort, public launcher::AgentWindowPort, public SleepPort {
public:
    struct Agent {
        AgentProcess process;
        bool watchesSignal;
        bool onThisDesktop;
        int endsAfterLooks;  // after the signal or WM_DESTROY; never when negative
        bool closing = false;
        int looks = 0;
        bool running = true;
    };
    std::vector<Agent> agents;
    bool signalExists = true;
    bool signal = false;
    std::vector<std::string> journal;

    std::vector<AgentProcess> findAgents() override {
        std::vector<AgentProcess> found;
        for (Agent& a : agents) {
            if (a.running && a.closing && a.endsAfterLooks >= 0 && a.looks++ >= a.endsAfterLooks) a.running = false;
            if (a.running) found.push_back(a.process);
        }
        return found;
    }
    uintptr_t openEvent(const char* name) override {
        journal.push_back(std::string("open ") + name);
        return signalExists ? kEvent : 0;
    }
    bool setEvent(uintptr_t event) override {
        journal.push_back("set");
        signal = event == kEvent;
        for (Agent& a : agents) a.closing |= signal && a.watchesSignal;
        return true;
    }
    bool resetEvent(uintptr_t) override {
        journal.push_back("reset");
        signal = false;
        return true;
    }
    void closeHandle(uintptr_t handle) override { journal.push_back(handle == kEvent ? "close event" : "close ?"); }
    launcher::WindowHandle findWindow(const char*, const char*) override {
        for (size_t i = 0; i < agents.size(); ++i)
            if (agents[i].running && agents[i].onThisDesktop) return i + 1;
        return 0;
    }
    intptr_t sendMessage(launcher::WindowHandle window, uint32_t message, uintptr_t, intptr_t) override {
        journal.push_back("WM_DESTROY " + std::to_string(message == launcher::kWmDestroy));
        agents[window - 1].closing = true;
        if (agents[window - 1].endsAfterLooks == 0) agents[window - 1].running = false;
        return 0;
    }
    void sleep(uint32_t) override { ++sleeps; }

    int sleeps = 0;
    static constexpr uintptr_t kEvent = 0x77;
};

using Agent = FakeMachine::Agent;

TEST(CloseAgents, EveryAgentInEverySessionEndsAndItsSessionIsNoted) {
    struct Case {
        const char* name;
        std::vector<Agent> agents;
        bool signalExists;
        std::vector<uint32_t> closed;
        std::vector<uint32_t> stillRunningPids;
        bool signalled;
        std::vector<uint32_t> closedUnknownPids;
    } cases[] = {
        {"no agent: nothing is signalled", {}, true, {}, {}, false, {}},
        {"an agent whose session cannot be read is closed but not noted as session 4294967295",
         {{{10, kUnknownSession, 87}, true, false, 0}, {{20, 2, 0}, true, false, 0}},
         true,
         {2},
         {},
         true,
         {10}},
        {"agents of two other sessions, unreachable by window, end on the signal",
         {{{10, 1, 0}, true, false, 2}, {{20, 2, 0}, true, false, 0}},
         true,
         {1, 2},
         {},
         true,
         {}},
        {"an earlier build's agent on this desktop ends on WM_DESTROY without a signal",
         {{{10, 1, 0}, false, true, 0}},
         false,
         {1},
         {},
         false,
         {}},
        {"an earlier build in another session stays running and is not noted",
         {{{10, 1, 0}, true, true, 0}, {{30, 3, 0}, false, false, 0}},
         true,
         {1},
         {30},
         true,
         {}},
        {"a hung agent is waited for ten seconds at most",
         {{{10, 1, 0}, true, false, -1}, {{11, 2, 0}, true, false, 1}},
         true,
         {2},
         {10},
         true,
         {}},
        {"two agents of one session note it once",
         {{{10, 4, 0}, true, false, 0}, {{11, 4, 0}, true, false, 3}},
         true,
         {4},
         {},
         true,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMachine machine;
        machine.agents = c.agents;
        machine.signalExists = c.signalExists;
        const CloseResult result = closeAgents(machine, machine, machine);
        EXPECT_EQ(result.closedSessions, c.closed);
        std::vector<uint32_t> pids;
        for (const AgentProcess& a : result.stillRunning) pids.push_back(a.pid);
        EXPECT_EQ(pids, c.stillRunningPids);
        EXPECT_EQ(result.signalled, c.signalled);
        pids.clear();
        for (const AgentProcess& a : result.closedUnknown) pids.push_back(a.pid);
        EXPECT_EQ(pids, c.closedUnknownPids);
        EXPECT_FALSE(machine.signal) << "the signal is reset, so later agents run";
        EXPECT_LE(machine.sleeps * kPollMs, 10000u + 51 * launcher::kDestroyPauseMs);
    }
}

TEST(CloseAgents, TheWindowIsOnlyTheFallbackForAgentsTheSignalDoesNotEnd) {
    struct Case {
        const char* name;
        std::vector<Agent> agents;
        bool signalExists;
        std::vector<std::string> journal;
    } cases[] = {
        {"this build's agent on this desktop ends on the signal alone",
         {{{10, 1, 0}, true, true, 1}},
         true,
         {"open Global\\TapagentClose", "set", "reset", "close event"}},
        {"an earlier build beside this build's agent gets WM_DESTROY once the signal had its time",
         {{{10, 1, 0}, false, true, 0}, {{20, 2, 0}, true, false, 0}},
         true,
         {"open Global\\TapagentClose", "set", "WM_DESTROY 1", "reset", "close event"}},
        {"without a signal the window is closed at once",
         {{{10, 1, 0}, false, true, 0}},
         false,
         {"open Global\\TapagentClose", "WM_DESTROY 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMachine machine;
        machine.agents = c.agents;
        machine.signalExists = c.signalExists;
        const CloseResult result = closeAgents(machine, machine, machine);
        EXPECT_EQ(machine.journal, c.journal);
        EXPECT_TRUE(result.stillRunning.empty());
    }
}

TEST(Sessions, TheNotedSessionsSurviveTheTripThroughTheProperty) {
    struct Case {
        const char* text;
        std::vector<uint32_t> sessions;
    } cases[] = {
        {"", {}},  {"1", {1}}, {"0;1;3", {0, 1, 3}}, {"1;1", {1}}, {"1;;x;-2;2 ;3", {1, 3}}, {"4294967296;12", {12}},
        {";", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(decodeSessions(c.text), c.sessions);
    }
    EXPECT_EQ(encodeSessions({0, 1, 3}), "0;1;3");
    EXPECT_EQ(decodeSessions(encodeSessions({7, 2})), (std::vector<uint32_t>{7, 2}));
}

TEST(RestartPlan, EachAgentComesBackAsItsOwnUserNeverElevatedTheConsoleSessionLast) {
    constexpr uint32_t kNone = kUnknownSession;
    struct Case {
        const char* name;
        Installer installer;
        std::vector<uint32_t> sessions;
        std::vector<Restart> plan;
    } cases[] = {
        {"the user's own install, not elevated (Windows XP, UAC off)",
         {1, false, false, 1},
         {1},
         {{1, StartWay::Direct}}},
        {"an elevated install goes through the user's shell", {1, false, true, 1}, {1}, {{1, StartWay::ThroughShell}}},
        {"another user's session is out of an administrator's reach",
         {1, false, true, kNone},
         {1, 2},
         {{1, StartWay::ThroughShell}, {2, StartWay::NotPossible}}},
        {"SYSTEM in session 0 starts every session's agent with its user's token, the console's last",
         {0, true, false, 1},
         {0, 1, 2},
         {{0, StartWay::AsSessionUser}, {2, StartWay::AsSessionUser}, {1, StartWay::AsSessionUser}}},
        {"an administrator account in session 0, at commit as SYSTEM: the same",
         {kNone, true, false, 3},
         {3, 1},
         {{1, StartWay::AsSessionUser}, {3, StartWay::AsSessionUser}}},
        {"the console session had no agent: the order stays",
         {0, true, false, 5},
         {2, 1},
         {{2, StartWay::AsSessionUser}, {1, StartWay::AsSessionUser}}},
        {"nothing closed, nothing started", {1, false, false, 1}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Restart> plan = planRestarts(c.sessions, c.installer);
        ASSERT_EQ(plan.size(), c.plan.size());
        for (size_t i = 0; i < plan.size(); ++i) {
            EXPECT_EQ(plan[i].session, c.plan[i].session) << i;
            EXPECT_EQ(plan[i].way, c.plan[i].way) << i;
        }
    }
}

TEST(RestartPlan, TheDeferredActionsReadPhaseSessionsAndFolderFromTheirData) {
    struct Case {
        const wchar_t* text;
        bool read;
        RestartPhase phase;
        std::vector<uint32_t> sessions;
        const wchar_t* folder;
    } cases[] = {
        {L"commit|1;3|C:\\Program Files\\QTX\\PNL\\USBPNL\\", true, RestartPhase::Commit, {1, 3},
         L"C:\\Program Files\\QTX\\PNL\\USBPNL\\"},
        {L"rollback|2|C:\\X\\", true, RestartPhase::Rollback, {2}, L"C:\\X\\"},
        {L"commit||C:\\X\\", true, RestartPhase::Commit, {}, L"C:\\X\\"},
        {L"", false, RestartPhase::Immediate, {}, L""},
        {L"commit|1", false, RestartPhase::Immediate, {}, L""},
        {L"later|1|C:\\X\\", false, RestartPhase::Immediate, {}, L""},
    };
    for (const Case& c : cases) {
        RestartData data;
        EXPECT_EQ(decodeRestartData(c.text, &data), c.read);
        if (!c.read) continue;
        EXPECT_EQ(data.phase, c.phase);
        EXPECT_EQ(data.sessions, c.sessions);
        EXPECT_EQ(data.folder, c.folder);
    }
    // A busy host's list, longer than any fixed buffer the property was read into.
    std::wstring many = L"commit|";
    std::vector<uint32_t> sessions;
    for (uint32_t s = 1; s <= 400; ++s) {
        many += (s > 1 ? L";" : L"") + std::to_wstring(s);
        sessions.push_back(s);
    }
    RestartData data;
    ASSERT_TRUE(decodeRestartData(many + L"|C:\\X\\", &data));
    EXPECT_EQ(data.sessions, sessions);
}

TEST(RestartPlan, TapstartIsStartedByItsQuotedPath) {
    const std::wstring folder = L"C:\\Program Files (x86)\\QTX\\PNL\\USBPNL\\";
    EXPECT_EQ(tapstartCommand(folder), L"\"C:\\Program Files (x86)\\QTX\\PNL\\USBPNL\\Tapstart.exe\"");
    EXPECT_EQ(tapstartCommand(L"C:\\X"), L"\"C:\\X\\Tapstart.exe\"");
    EXPECT_EQ(shellCommand(L"C:\\Windows", folder),
              L"\"C:\\Windows\\explorer.exe\" \"C:\\Program Files (x86)\\QTX\\PNL\\USBPNL\\Tapstart.exe\"");
    EXPECT_EQ(tapstartCommand(L""), L"") << "an unknown folder starts nothing";
    EXPECT_EQ(shellCommand(L"", folder), L"");
}

TEST(SetupLog, TheLogSaysWhatHappenedToEachAgent) {
    CloseResult none;
    EXPECT_EQ(describe(none), "CloseAgent: no agent was running");
    CloseResult some;
    some.signalled = true;
    some.closedSessions = {1, 2};
    some.stillRunning = {{30, 3, 0}};
    EXPECT_EQ(
        describe(some),
        "CloseAgent: close signal set; closed the agents of sessions 1;2; still running: process 30 in session 3");
    CloseResult unknown;
    unknown.signalled = true;
    unknown.closedUnknown = {{40, kUnknownSession, 87}};
    unknown.stillRunning = {{41, kUnknownSession, 5}};
    EXPECT_EQ(describe(unknown),
              "CloseAgent: close signal set; closed process 40, whose session could not be read (error 87): not "
              "started again; still running: process 41 in a session that could not be read (error 5)");
    struct Case {
        Restart restart;
        RestartPhase phase;
        StartOutcome outcome;
        const char* line;
    } cases[] = {
        {{2, StartWay::NotPossible}, RestartPhase::Immediate, {}, "RestartAgent: session 2, not possible without SYSTEM's rights"},
        {{1, StartWay::ThroughShell}, RestartPhase::Immediate, {}, "RestartAgent: session 1, through the user's shell: started"},
        {{3, StartWay::AsSessionUser}, RestartPhase::Commit, {}, "RestartAgent: session 3 (commit), with the session user's token: started"},
        {{3, StartWay::AsSessionUser},
         RestartPhase::Rollback,
         {"CreateEnvironmentBlock", 1008},
         "RestartAgent: session 3 (rollback), with the session user's token: could not start, CreateEnvironmentBlock "
         "failed (error 1008)"},
        {{1, StartWay::Direct},
         RestartPhase::Commit,
         {"CreateProcess", 2},
         "RestartAgent: session 1 (commit), as the installing user: could not start, CreateProcess failed (error 2)"},
    };
    for (const Case& c : cases) EXPECT_EQ(describe(c.restart, c.phase, c.outcome), c.line);
}

TEST(SetupLog, AnImportThatStopsTheInstallationSaysWhy) {
    EXPECT_NE(describeImportFailure(4).find(L"driver is not installed"), std::wstring::npos);
    EXPECT_NE(describeImportFailure(4).find(L"Services\\TAPTPU\\Parameters"), std::wstring::npos);
    EXPECT_NE(describeImportFailure(3).find(L"elevated or as SYSTEM"), std::wstring::npos);
    EXPECT_NE(describeImportFailure(2), describeImportFailure(5));
}

}  // namespace
}  // namespace tp::setup
