#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent_close_signal.h"
#include "close_signal.h"

namespace tp::agent {
namespace {

// One named event in a machine's object namespace: it exists or not, and
// accepts the descriptors this Windows can convert.
class FakeObjects : public CloseSignalPort {
public:
    bool exists = false;
    bool knowsOwnerRights = true;
    bool appearsOnCreate = false;  // another agent makes it between open and create
    bool signalled = false;
    std::vector<std::string> journal;

    uintptr_t openEvent(const char* name) override {
        journal.push_back(std::string("open ") + name);
        return exists ? kEvent : 0;
    }
    uintptr_t createEvent(const char* name, const char* sddl) override {
        const bool owner = std::string(sddl).find("OW)") != std::string::npos;
        journal.push_back(std::string("create ") + name + (owner ? " with owner rights" : " without owner rights"));
        if (appearsOnCreate) {
            exists = true;
            return 0;  // full access to another agent's event is refused
        }
        if (owner && !knowsOwnerRights) return 0;
        exists = true;
        return kEvent;
    }
    bool waitForEvent(uintptr_t event) override {
        journal.push_back(event == kEvent ? "wait" : "wait other");
        return signalled;
    }
    void sendMessage(uintptr_t window, uint32_t message) override {
        journal.push_back("send " + std::to_string(message) + (window == kWindow ? " main" : " other"));
    }

    static constexpr uintptr_t kEvent = 0x44;
    static constexpr uintptr_t kWindow = 0x1234;
};

TEST(CloseSignal, EveryAgentGetsTheOneEventWithAccessItsWindowsUnderstands) {
    const std::string name = agentwin::kCloseEventName;
    struct Case {
        const char* name;
        bool nt6, exists, knowsOwnerRights, appearsOnCreate;
        uintptr_t expected;
        std::vector<std::string> journal;
    } cases[] = {
        {"a later agent opens the first one's event", true, true, true, false, FakeObjects::kEvent, {"open " + name}},
        {"the first agent on Vista and later withholds the owner's rights",
         true,
         false,
         true,
         false,
         FakeObjects::kEvent,
         {"open " + name, "create " + name + " with owner rights"}},
        {"a Windows without owner rights gets the plain descriptor",
         true,
         false,
         false,
         false,
         FakeObjects::kEvent,
         {"open " + name, "create " + name + " with owner rights", "create " + name + " without owner rights"}},
        {"Windows XP never asks for owner rights",
         false,
         false,
         true,
         false,
         FakeObjects::kEvent,
         {"open " + name, "create " + name + " without owner rights"}},
        {"an agent that loses the race to create opens the winner's event",
         false,
         false,
         true,
         true,
         FakeObjects::kEvent,
         {"open " + name, "create " + name + " without owner rights", "open " + name}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeObjects objects;
        objects.exists = c.exists;
        objects.knowsOwnerRights = c.knowsOwnerRights;
        objects.appearsOnCreate = c.appearsOnCreate;
        EXPECT_EQ(OpenCloseSignal(objects, c.nt6), c.expected);
        EXPECT_EQ(objects.journal, c.journal);
    }
}

TEST(CloseSignal, NoEventAtAllLeavesTheAgentUnwatched) {
    struct Refusing : FakeObjects {
        uintptr_t createEvent(const char*, const char*) override { return 0; }
    } refusing;
    EXPECT_EQ(OpenCloseSignal(refusing, true), 0u);
}

TEST(CloseSignal, TheSignalEndsTheAgentAsWmDestroyDoes) {
    struct Case {
        const char* name;
        bool signalled;
        std::vector<std::string> journal;
    } cases[] = {
        {"set: WM_DESTROY to the main window", true, {"wait", "send 2 main"}},
        {"a failed wait closes nothing", false, {"wait"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeObjects objects;
        objects.signalled = c.signalled;
        WatchCloseSignal(objects, FakeObjects::kEvent, FakeObjects::kWindow);
        EXPECT_EQ(objects.journal, c.journal);
    }
}

}  // namespace
}  // namespace tp::agent
