#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "announcer.h"

namespace tp {
namespace {

// The thread is not started for real: the test runs its body when it wants,
// and a broadcast can let requests come in while it is under way.
class FakeAnnounce : public AnnouncePort {
public:
    std::vector<std::string> log;
    bool threadFails = false;
    bool idle = true;
    int threadsStarted = 0;
    bool waitSucceeds = false;  // what a wait with the thread still busy gives
    std::function<void(uint32_t)> duringBroadcast;

    void lock() override { EXPECT_FALSE(locked_) << "the lock is taken twice"; locked_ = true; }
    void unlock() override { locked_ = false; }
    bool startThread(Announcer&) override {
        EXPECT_FALSE(locked_) << "a thread started under the lock";
        ++threadsStarted;
        return !threadFails;
    }
    void broadcast(uint32_t action) override {
        EXPECT_FALSE(locked_) << "a broadcast under the lock waits on every window with it";
        log.push_back("broadcast " + std::to_string(action));
        if (duringBroadcast) duringBroadcast(action);
    }
    void setIdle(bool value) override { idle = value; }
    bool waitIdle(uint32_t timeoutMs) override {
        log.push_back("wait " + std::to_string(timeoutMs));
        return waitSucceeds;
    }

private:
    bool locked_ = false;
};

TEST(Announcer, RequestsWhileItRunsAreMergedAndAValueThatMovesDuringItsBroadcastIsSentAgain) {
    struct Case {
        const char* name;
        std::vector<uint32_t> before;  // requested before the thread runs
        uint32_t duringFirst;          // requested while the first broadcast is under way (0: none)
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"one request", {30}, 0, {"broadcast 30"}},
        {"the same value twice before the thread runs", {30, 30}, 0, {"broadcast 30"}},
        {"two values and a repeat", {30, 29, 30, 29}, 0, {"broadcast 30", "broadcast 29"}},
        {"moved again while it is being sent", {30}, 30, {"broadcast 30", "broadcast 30"}},
        {"another value while the first is sent", {30, 29}, 20, {"broadcast 30", "broadcast 29", "broadcast 20"}},
        {"a queued value requested again while another is sent", {30, 29}, 29, {"broadcast 30", "broadcast 29"}},
    };
    for (const Case& c : cases) {
        FakeAnnounce port;
        Announcer announcer(port);
        for (uint32_t action : c.before) announcer.request(action);
        EXPECT_EQ(port.threadsStarted, 1) << c.name << ": one thread, whatever comes in";
        EXPECT_FALSE(port.idle) << c.name;
        bool first = true;
        port.duringBroadcast = [&](uint32_t) {
            if (first && c.duringFirst) announcer.request(c.duringFirst);
            first = false;
        };
        announcer.run();
        EXPECT_EQ(port.log, c.log) << c.name;
        EXPECT_EQ(port.threadsStarted, 1) << c.name;
        EXPECT_TRUE(port.idle) << c.name;
        // A later request starts a new thread.
        announcer.request(5);
        EXPECT_EQ(port.threadsStarted, 2) << c.name;
    }
}

TEST(Announcer, ExitWaitsOnlyForAnAnnouncementStillUnderWay) {
    FakeAnnounce port;
    Announcer announcer(port);
    EXPECT_TRUE(announcer.finish(kAnnounceFinishMs)) << "nothing requested: no wait";
    EXPECT_TRUE(port.log.empty());

    announcer.request(30);
    EXPECT_FALSE(announcer.finish(kAnnounceFinishMs)) << "still under way when the time ran out";
    port.waitSucceeds = true;
    EXPECT_TRUE(announcer.finish(kAnnounceFinishMs));
    EXPECT_EQ(port.log, (std::vector<std::string>{"wait 5000", "wait 5000"}));

    announcer.run();
    port.log.clear();
    EXPECT_TRUE(announcer.finish(kAnnounceFinishMs)) << "sent: no wait";
    EXPECT_TRUE(port.log.empty());
}

TEST(Announcer, WithoutAThreadNothingIsLeftPendingAndTheNextRequestTriesAgain) {
    FakeAnnounce port;
    port.threadFails = true;
    Announcer announcer(port);
    announcer.request(30);
    EXPECT_TRUE(port.idle);
    EXPECT_TRUE(announcer.finish(kAnnounceFinishMs));
    port.threadFails = false;
    announcer.request(29);
    EXPECT_EQ(port.threadsStarted, 2);
    announcer.run();
    EXPECT_EQ(port.log, (std::vector<std::string>{"broadcast 29"})) << "the failed request is not sent late";
}

TEST(Announcer, MoreDistinctValuesThanItQueuesAreDroppedNotOverrun) {
    FakeAnnounce port;
    Announcer announcer(port);
    for (uint32_t action = 1; action <= Announcer::kMaxQueued + 3; ++action) announcer.request(action);
    announcer.run();
    EXPECT_EQ(port.log.size(), static_cast<size_t>(Announcer::kMaxQueued));
}

}  // namespace
}  // namespace tp
