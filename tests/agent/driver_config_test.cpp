#include <gtest/gtest.h>

#include <cstring>

#include "agent_rig.h"
#include "bytes.h"
#include "calibration.h"

namespace tp::test {
namespace {

using agent::ApplyStoredSettings;

std::vector<uint8_t> dwordBytes(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

std::vector<uint8_t> panelTable(std::initializer_list<int32_t> ports) {
    std::vector<uint8_t> bytes(kPanelIdTableSize, 0xFF);
    size_t i = 0;
    for (int32_t p : ports) put32(bytes.data() + 4 * i++, static_cast<uint32_t>(p));
    return bytes;
}

// The seeding order, written out from the schema rather than from the code.
std::vector<std::string> seedingOrder() {
    std::vector<std::string> names = {"Option", "Freq", "Duration", "DHeight", "DWidth", "StdFreq", "StdDuration"};
    for (const char* prefix : {"Option", "Freq", "Duration", "StdFreq", "StdDuration"})
        for (int n = 1; n <= 9; ++n) names.push_back(prefix + std::to_string(n));
    return names;
}

class DriverConfig : public ::testing::Test {
protected:
    void SetUp() override {
        rig.registry.addKey(AgentRig::panelKey());
        rig.registry.addKey(AgentRig::multiKey());
        rig.driver.answer(req::kGetPanelIds, panelTable({}));
    }
    std::vector<uint8_t> optionSent() {
        auto inputs = rig.driver.inputsOf(req::kSetOption);
        return inputs.empty() ? std::vector<uint8_t>{} : inputs.back();
    }
    AgentRig rig;
};

// ---------------------------------------------------------------- first run

TEST_F(DriverConfig, FirstRunSeedsTheUserKeyFromThePanelKeyWithoutWaiting) {
    const std::string panel = AgentRig::panelKey();
    rig.registry.setDword(panel, "Option", 0x00050000);
    rig.registry.setDword(panel, "DWidth", 40);
    rig.registry.setDword(panel, "StdFreq", 2222);
    rig.registry.setDword(panel, "Freq3", 3333);
    rig.registry.setDword(panel, "StdDuration9", 99);

    ApplyStoredSettings(rig.agent);

    // The missing user key answers "not found": no retries, nothing slept.
    EXPECT_TRUE(rig.sleep.calls().empty());
    const std::string user = AgentRig::userKey();
    EXPECT_EQ(rig.registry.writtenNames(user), seedingOrder());
    EXPECT_EQ(rig.registry.dword(user, "Option"), 0x00050000u);
    EXPECT_EQ(rig.registry.dword(user, "DWidth"), 40u);
    EXPECT_EQ(rig.registry.dword(user, "DHeight"), 34u);
    EXPECT_EQ(rig.registry.dword(user, "StdFreq"), 2222u);
    EXPECT_EQ(rig.registry.dword(user, "Freq3"), 3333u);
    EXPECT_EQ(rig.registry.dword(user, "Freq4"), 1000u);
    EXPECT_EQ(rig.registry.dword(user, "StdDuration9"), 99u);
    // The seeded values are the agent's from now on.
    EXPECT_EQ(rig.agent.state.settings.option.get(), 0x00050000u);
    EXPECT_EQ(rig.agent.state.settings.monitorFreq[2].get(), 3333u);
    EXPECT_EQ(optionSent(), dwordBytes(0x00050000));
    EXPECT_EQ(rig.driver.countOf(req::kSetCalibration), 0);
    EXPECT_EQ(rig.registry.openHandles(), 0);
}

TEST_F(DriverConfig, FirstRunWithoutAnyDriverKeyWritesTheDefaults) {
    rig.registry.removeKey(AgentRig::panelKey());

    ApplyStoredSettings(rig.agent);

    // Panel key, user key and the seed's panel key all answer "not found" at once.
    EXPECT_TRUE(rig.sleep.calls().empty());
    const std::string user = AgentRig::userKey();
    ASSERT_EQ(rig.registry.writtenNames(user).size(), 52u);
    EXPECT_EQ(rig.registry.dword(user, "Option"), 0x1A0800A4u);
    EXPECT_EQ(rig.registry.dword(user, "Freq"), 1000u);
    EXPECT_EQ(rig.registry.dword(user, "Duration"), 50u);
    EXPECT_EQ(rig.registry.dword(user, "DHeight"), 34u);
    EXPECT_EQ(rig.registry.dword(user, "DWidth"), 34u);
    EXPECT_EQ(rig.registry.dword(user, "StdFreq"), 1000u);
    EXPECT_EQ(rig.registry.dword(user, "StdDuration"), 50u);
    for (int n = 1; n <= 9; ++n) {
        const std::string s = std::to_string(n);
        EXPECT_EQ(rig.registry.dword(user, "Option" + s), 0xA0u);
        EXPECT_EQ(rig.registry.dword(user, "Freq" + s), 1000u);
        EXPECT_EQ(rig.registry.dword(user, "Duration" + s), 50u);
        EXPECT_EQ(rig.registry.dword(user, "StdFreq" + s), 1000u);
        EXPECT_EQ(rig.registry.dword(user, "StdDuration" + s), 50u);
    }
    EXPECT_EQ(optionSent(), dwordBytes(0x1A0800A4));
}

TEST_F(DriverConfig, SeedingStartsFromTheValuesTheAgentAlreadyHolds) {
    rig.registry.removeKey(AgentRig::panelKey());
    rig.agent.state.settings.freq.set(1234);
    rig.agent.state.settings.monitorOption[8].set(0x10080);

    ApplyStoredSettings(rig.agent);

    EXPECT_EQ(rig.registry.dword(AgentRig::userKey(), "Freq"), 1234u);
    EXPECT_EQ(rig.registry.dword(AgentRig::userKey(), "Option9"), 0x10080u);
}

TEST_F(DriverConfig, UserKeyOpeningLateIsReadNotSeeded) {
    const std::string user = AgentRig::userKey();
    rig.registry.setDword(user, "Option", 0x00040000);
    rig.registry.failOpens(user, 19);

    ApplyStoredSettings(rig.agent);

    EXPECT_EQ(rig.sleep.calls(), std::vector<uint32_t>(19, 11));
    EXPECT_TRUE(rig.registry.writtenNames(user).empty());
    EXPECT_EQ(rig.agent.state.settings.option.get(), 0x00040000u);
}

// ---------------------------------------------------------------- existing key

TEST_F(DriverConfig, ReadsTheUserKeyAndSetsTheDoubleClickArea) {
    const std::string user = AgentRig::userKey();
    rig.registry.setDword(user, "Option", 0x10050080);
    rig.registry.setDword(user, "Freq", 440);
    rig.registry.setDword(user, "DHeight", 20);
    rig.registry.setDword(user, "DWidth", 30);
    rig.registry.setDword(user, "Duration7", 77);
    rig.registry.setDword(user, "StdFreq", 5);  // not the agent's to read from here
    rig.registry.setDword(AgentRig::panelKey(), "SpinMode", 1);
    rig.registry.setDword(AgentRig::panelKey(), "TPriority", 4);
    rig.registry.setDword(AgentRig::multiKey(), "DisableMode", 1);
    rig.agent.state.settings.dHeight.set(99);

    ApplyStoredSettings(rig.agent);

    const auto& s = rig.agent.state.settings;
    EXPECT_EQ(s.option.get(), 0x10050080u);
    EXPECT_EQ(s.freq.get(), 440u);
    EXPECT_EQ(s.monitorDuration[6].get(), 77u);
    EXPECT_EQ(s.spinMode.get(), 1u);
    EXPECT_EQ(s.tPriority.get(), 4u);
    EXPECT_EQ(s.disableMode.get(), 1u);
    EXPECT_TRUE(rig.registry.writtenNames().empty());
    EXPECT_EQ(rig.sleep.total(), 0u);
    EXPECT_EQ(optionSent(), dwordBytes(0x10050080));
    EXPECT_EQ(rig.journal.starting("SystemParametersInfo"),
              (std::vector<std::string>{"SystemParametersInfo 0x1e 20 1", "SystemParametersInfo 0x1d 30 1"}));
    EXPECT_EQ(rig.registry.openHandles(), 0);
    EXPECT_EQ(rig.driver.openHandles(), 0);
}

TEST_F(DriverConfig, DoubleClickAreaFallsBackTo34WhenTheKeyLacksIt) {
    rig.registry.addKey(AgentRig::userKey());
    rig.agent.state.settings.dHeight.set(99);
    rig.agent.state.settings.dWidth.set(98);

    ApplyStoredSettings(rig.agent);

    EXPECT_EQ(rig.journal.starting("SystemParametersInfo"),
              (std::vector<std::string>{"SystemParametersInfo 0x1e 34 1", "SystemParametersInfo 0x1d 34 1"}));
}

TEST_F(DriverConfig, RequestOrderOnTheDevice) {
    rig.registry.addKey(AgentRig::userKey());
    rig.driver.answer(req::kGetPanelIds, panelTable({3}));
    rig.registry.setRaw(AgentRig::userKey(), "9Cal3", kRegBinary, std::vector<uint8_t>(110, 0x11));

    ApplyStoredSettings(rig.agent);

    const auto requests = rig.driver.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], "0x222064");
    EXPECT_EQ(requests[1].rfind("0x222038 in=01 00 00 00 03 00 11 11", 0), 0u) << requests[1];
    EXPECT_EQ(requests[2], "0x222034 in=A4 00 08 1A");
    // Each batch opens and closes the device.
    EXPECT_EQ(rig.driver.log().front(), "open \\\\.\\TAPTPU");
    EXPECT_EQ(rig.driver.openHandles(), 0);
}

TEST_F(DriverConfig, WithoutTheDeviceTheDoubleClickAreaIsStillSet) {
    rig.registry.addKey(AgentRig::userKey());
    rig.driver.setPresent(kPanelDevicePath, false);

    ApplyStoredSettings(rig.agent);

    EXPECT_TRUE(rig.driver.requests().empty());
    EXPECT_EQ(rig.journal.starting("SystemParametersInfo").size(), 2u);
}

// SPIF_SENDCHANGE would wait for every top-level window of the session, a
// hung one too: the values are written alone and announced with
// a thread of its own (same wParam), after the lock is released.
TEST_F(DriverConfig, WritesTheDoubleClickAreaAndAnnouncesItWithoutWaitingAfterItsLock) {
    rig.registry.addKey(AgentRig::userKey());
    ApplyStoredSettings(rig.agent);
    const auto lines = rig.journal.lines();
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines.front(), "lock 0");
    EXPECT_EQ(std::vector<std::string>(lines.end() - 7, lines.end()),
              (std::vector<std::string>{"unlock 0", "GetSystemMetrics 37", "SystemParametersInfo 0x1e 34 1",
                                        "AnnounceSettingChange 30", "GetSystemMetrics 36",
                                        "SystemParametersInfo 0x1d 34 1", "AnnounceSettingChange 29"}));
    EXPECT_TRUE(rig.journal.starting("SendMessage ").empty());
}

// Most applications (a panel that reconnects, a session's return, the
// driver's settings signal) change nothing: only a value that moved is
// announced to every program.
TEST_F(DriverConfig, AnnouncesOnlyTheDoubleClickValuesThatMoved) {
    struct Case {
        const char* name;
        int height, width;  // what the system has before
        std::vector<std::string> announced;
    };
    const Case cases[] = {
        {"both as stored", 34, 34, {}},
        {"the height moved", 20, 34, {"AnnounceSettingChange 30"}},
        {"both moved", 0, 40, {"AnnounceSettingChange 30", "AnnounceSettingChange 29"}},
    };
    for (const Case& c : cases) {
        AgentRig r;
        r.registry.addKey(AgentRig::userKey());
        r.display.metrics[agent::win::kSmCyDoubleClk] = c.height;
        r.display.metrics[agent::win::kSmCxDoubleClk] = c.width;
        ApplyStoredSettings(r.agent);
        EXPECT_EQ(r.journal.starting("AnnounceSettingChange"), c.announced) << c.name;
        EXPECT_EQ(r.journal.starting("SystemParametersInfo").size(), 2u) << c.name << ": the profile is written all the same";
    }
}

TEST_F(DriverConfig, DoesNothingOnceShutdownHasBegun) {
    rig.registry.addKey(AgentRig::userKey());
    rig.agent.state.shuttingDown.set(1);
    ApplyStoredSettings(rig.agent);
    EXPECT_EQ(rig.journal.lines(), (std::vector<std::string>{"lock 0", "unlock 0"}));
}

// ---------------------------------------------------------------- calibration tables

class CalibrationTables : public DriverConfig {
protected:
    void SetUp() override {
        DriverConfig::SetUp();
        rig.registry.addKey(AgentRig::userKey());
    }
};

TEST_F(CalibrationTables, PanelOnPort7WithOnlyTheTwelvePointTable) {
    std::vector<uint8_t> table(160);
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i + 1);
    rig.registry.setRaw(AgentRig::userKey(), "12Cal7", kRegBinary, table);
    rig.driver.answer(req::kGetPanelIds, panelTable({-1, 7}));

    ApplyStoredSettings(rig.agent);

    const auto blocks = rig.driver.inputsOf(req::kSetCalibration);
    ASSERT_EQ(blocks.size(), 1u);
    const auto& b = blocks[0];
    ASSERT_EQ(b.size(), 596u);
    EXPECT_EQ(get32(b.data()), 2u);
    EXPECT_TRUE(std::all_of(b.begin() + 4, b.begin() + 114, [](uint8_t x) { return x == 0; }));
    EXPECT_EQ(get16(b.data() + 114), 7u);
    EXPECT_TRUE(std::equal(table.begin() + 2, table.end(), b.begin() + 116));
    EXPECT_TRUE(std::all_of(b.begin() + 274, b.end(), [](uint8_t x) { return x == 0; }));
}

TEST_F(CalibrationTables, AllSlotsEmptySendNothing) {
    rig.registry.setRaw(AgentRig::userKey(), "9Cal0", kRegBinary, std::vector<uint8_t>(110, 1));
    rig.driver.answer(req::kGetPanelIds, panelTable({-1, -1, -1, -1, -1, -1, -1, -1, -1}));
    ApplyStoredSettings(rig.agent);
    EXPECT_EQ(rig.driver.countOf(req::kSetCalibration), 0);
}

TEST_F(CalibrationTables, EverySlotIsVisitedInOrderAndPortZeroIsAPort) {
    for (const char* name : {"9Cal0", "20Cal12", "9Cal-3"})
        rig.registry.setRaw(AgentRig::userKey(), name, kRegBinary, std::vector<uint8_t>(8, 0xEE));
    rig.driver.answer(req::kGetPanelIds, panelTable({-1, 12, 5, -1, 0, -1, -1, -1, -3}));

    ApplyStoredSettings(rig.agent);

    const auto blocks = rig.driver.inputsOf(req::kSetCalibration);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(get32(blocks[0].data()), 4u);
    EXPECT_EQ(get16(blocks[0].data() + 274), 12u);
    EXPECT_EQ(get32(blocks[1].data()), 1u);
    EXPECT_EQ(get16(blocks[1].data() + 4), 0u);
    EXPECT_EQ(get32(blocks[2].data()), 1u);
    EXPECT_EQ(get16(blocks[2].data() + 4), 0xFFFDu);  // the low 16 bits of -3
}

TEST_F(CalibrationTables, ATooLongTableIsLeftOutButTheOthersGo) {
    rig.registry.setRaw(AgentRig::userKey(), "9Cal4", kRegBinary, std::vector<uint8_t>(111, 9));
    rig.registry.setRaw(AgentRig::userKey(), "20Cal4", kRegBinary, std::vector<uint8_t>(320, 9));
    rig.driver.answer(req::kGetPanelIds, panelTable({4}));

    ApplyStoredSettings(rig.agent);

    const auto blocks = rig.driver.inputsOf(req::kSetCalibration);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(get32(blocks[0].data()), 4u);
    EXPECT_TRUE(std::all_of(blocks[0].begin() + 4, blocks[0].begin() + 114, [](uint8_t x) { return x == 0; }));
}

TEST_F(CalibrationTables, AnUnreadablePanelTableSendsNoTables) {
    rig.registry.setRaw(AgentRig::userKey(), "9Cal0", kRegBinary, std::vector<uint8_t>(110, 1));
    rig.driver.answer(req::kGetPanelIds, panelTable({0}));
    rig.driver.fail(req::kGetPanelIds);
    ApplyStoredSettings(rig.agent);
    EXPECT_EQ(rig.driver.countOf(req::kSetCalibration), 0);
    EXPECT_EQ(rig.driver.countOf(req::kSetOption), 1);
}

// ---------------------------------------------------------------- orientation

class Orientation : public DriverConfig {};

TEST_F(Orientation, RotatedDisplaySendsItsOrientationTenTimes) {
    rig.display.orientation = 3;
    agent::PushDisplayOrientation(rig.agent);
    std::vector<std::string> once = {"EnumDisplaySettings", "open \\\\.\\TAPTPU", "ioctl 0x222078 in=03 00 00 00",
                                     "close"};
    std::vector<std::string> expected;
    for (int i = 0; i < 10; ++i) expected.insert(expected.end(), once.begin(), once.end());
    EXPECT_EQ(rig.journal.lines(), expected);
    EXPECT_EQ(rig.sleep.total(), 0u);
}

TEST_F(Orientation, ValuesAboveTwoAreSentAsThree) {
    for (uint32_t value : {0u, 1u, 2u, 3u, 4u, 0xFFFFFFFFu}) {
        rig.driver.clearLog();
        rig.display.orientation = value;
        agent::PushDisplayOrientation(rig.agent);
        const uint32_t want = value > 2 ? 3 : value;
        const auto sent = rig.driver.inputsOf(req::kSetOrientation);
        ASSERT_EQ(sent.size(), 10u);
        for (const auto& in : sent) EXPECT_EQ(in, dwordBytes(want)) << value;
    }
}

TEST_F(Orientation, SpinModeBitZeroSendsNothing) {
    rig.registry.setDword(AgentRig::panelKey(), "SpinMode", 3);
    agent::PushDisplayOrientation(rig.agent);
    EXPECT_TRUE(rig.driver.log().empty());
    EXPECT_TRUE(rig.journal.starting("EnumDisplaySettings").empty());

    rig.registry.setDword(AgentRig::panelKey(), "SpinMode", 2);
    agent::PushDisplayOrientation(rig.agent);
    EXPECT_EQ(rig.driver.countOf(req::kSetOrientation), 10);
}

TEST_F(Orientation, MissingPanelKeyKeepsTheLastSpinMode) {
    rig.registry.removeKey(AgentRig::panelKey());
    rig.agent.state.settings.spinMode.set(1);
    agent::PushDisplayOrientation(rig.agent);
    EXPECT_TRUE(rig.sleep.calls().empty()) << "a key that is not there is not waited for";
    EXPECT_EQ(rig.driver.countOf(req::kSetOrientation), 0);
}

// ---------------------------------------------------------------- monitor layout

class Layout : public DriverConfig {
protected:
    void twoMonitors() {
        rig.display.metrics[agent::win::kSmCMonitors] = 2;
        rig.display.monitors = {{0x4D01, {0, 0, 1920, 1080}}, {0x4D02, {-1280, -24, 0, 1000}}};
    }
    MonitorLayoutBlock sent() {
        auto inputs = rig.driver.inputsOf(req::kSetMonitorLayout);
        EXPECT_EQ(inputs.size(), 1u);
        uint8_t bytes[kMonitorLayoutBlockSize] = {};
        if (!inputs.empty() && inputs[0].size() == sizeof bytes) std::memcpy(bytes, inputs[0].data(), sizeof bytes);
        return MonitorLayoutBlock::decode(bytes);
    }
};

TEST_F(Layout, MonitorLeftOfThePrimaryIsSentSignMagnitude) {
    twoMonitors();
    rig.registry.setDword(AgentRig::multiKey(), "nComm", 3);
    rig.agent.state.settings.disableMode.set(0x10);
    // Entries of an earlier, larger layout must not survive.
    rig.agent.state.layout.resolution[4] = rig.agent.state.layout.originX[4] = rig.agent.state.layout.originY[4] = 7;

    agent::PushMonitorLayout(rig.agent);

    const MonitorLayoutBlock b = sent();
    EXPECT_EQ(b.resolution[0], 0x07800438u);
    EXPECT_EQ(b.originX[0], 0u);
    EXPECT_EQ(b.resolution[1], 0x05000400u);  // 1280 x 1024
    EXPECT_EQ(b.originX[1], 0x10000500u);
    EXPECT_EQ(b.originY[1], 0x10000018u);
    for (int i = 2; i < 9; ++i) EXPECT_EQ(b.resolution[i] | b.originX[i] | b.originY[i], 0u) << i;
    EXPECT_EQ(b.nComm, 3u);
    EXPECT_EQ(b.disableMode, 0x10u);
    EXPECT_EQ(rig.driver.log().front(), "open \\\\.\\QTXTPUM");
}

TEST_F(Layout, UnreadableMonitorShowsTheErrorAndSendsNothingThenRenumbers) {
    twoMonitors();
    rig.display.monitors[1].infoFails = true;
    agent::PushMonitorLayout(rig.agent);
    EXPECT_EQ(rig.driver.countOf(req::kSetMonitorLayout), 0);
    EXPECT_EQ(rig.journal.starting("MessageBox"),
              std::vector<std::string>{"MessageBox 0x0 Display Setting Error | Korvane Tapagent | 0x0"});

    rig.display.monitors[1].infoFails = false;
    agent::PushMonitorLayout(rig.agent);
    const MonitorLayoutBlock b = sent();
    EXPECT_EQ(b.resolution[0], 0x07800438u);
    EXPECT_EQ(b.originX[1], 0x10000500u);
}

TEST_F(Layout, AnEnumerationEndingShortDoesNotShiftTheNext) {
    twoMonitors();
    rig.display.monitors.pop_back();  // the system counts two but lists one
    agent::PushMonitorLayout(rig.agent);
    EXPECT_EQ(rig.driver.countOf(req::kSetMonitorLayout), 0);

    rig.display.monitors = {{0x4D01, {0, 0, 800, 600}}, {0x4D02, {800, 0, 1600, 600}}};
    agent::PushMonitorLayout(rig.agent);
    const MonitorLayoutBlock b = sent();
    EXPECT_EQ(b.resolution[0], packResolution(800, 600));
    EXPECT_EQ(b.originX[1], 800u);
}

TEST_F(Layout, NineMonitorsAtMostAreRecorded) {
    rig.display.metrics[agent::win::kSmCMonitors] = 10;
    rig.display.monitors.clear();
    for (int i = 0; i < 10; ++i)
        rig.display.monitors.push_back(
            {static_cast<agent::MonitorHandle>(0x4D00 + i), {i * 100, 0, i * 100 + 100, 50}});
    agent::PushMonitorLayout(rig.agent);
    const MonitorLayoutBlock b = sent();
    EXPECT_EQ(b.originX[8], 800u);
    EXPECT_EQ(b.resolution[8], packResolution(100, 50));
}

// Without the multi-monitor driver the main thread used to sleep 200 ms here
// on every settings change; a key that answers anything else but "not found"
// (racing the system at logon) keeps its ten attempts.
TEST_F(Layout, MissingMultiKeyIsNotWaitedForButAKeyThatFailsIsRetried) {
    rig.registry.removeKey(AgentRig::multiKey());
    rig.agent.state.layout.nComm = 5;
    agent::PushMonitorLayout(rig.agent);
    EXPECT_TRUE(rig.sleep.calls().empty());
    EXPECT_EQ(sent().nComm, 5u);

    rig.registry.addKey(AgentRig::multiKey());
    rig.registry.failOpens(AgentRig::multiKey(), 10);
    agent::PushMonitorLayout(rig.agent);
    EXPECT_EQ(rig.sleep.calls(), std::vector<uint32_t>(10, 20));
}

// ---------------------------------------------------------------- calibration-data thread

class CalibrationPoll : public DriverConfig {
protected:
    void SetUp() override {
        DriverConfig::SetUp();
        rig.registry.addKey(AgentRig::userKey());
        rig.registry.setRaw(AgentRig::userKey(), "9Cal2", kRegBinary, std::vector<uint8_t>(110, 2));
    }
};

TEST_F(CalibrationPoll, PushesOnlyWhenThePanelsChange) {
    rig.driver.answer(req::kGetPanelIds, panelTable({2}));
    agent::PollCalibrationData(rig.agent);
    EXPECT_EQ(rig.driver.countOf(req::kSetCalibration), 1);

    agent::PollCalibrationData(rig.agent);
    EXPECT_EQ(rig.driver.countOf(req::kSetCalibration), 1);

    rig.driver.answer(req::kGetPanelIds, panelTable({}));  // unplugged
    agent::PollCalibrationData(rig.agent);
    EXPECT_EQ(rig.driver.countOf(req::kSetCalibration), 1);

    rig.driver.answer(req::kGetPanelIds, panelTable({2}));  // plugged in again
    agent::PollCalibrationData(rig.agent);
    EXPECT_EQ(rig.driver.countOf(req::kSetCalibration), 2);
    EXPECT_EQ(rig.driver.openHandles(), 0);
    EXPECT_EQ(rig.registry.openHandles(), 0);
}

TEST_F(CalibrationPoll, TheFirstPassComparesWithSlotOneEmptyAndTheRestZero) {
    // A panel on port 0 in slot 2 matches the starting table: nothing to push.
    rig.registry.setRaw(AgentRig::userKey(), "9Cal0", kRegBinary, std::vector<uint8_t>(110, 2));
    auto table = panelTable({-1, 0, 0, 0, 0, 0, 0, 0, 0});
    rig.driver.answer(req::kGetPanelIds, table);
    agent::PollCalibrationData(rig.agent);
    EXPECT_EQ(rig.driver.countOf(req::kSetCalibration), 0);
}

TEST_F(CalibrationPoll, AFailedReadCountsAsUnchanged) {
    rig.driver.answer(req::kGetPanelIds, panelTable({2}));
    agent::PollCalibrationData(rig.agent);
    ASSERT_EQ(rig.driver.countOf(req::kSetCalibration), 1);
    rig.driver.fail(req::kGetPanelIds);
    agent::PollCalibrationData(rig.agent);
    rig.driver.fail(req::kGetPanelIds, false);
    agent::PollCalibrationData(rig.agent);
    // Had the failed pass been recorded (as an empty table, or whatever the
    // buffer held), the same panels would now count as a change and be pushed again.
    EXPECT_EQ(rig.driver.countOf(req::kSetCalibration), 1);
}

TEST_F(CalibrationPoll, TheThreadPollsEverySecondUntilItsRunFlagClears) {
    rig.driver.answer(req::kGetPanelIds, panelTable({2}));
    int polls = 0;
    rig.driver.onRequest(req::kGetPanelIds, [&](const std::vector<uint8_t>&) {
        if (++polls == 3) rig.agent.state.calibrationDataThread.run.set(0);
    });
    rig.agent.state.calibrationDataThread.run.set(1);

    EXPECT_EQ(agent::CalibrationDataThread(rig.agent), 1u);

    EXPECT_EQ(polls, 3);
    EXPECT_EQ(rig.sleep.calls(), std::vector<uint32_t>(3, 1000));
    EXPECT_EQ(rig.driver.countOf(req::kSetCalibration), 1);
}

TEST_F(CalibrationPoll, WithoutTheDeviceItOnlySleeps) {
    rig.driver.setPresent(kPanelDevicePath, false);
    // A sleep that records into the rig and ends the loop at its second call.
    struct StopAfterTwo : public SleepPort {
        FakeSleep* record = nullptr;
        agent::Agent* target = nullptr;
        int count = 0;
        void sleep(uint32_t ms) override {
            record->sleep(ms);
            if (++count == 2) target->state.calibrationDataThread.run.set(0);
        }
    } stop;
    agent::Agent probe{
        {}, {rig.registry, rig.journalDriver, stop, rig.display, rig.windows, rig.tray, rig.libraries, rig.locks}};
    stop.record = &rig.sleep;
    stop.target = &probe;
    probe.state.calibrationDataThread.run.set(1);

    EXPECT_EQ(agent::CalibrationDataThread(probe), 1u);
    EXPECT_EQ(rig.sleep.calls(), std::vector<uint32_t>(2, 1000));
    EXPECT_TRUE(rig.driver.requests().empty());
}

}  // namespace
}  // namespace tp::test
