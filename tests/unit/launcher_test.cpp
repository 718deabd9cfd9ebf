#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher.h"

namespace tp::launcher {
namespace {

constexpr char kAgentPath[] = "C:\\Program Files\\QTX\\PNL\\USBPNL\\Tapagent.exe";

// A desktop with at most one agent window that goes away after a number of
// WM_DESTROY messages (never when negative); one journal for every port, so
// the order of finds, messages, pauses and starts is visible.
class FakeDesktop : public AgentWindowPort, public ProgramPort, public SleepPort {
public:
    explicit FakeDesktop(int closesAfter, bool agentRunning = true)
        : running_(agentRunning), closesAfter_(closesAfter) {}

    WindowHandle findWindow(const char* className, const char* windowName) override {
        journal.push_back(std::string("find ") + className + " " + windowName);
        return running_ ? kWindow : 0;
    }
    intptr_t sendMessage(WindowHandle window, uint32_t message, uintptr_t, intptr_t) override {
        journal.push_back("send " + std::to_string(message) + (window == kWindow ? " agent" : " other"));
        if (running_ && window == kWindow && message == kWmDestroy && ++destroys_ == closesAfter_) running_ = false;
        return 0;
    }
    void sleep(uint32_t ms) override { journal.push_back("sleep " + std::to_string(ms)); }
    uint32_t winExec(const char* commandLine, uint32_t show) override {
        journal.push_back(std::string("exec ") + commandLine + " show " + std::to_string(show));
        started.push_back(commandLine);
        return 33;
    }

    int count(const std::string& prefix) const {
        int n = 0;
        for (const auto& line : journal) n += line.rfind(prefix, 0) == 0;
        return n;
    }

    std::vector<std::string> journal;
    std::vector<std::string> started;

private:
    static constexpr WindowHandle kWindow = 0x1234;
    bool running_;
    int closesAfter_;
    int destroys_ = 0;
};

TEST(Launcher, ClosesTheRunningAgentThenStartsItWithRunonce) {
    struct Case {
        const char* name;
        bool running;
        int closesAfter;
        int destroys;
    } cases[] = {
        {"no agent: nothing is sent", false, 0, 0},
        {"an agent that closes after two messages", true, 2, 2},
        {"an agent that never closes gets 51 and the start anyway", true, -1, 51},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop(c.closesAfter, c.running);
        runLauncher(desktop, desktop, desktop, kAgentPath);
        EXPECT_EQ(desktop.count("send 2 agent"), c.destroys);
        EXPECT_EQ(desktop.count("sleep 100"), c.destroys) << "one 100 ms pause after each message";
        EXPECT_EQ(desktop.count("sleep"), c.destroys);
        ASSERT_EQ(desktop.started.size(), 1u);
        EXPECT_EQ(desktop.journal.back().rfind("exec ", 0), 0u) << "the start comes last";
    }
}

TEST(Launcher, LooksAgainAfterEachPauseAndStartsOnceTheWindowIsGone) {
    FakeDesktop desktop(2);
    runLauncher(desktop, desktop, desktop, kAgentPath);
    const std::string find = "find TAPAGENT:MAIN TAPAGENT";
    EXPECT_EQ(desktop.journal,
              (std::vector<std::string>{find, "send 2 agent", "sleep 100", find, "send 2 agent", "sleep 100", find,
                                        "exec \"C:\\Program Files\\QTX\\PNL\\USBPNL\\Tapagent.exe\" runonce show 1"}));
}

TEST(Launcher, CommandLineIsTheQuotedPathABlankAndRunonceOrNothing) {
    struct Case {
        const char* name;
        std::string path;
        std::string expected;  // empty: nothing is started
    } cases[] = {
        {"a path with a blank is quoted", kAgentPath, std::string("\"") + kAgentPath + "\" runonce"},
        {"the longest path that fits in 260 bytes", std::string(249, 'p'), "\"" + std::string(249, 'p') + "\" runonce"},
        {"one character more is not cut short", std::string(250, 'p'), ""},
        {"an unknown Program Files folder starts nothing", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop(0, false);
        runLauncher(desktop, desktop, desktop, c.path.c_str());
        EXPECT_EQ(desktop.started, c.expected.empty() ? std::vector<std::string>{} : std::vector{c.expected});
    }
}

}  // namespace
}  // namespace tp::launcher
