#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "fake_driver.h"
#include "hook_logic.h"

namespace tp::hook {
namespace {

using test::FakeDriver;
using Log = std::vector<std::string>;

// One process with the DLL mapped: its own PreviousKeyByte, and a recording
// stand-in for the driver and the agent window. The log interleaves both:
//   open \\.\TAPTPU / ioctl 0x222020 / find TAPAGENT:MAIN TAPAGENT / post 0x500 0 0x205 / close
class Process {
public:
    explicit Process(SharedData& shared) : shared_(shared) {}

    FakeDriver driver;
    uintptr_t agentWindow = 0x10ABC;  // 0 = the agent is not running
    uint32_t consoleSession = 1;       // what WTSGetActiveConsoleSessionId says
    int sessionQueries = 0;
    ProcessKeys keys{};
    Log log;

    DeviceHandle open(const char* path) {
        const DeviceHandle device = driver.open(path);
        log.push_back(driver.log().back());
        return device;
    }
    bool control(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize) {
        const bool ok = driver.control(device, code, in, inSize, out, outSize);
        log.push_back(driver.log().back());
        return ok;
    }
    void close(DeviceHandle device) {
        driver.close(device);
        log.push_back(driver.log().back());
    }
    uintptr_t findWindow(const char* windowClass, const char* name) {
        log.push_back(std::string("find ") + windowClass + " " + name);
        return agentWindow;
    }
    bool postMessage(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
        char line[96];
        std::snprintf(line, sizeof line, "post %#x %#x %ju %#jx", static_cast<unsigned>(window), message,
                      static_cast<uintmax_t>(wParam), static_cast<uintmax_t>(lParam));
        log.push_back(line);
        return true;
    }

    uint32_t activeConsoleSession() {
        ++sessionQueries;
        return consoleSession;
    }

    // Bytes of the key stream, as HookEventFromKey sees them: "E0 1D E0 9D".
    void bytes(const std::string& stream) {
        std::istringstream in(stream);
        unsigned b;
        while (in >> std::hex >> b)
            hookEventFromKey(keys.previousKeyByte, load(shared_.option), static_cast<uint8_t>(b),
                             [this](ButtonMode mode) { switchButtonMode(*this, mode); });
    }

    // One call of the hook procedure with a keyboard hook's lParam.
    void key(uint32_t lParam) { onKeyMessage(shared_, keys, lParam, *this); }

    // The driver requests and agent messages only, in order.
    Log effects() const {
        Log out;
        for (const auto& line : log)
            if (line.rfind("ioctl ", 0) == 0)
                out.push_back(line.substr(6));
            else if (line.rfind("post ", 0) == 0)
                out.push_back(line);
        return out;
    }

private:
    SharedData& shared_;
};

constexpr uint32_t kHeld = opt::kKeyRightClick | opt::kKeyHeld;
constexpr uint32_t kOneTouch = opt::kKeyRightClick;

const std::string kSecondary = "0x22201c";
const std::string kPrimary = "0x222020";
const std::string kNotifyAgent = "post 0x10abc 0x500 0 0x205";

// lParam of WH_KEYBOARD: repeat count 1, scan code, extended flag, previous
// state (bit 30, set on auto-repeat and release), transition (bit 31).
uint32_t down(uint8_t scan, bool extended = false) { return 1u | scan << 16 | (extended ? 1u << 24 : 0); }
uint32_t repeat(uint8_t scan, bool extended = false) { return down(scan, extended) | 1u << 30; }
uint32_t up(uint8_t scan, bool extended = false) { return down(scan, extended) | 1u << 30 | 1u << 31; }

class HookTest : public ::testing::Test {
protected:
    SharedData shared{};
    Process process{shared};

    void choose(uint32_t option) { setOptionData(shared, option); }
};

using ButtonModeSwitch = HookTest;

TEST_F(ButtonModeSwitch, SecondaryIsOneRequestAndTellsNobody) {
    switchButtonMode(process, ButtonMode::Secondary);
    EXPECT_EQ(process.log, (Log{"open \\\\.\\TAPTPU", "ioctl 0x22201c", "close"}));
}

TEST_F(ButtonModeSwitch, PrimaryNotifiesTheAgentBeforeTheDeviceCloses) {
    switchButtonMode(process, ButtonMode::Primary);
    EXPECT_EQ(process.log, (Log{"open \\\\.\\TAPTPU", "ioctl 0x222020", "find TAPAGENT:MAIN TAPAGENT",
                                "post 0x10abc 0x500 0 0x205", "close"}));
}

TEST_F(ButtonModeSwitch, PrimaryIsStillSentWhenTheAgentIsNotRunning) {
    process.agentWindow = 0;
    switchButtonMode(process, ButtonMode::Primary);
    EXPECT_EQ(process.log, (Log{"open \\\\.\\TAPTPU", "ioctl 0x222020", "find TAPAGENT:MAIN TAPAGENT", "close"}));
}

TEST_F(ButtonModeSwitch, AFailedRequestIsIgnored) {
    process.driver.fail(req::kButtonPrimary);
    switchButtonMode(process, ButtonMode::Primary);
    EXPECT_EQ(process.effects(), (Log{kPrimary, kNotifyAgent}));
    EXPECT_EQ(process.driver.openHandles(), 0);
}

TEST_F(ButtonModeSwitch, WithoutTheDeviceNothingHappensAndNobodyIsTold) {
    process.driver.setPresent(kPanelDevicePath, false);
    switchButtonMode(process, ButtonMode::Secondary);
    switchButtonMode(process, ButtonMode::Primary);
    EXPECT_EQ(process.log, (Log{"open \\\\.\\TAPTPU failed", "open \\\\.\\TAPTPU failed"}));
}

using HeldMode = HookTest;

TEST_F(HeldMode, LeftCtrlArmsOnEveryPressAndRepeatAndDisarmsOnRelease) {
    choose(kHeld | opt::kKeyCtrl);
    process.bytes("1D 1D 1D");
    EXPECT_EQ(process.effects(), (Log{kSecondary, kSecondary, kSecondary}));
    process.bytes("9D");
    EXPECT_EQ(process.effects(), (Log{kSecondary, kSecondary, kSecondary, kPrimary, kNotifyAgent}));
}

TEST_F(HeldMode, RightCtrlActsLikeLeftCtrl) {
    choose(kHeld | opt::kKeyCtrl);
    process.bytes("E0 1D E0 1D E0 9D");
    EXPECT_EQ(process.effects(), (Log{kSecondary, kSecondary, kPrimary, kNotifyAgent}));
}

TEST_F(HeldMode, HookProcedureTurnsTheExtendedFlagIntoThePrefix) {
    choose(kHeld | opt::kKeyCtrl);
    process.key(down(0x1D, true));
    process.key(repeat(0x1D, true));
    process.key(repeat(0x1D, true));
    process.key(up(0x1D, true));
    EXPECT_EQ(process.effects(), (Log{kSecondary, kPrimary, kNotifyAgent}));
    EXPECT_EQ(process.keys.previousKeyByte, 0x9D);
    process.log.clear();
    process.key(down(0x1D));
    process.key(up(0x1D));
    EXPECT_EQ(process.effects(), (Log{kSecondary, kPrimary, kNotifyAgent})) << "no prefix left over";
}

TEST_F(HeldMode, KeysNotChosenAndOtherKeysDoNothing) {
    choose(kHeld | opt::kKeyCtrl);
    process.bytes("2A AA 36 B6 38 B8 E0 38 E0 B8 1E 9E E0 1C E0 9C 45 C5");
    EXPECT_TRUE(process.log.empty());
}

TEST_F(HeldMode, EachChosenModifierActsOnItsOwn) {
    choose(kHeld | opt::kKeyShift | opt::kKeyAlt);
    process.bytes("2A AA 36 B6 38 B8 E0 38 E0 B8 1D 9D");
    EXPECT_EQ(process.effects(), (Log{kSecondary, kPrimary, kNotifyAgent, kSecondary, kPrimary, kNotifyAgent,
                                      kSecondary, kPrimary, kNotifyAgent, kSecondary, kPrimary, kNotifyAgent}));
}

// The hook runs on every keystroke of every program: an auto-repeated press
// asks the driver again only when this process last asked for the other mode
// (a fresh press always asks).
TEST_F(HeldMode, AutoRepeatAsksTheDriverOnlyWhenTheModeWouldChange) {
    struct Case {
        const char* name;
        std::vector<uint32_t> keys;
        Log effects;
    };
    const Case cases[] = {
        {"held Ctrl repeating", {down(0x1D), repeat(0x1D), repeat(0x1D), repeat(0x1D)}, {kSecondary}},
        {"press, release, repeat of a new press", {down(0x1D), up(0x1D), repeat(0x1D)},
         {kSecondary, kPrimary, kNotifyAgent, kSecondary}},
        {"two fresh presses", {down(0x1D), down(0x1D), up(0x1D), up(0x1D)},
         {kSecondary, kSecondary, kPrimary, kNotifyAgent, kPrimary, kNotifyAgent}},
        {"a repeat as this process's first key", {repeat(0x2A)}, {kSecondary}},
        {"right Ctrl repeating", {down(0x1D, true), repeat(0x1D, true), up(0x1D, true)},
         {kSecondary, kPrimary, kNotifyAgent}},
    };
    for (const Case& c : cases) {
        SharedData fresh{};
        setOptionData(fresh, kHeld | opt::kKeyCtrl | opt::kKeyShift);
        Process p(fresh);
        for (uint32_t lParam : c.keys) p.key(lParam);
        EXPECT_EQ(p.effects(), c.effects) << c.name;
    }
}

// The hook runs in the processes of every session; the panel is the
// console's. A process learns its session once, at attach, and a key that
// would switch asks which session has the console.
TEST_F(HeldMode, KeysActOnlyInProcessesOfTheConsoleSession) {
    struct Case {
        const char* name;
        bool known;
        uint32_t own, console;
        bool acts;
    };
    const Case cases[] = {
        {"at the console", true, 1, 1, true},
        {"session 0 at the console (Windows XP)", true, 0, 0, true},
        {"a remote session", true, 2, 1, false},
        {"switched away from", true, 1, 3, false},
        {"no session at the console during a switch", true, 1, 0xFFFFFFFF, false},
        {"session unknown: acts as before", false, 0, 1, true},
    };
    for (const Case& c : cases) {
        SharedData fresh{};
        setOptionData(fresh, kHeld | opt::kKeyShift);
        Process p(fresh);
        processSession(p.keys, c.known, c.own);
        p.consoleSession = c.console;
        p.key(down(0x2A));
        p.key(up(0x2A));
        EXPECT_EQ(p.effects(), c.acts ? (Log{kSecondary, kPrimary, kNotifyAgent}) : Log{}) << c.name;
        // Ordinary typing never asks.
        const int asked = p.sessionQueries;
        p.key(down(0x1E));
        p.key(up(0x1E));
        EXPECT_EQ(p.sessionQueries, asked) << c.name;
    }
}

// A session that comes back to the console acts again from its next key,
// and the repeat rule does not hold back the first request after the return.
TEST_F(HeldMode, ASessionBackAtTheConsoleActsFromItsNextKey) {
    choose(kHeld | opt::kKeyShift);
    processSession(process.keys, true, 2);
    process.consoleSession = 1;
    process.key(down(0x2A));
    process.key(repeat(0x2A));
    EXPECT_TRUE(process.effects().empty());
    process.consoleSession = 2;
    process.key(repeat(0x2A));
    EXPECT_EQ(process.effects(), (Log{kSecondary}));
}

using OneTouchMode = HookTest;

TEST_F(OneTouchMode, ShiftArmsOnReleaseOnlyAndTellsNobody) {
    choose(kOneTouch | opt::kKeyShift);
    process.key(down(0x2A));
    process.key(repeat(0x2A));
    EXPECT_TRUE(process.log.empty()) << "a press does nothing";
    process.key(up(0x2A));
    EXPECT_EQ(process.log, (Log{"open \\\\.\\TAPTPU", "ioctl 0x22201c", "close"}));
    process.bytes("36 B6");
    EXPECT_EQ(process.effects(), (Log{kSecondary, kSecondary}));
}

TEST_F(OneTouchMode, RightCtrlAndRightAltArmOnRelease) {
    choose(kOneTouch | opt::kKeyCtrl | opt::kKeyAlt);
    process.bytes("E0 1D E0 9D E0 38 E0 B8");
    EXPECT_EQ(process.effects(), (Log{kSecondary, kSecondary}));
}

using ExtendedForms = HookTest;

TEST_F(ExtendedForms, NumLockArrowFakeShiftsSwitchNothing) {
    for (uint32_t mode : {kHeld, kOneTouch}) {
        choose(mode | opt::kKeyShift);
        // Up arrow with NumLock on, and a right-Shift-held variant of the fakes.
        process.bytes("E0 2A E0 48 E0 C8 E0 AA");
        process.bytes("E0 B6 E0 48 E0 C8 E0 36");
        EXPECT_TRUE(process.log.empty()) << "option " << std::hex << mode;
    }
    // The same through the hook procedure, where Windows flags the fakes as extended.
    process.key(down(0x2A, true));
    process.key(down(0x48, true));
    process.key(up(0x48, true));
    process.key(up(0x2A, true));
    EXPECT_TRUE(process.log.empty());
}

TEST_F(ExtendedForms, RealShiftStillActsAfterAFakeOne) {
    choose(kHeld | opt::kKeyShift);
    process.bytes("E0 2A E0 48 E0 C8 E0 AA 2A AA");
    EXPECT_EQ(process.effects(), (Log{kSecondary, kPrimary, kNotifyAgent}));
}

TEST_F(ExtendedForms, RightAltActsLikeLeftAlt) {
    choose(kHeld | opt::kKeyAlt);
    process.bytes("E0 38");
    process.bytes("E0 38");
    process.bytes("E0 B8");
    const Log once = process.effects();
    EXPECT_EQ(once, (Log{kSecondary, kSecondary, kPrimary, kNotifyAgent}));
    process.log.clear();
    process.bytes("38 38 B8");
    EXPECT_EQ(process.effects(), once);
}

TEST_F(ExtendedForms, TheByteAfterPauseIsIgnored) {
    choose(kHeld | opt::kKeyCtrl);
    // Pause sends E1 1D 45 E1 9D C5: the Ctrl codes in it are not Ctrl.
    process.bytes("E1 1D 45 E1 9D C5");
    EXPECT_TRUE(process.log.empty());
    process.bytes("1D");
    EXPECT_EQ(process.effects(), (Log{kSecondary}));
}

using Options = HookTest;

TEST_F(Options, WithoutKeyboardRightClickNoKeyDoesAnything) {
    const std::string everyModifier = "1D 9D E0 1D E0 9D 2A AA 36 B6 38 B8 E0 38 E0 B8";
    choose(opt::kKeyHeld | opt::kKeyCtrl | opt::kKeyShift | opt::kKeyAlt);
    process.bytes(everyModifier);
    choose(opt::kKeyCtrl | opt::kKeyShift | opt::kKeyAlt);
    process.bytes(everyModifier);
    choose(0xFFFFFFFF & ~opt::kKeyRightClick);
    process.bytes(everyModifier);
    EXPECT_TRUE(process.log.empty());
}

TEST_F(Options, NewOptionWordCountsFromTheNextKey) {
    choose(kHeld | opt::kKeyCtrl);
    process.key(down(0x1D));
    choose(kOneTouch | opt::kKeyCtrl);
    process.key(up(0x1D));
    EXPECT_EQ(process.effects(), (Log{kSecondary, kSecondary})) << "released in one-touch mode: armed, not disarmed";
    choose(kOneTouch | opt::kKeyShift);
    process.bytes("1D 9D");
    EXPECT_EQ(process.effects().size(), 2u);
}

TEST_F(Options, EveryProcessSeesTheSharedWordButKeepsItsOwnPreviousByte) {
    Process other(shared);
    choose(kHeld | opt::kKeyCtrl);
    process.bytes("E1");
    other.bytes("1D");
    process.bytes("1D");
    EXPECT_EQ(other.effects(), (Log{kSecondary}));
    EXPECT_TRUE(process.log.empty()) << "its own previous byte was E1";
    other.bytes("E0");
    process.bytes("2A");
    other.bytes("9D");
    EXPECT_EQ(other.effects(), (Log{kSecondary, kPrimary, kNotifyAgent})) << "E0 9D is right Ctrl";
}

// SetWindowsHookExA / UnhookWindowsHookEx / Sleep, scripted and recorded.
struct HookTable {
    uint32_t installResult = 0xC0DE5;
    std::vector<bool> unhookResults;  // one per attempt; missing ones fail
    std::vector<uint32_t> unhooked;
    std::vector<uint32_t> sleeps;

    uint32_t setWindowsHook() { return installResult; }
    bool unhookWindowsHook(uint32_t hook) {
        unhooked.push_back(hook);
        return unhooked.size() <= unhookResults.size() && unhookResults[unhooked.size() - 1];
    }
    void sleep(uint32_t ms) { sleeps.push_back(ms); }
};

class Exports : public HookTest {
protected:
    HookTable table;
    uint32_t own = 0;  // the agent process's own hook handle
};

TEST_F(Exports, SetHookStoresTheHandleInTheSharedData) {
    EXPECT_EQ(setHook(shared, own, table), 1);
    EXPECT_EQ(shared.hook, 0xC0DE5u);
    EXPECT_TRUE(table.unhooked.empty());
}

TEST_F(Exports, AFailedInstallStoresNothing) {
    table.installResult = 0;
    EXPECT_EQ(setHook(shared, own, table), 0);
    EXPECT_EQ(shared.hook, 0u);
    EXPECT_TRUE(table.unhooked.empty());
}

// A second TAPHOOK_SetHook (a second first application in the agent) must
// not leave the first hook installed and forgotten.
TEST_F(Exports, ASecondSetHookReplacesTheFirstSoThatExactlyOneIsInstalled) {
    EXPECT_EQ(setHook(shared, own, table), 1);
    table.installResult = 0xC0DE9;
    table.unhookResults = {true};
    EXPECT_EQ(setHook(shared, own, table), 1);
    EXPECT_EQ(shared.hook, 0xC0DE9u);
    EXPECT_EQ(table.unhooked, (std::vector<uint32_t>{0xC0DE5})) << "the first one removed, once";
    EXPECT_TRUE(table.sleeps.empty());
    // What is left to remove at the end is the second one only.
    table.unhookResults = {true, true};
    EXPECT_EQ(unsetHook(shared, own, table), 1);
    EXPECT_EQ(table.unhooked, (std::vector<uint32_t>{0xC0DE5, 0xC0DE9}));
    EXPECT_EQ(shared.hook, 0u);
}

TEST_F(Exports, ASecondSetHookThatFailsKeepsTheFirstToRemove) {
    EXPECT_EQ(setHook(shared, own, table), 1);
    table.installResult = 0;
    EXPECT_EQ(setHook(shared, own, table), 0);
    EXPECT_EQ(shared.hook, 0xC0DE5u) << "still installed, so still stored";
    EXPECT_TRUE(table.unhooked.empty());
}

TEST_F(Exports, UnSetHookWithoutAHookReturnsAtOnce) {
    EXPECT_EQ(unsetHook(shared, own, table), 1);
    EXPECT_TRUE(table.unhooked.empty());
    EXPECT_TRUE(table.sleeps.empty());
}

TEST_F(Exports, UnSetHookRetriesEveryHalfSecond) {
    setHook(shared, own, table);
    table.unhookResults = {false, false, true};
    EXPECT_EQ(unsetHook(shared, own, table), 1);
    EXPECT_EQ(table.unhooked, (std::vector<uint32_t>{0xC0DE5, 0xC0DE5, 0xC0DE5}));
    EXPECT_EQ(table.sleeps, (std::vector<uint32_t>{500, 500}));
}

TEST_F(Exports, UnSetHookGivesUpAfterElevenAttemptsAndKeepsTheHandle) {
    setHook(shared, own, table);
    EXPECT_EQ(unsetHook(shared, own, table), 0);
    EXPECT_EQ(table.unhooked.size(), 11u);
    EXPECT_EQ(table.sleeps, std::vector<uint32_t>(10, 500)) << "no sleep after the last attempt";
    EXPECT_EQ(shared.hook, 0xC0DE5u);
    table.unhookResults = std::vector<bool>(12, true);
    EXPECT_EQ(unsetHook(shared, own, table), 1) << "a later call can still remove it";
}

TEST_F(Exports, ARemovedHookIsForgotten) {
    setHook(shared, own, table);
    table.unhookResults = {true};
    EXPECT_EQ(unsetHook(shared, own, table), 1);
    EXPECT_EQ(unsetHook(shared, own, table), 1);
    EXPECT_EQ(table.unhooked.size(), 1u) << "the second call has nothing to remove";
    EXPECT_TRUE(table.sleeps.empty());
}

// Fast user switching: one shared section, an agent (and a hook) in each
// session. Each agent sets and removes only its own hook; the shared field
// holds the latest for CallNextHookEx and is cleared only by its owner.
TEST_F(Exports, TwoSessionsEachSetAndRemoveOnlyTheirOwnHook) {
    uint32_t otherOwn = 0;
    HookTable other;
    other.installResult = 0xC0DE9;
    EXPECT_EQ(setHook(shared, own, table), 1);
    EXPECT_EQ(setHook(shared, otherOwn, other), 1);
    EXPECT_TRUE(table.unhooked.empty() && other.unhooked.empty()) << "the second session removed nothing";
    EXPECT_EQ(own, 0xC0DE5u);
    EXPECT_EQ(otherOwn, 0xC0DE9u);
    EXPECT_EQ(shared.hook, 0xC0DE9u);

    // The first session logs off: its own hook goes, in one attempt, and the
    // other session's stays stored.
    table.unhookResults = {true};
    EXPECT_EQ(unsetHook(shared, own, table), 1);
    EXPECT_EQ(table.unhooked, (std::vector<uint32_t>{0xC0DE5}));
    EXPECT_TRUE(table.sleeps.empty());
    EXPECT_EQ(shared.hook, 0xC0DE9u);

    // The other session's agent sets its hook again: it replaces its own.
    other.installResult = 0xC0DEB;
    other.unhookResults = {true, true};
    EXPECT_EQ(setHook(shared, otherOwn, other), 1);
    EXPECT_EQ(other.unhooked, (std::vector<uint32_t>{0xC0DE9}));
    EXPECT_EQ(unsetHook(shared, otherOwn, other), 1);
    EXPECT_EQ(other.unhooked, (std::vector<uint32_t>{0xC0DE9, 0xC0DEB}));
    EXPECT_EQ(shared.hook, 0u);
}

// A process that never set a hook has nothing to remove, whatever another
// session stored: no five seconds of retries on a handle not its own.
TEST_F(Exports, UnSetHookWithoutAnOwnHookLeavesAnotherSessionsAlone) {
    uint32_t otherOwn = 0;
    HookTable other;
    EXPECT_EQ(setHook(shared, otherOwn, other), 1);
    EXPECT_EQ(unsetHook(shared, own, table), 1);
    EXPECT_TRUE(table.unhooked.empty());
    EXPECT_TRUE(table.sleeps.empty());
    EXPECT_EQ(shared.hook, 0xC0DE5u);
}

TEST_F(Exports, TheOtherFieldsLandInTheirOwnSlots) {
    processAttach(shared, 0x10000000);
    EXPECT_EQ(setOnHook(shared), 1);
    EXPECT_EQ(setOptionData(shared, 0x1A0800A4), 1);
    std::vector<uint32_t> words(5);
    std::memcpy(words.data(), &shared, sizeof shared);
    EXPECT_EQ(words, (std::vector<uint32_t>{0, 0, 0x10000000, 1, 0x1A0800A4}));
}

}  // namespace
}  // namespace tp::hook
