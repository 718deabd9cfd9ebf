#include <gtest/gtest.h>

#include <algorithm>

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
    // The existing event's access as GetSecurityInfo gives it; unreadable when false.
    bool readable = true;
    agentwin::EventSecurity security = guarded();
    std::vector<std::string> journal;

    static agentwin::EventSecurity guarded() {
        using agentwin::Trustee;
        return {true, Trustee::Other, 4,
                {{true, 0x1F0003, Trustee::System}, {true, 0x1F0003, Trustee::Administrators},
                 {true, 0x120000, Trustee::Other}, {true, 0x120000, Trustee::OwnerRights}}};
    }

    uintptr_t openEvent(const char* name) override {
        journal.push_back(std::string("open ") + name);
        return exists ? kEvent : 0;
    }
    uintptr_t createEvent(const char* name, const char* sddl, bool* existed) override {
        const bool owner = std::string(sddl).find("OW)") != std::string::npos;
        journal.push_back(std::string("create ") + name + (owner ? " with owner rights" : " without owner rights"));
        *existed = exists;
        if (appearsOnCreate) {
            exists = true;
            return 0;  // full access to another agent's event is refused
        }
        if (owner && !knowsOwnerRights) return 0;
        exists = true;
        return kEvent;
    }
    bool readSecurity(const char*, agentwin::EventSecurity* out) override {
        journal.push_back("read access");
        *out = security;
        return readable;
    }
    void closeHandle(uintptr_t) override { journal.push_back("close"); }
    void log(const char*) override { journal.push_back("log"); }
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
        {"a later agent opens the first one's event and finds its access guarded",
         true,
         true,
         true,
         false,
         FakeObjects::kEvent,
         {"open " + name, "read access"}},
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
         {"open " + name, "create " + name + " without owner rights", "open " + name, "read access"}},
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
        uintptr_t createEvent(const char*, const char*, bool*) override { return 0; }
    } refusing;
    EXPECT_EQ(OpenCloseSignal(refusing, true), 0u);
}

// A user can make the event before the first agent: with access that lets
// them set it (to end every agent at will), or that keeps the agents deaf.
// Only an event whose setting is left to SYSTEM and the administrators is
// watched; any other is logged and let go, and the agent is closed by its
// window instead.
TEST(CloseSignal, AnEventThatLetsOthersSetItIsLoggedAndLeft) {
    using agentwin::Trustee;
    constexpr uint32_t kSync = 0x00100000, kModify = 0x0002;
    struct Case {
        const char* name;
        agentwin::EventSecurity security;
        bool readable, nt6, used;
    };
    const agentwin::EventSecurity ours = FakeObjects::guarded();
    agentwin::EventSecurity xp = ours;
    xp.count = 3;  // no owner-rights entry
    const Case cases[] = {
        {"ours, with owner rights", ours, true, true, true},
        {"ours as Windows XP makes it, seen on XP", xp, true, false, true},
        {"a user-owned one without owner rights, seen on Vista", xp, true, true, false},
        {"the same owned by the administrators (the installer made it)",
         {true, Trustee::Administrators, 3, {xp.entries[0], xp.entries[1], xp.entries[2]}},
         true, true, true},
        {"a NULL DACL", {false, Trustee::System, 0, {}}, true, true, false},
        {"everyone may set it", {true, Trustee::System, 1, {{true, kSync | kModify, Trustee::Other}}}, true, true, false},
        {"everyone may rewrite its access",
         {true, Trustee::System, 1, {{true, kSync | 0x00040000, Trustee::Other}}}, true, true, false},
        {"everyone has GENERIC_ALL", {true, Trustee::System, 1, {{true, 0x10000000, Trustee::Other}}}, true, false, false},
        {"owner rights that include setting",
         {true, Trustee::Other, 2, {{true, kSync, Trustee::Other}, {true, kSync | kModify, Trustee::OwnerRights}}},
         true, true, false},
        {"a denial for the agents, setting for administrators only",
         {true, Trustee::System, 2, {{false, kSync, Trustee::Other}, {true, 0x1F0003, Trustee::Administrators}}},
         true, true, true},
        {"access that cannot be read", ours, false, true, false},
        {"more entries than anyone needs", {true, Trustee::System, 17, {}}, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.readable) {
            EXPECT_EQ(agentwin::closeSignalIsGuarded(c.security, c.nt6), c.used);
        }
        FakeObjects objects;
        objects.exists = true;
        objects.security = c.security;
        objects.readable = c.readable;
        EXPECT_EQ(OpenCloseSignal(objects, c.nt6), c.used ? FakeObjects::kEvent : 0u);
        const std::vector<std::string> used = {"open " + std::string(agentwin::kCloseEventName), "read access"};
        const std::vector<std::string> left = {"open " + std::string(agentwin::kCloseEventName), "read access", "log",
                                               "close"};
        EXPECT_EQ(objects.journal, c.used ? used : left);
    }
}

// The event a user made between this agent's look and its create is checked
// as any other; one the agent made itself is not.
TEST(CloseSignal, AnEventThatAppearedBeforeTheCreateIsCheckedToo) {
    FakeObjects objects;
    struct Racing : FakeObjects {
        uintptr_t createEvent(const char* name, const char* sddl, bool* existed) override {
            FakeObjects::createEvent(name, sddl, existed);
            *existed = true;
            return kEvent;
        }
    } racing;
    racing.security = {false, agentwin::Trustee::System, 0, {}};
    EXPECT_EQ(OpenCloseSignal(racing, true), 0u);
    EXPECT_EQ(racing.journal.back(), "close");
    EXPECT_EQ(OpenCloseSignal(objects, true), FakeObjects::kEvent);
    EXPECT_EQ(std::count(objects.journal.begin(), objects.journal.end(), "read access"), 0);
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
