#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "bytes.h"
#include "console_rig.h"

namespace tp::console::test {
namespace {

constexpr char kUser[] = "HKCU\\Software\\Korvane Component\\USB";
constexpr char kMulti[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\QTXTPU\\Parameters";
constexpr char kPanel[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\TAPTPU\\Parameters";

TEST(ConsoleStartUp, LoadsBothDriverKeysAndTheUserKeyOrKeepsTheDefaults) {
    struct Case {
        const char* name;
        bool multiKey;
        std::vector<uint32_t> resolutions;  // Resolution1… as stored
        int lastMonitor;
    };
    const Case cases[] = {
        {"no multi-monitor key: nine default monitors", false, {}, 8},
        {"Resolution1 zero: no monitor", true, {0, 0x04000300}, -1},
        {"two leading monitors, then a gap", true, {0x05000400, 0x04000300, 0, 0x04000300}, 1},
        {"key present, values absent: defaults count", true, {}, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConsoleRig rig;
        if (c.multiKey) rig.registry.addKey(kMulti);
        for (size_t i = 0; i < c.resolutions.size(); ++i)
            rig.registry.setDword(kMulti, "Resolution" + std::to_string(i + 1), c.resolutions[i]);
        loadConsoleSettings(rig.console);
        EXPECT_EQ(rig.settings().multiMonitorDriver, c.multiKey);
        EXPECT_EQ(rig.settings().lastMonitor, c.lastMonitor);
        EXPECT_EQ(rig.settings().lastMonitorAtStart, c.lastMonitor);
        EXPECT_EQ(rig.registry.openHandles(), 0);
    }
}

TEST(ConsoleStartUp, ReadsTheUserValuesAndStartsTheEditsFromThem) {
    ConsoleRig rig;
    rig.registry.setDword(kUser, "Option", 0x00410000);
    rig.registry.setDword(kUser, "DHeight", 12);
    rig.registry.setDword(kUser, "DWidth", 60);
    rig.registry.setDword(kUser, "Freq9", 4321);
    rig.registry.setRaw(kUser, "Duration", kRegSz, {'9', 0});  // wrong type: default stays
    rig.registry.setString(kPanel, "Version", "3.1.0");
    loadConsoleSettings(rig.console);
    const PanelSettings& s = rig.settings();
    EXPECT_EQ(s.user.option, 0x00410000u);
    EXPECT_EQ(s.user.monitorFreq[8], 4321u);
    EXPECT_EQ(s.user.duration, 50u);
    EXPECT_EQ(s.dHeightEdit, 12);
    EXPECT_EQ(s.dWidthEdit, 60);
    EXPECT_STREQ(s.version, "3.1.0");
}

TEST(ConsoleStartUp, AVersionLongerThanItsFieldIsNeverReadPastIt) {
    ConsoleRig rig;
    rig.registry.setString(kPanel, "Version", std::string(80, 'v'));
    loadConsoleSettings(rig.console);
    EXPECT_LT(std::strlen(rig.settings().version), sizeof rig.settings().version);
}

TEST(ConsoleStartUp, DoubleClickSpeedIsOneThousandLessTheTimeWithinItsLimits) {
    const std::pair<uint32_t, int> cases[] = {{1200, 100}, {900, 100}, {500, 500}, {100, 900}, {50, 900}, {0, 900}};
    for (auto [time, speed] : cases) {
        ConsoleRig rig;
        rig.system.doubleClickTime = time;
        loadConsoleSettings(rig.console);
        EXPECT_EQ(rig.settings().dClickSpeed, speed) << time;
        EXPECT_EQ(rig.settings().dClickSpeedEdit, speed) << time;
    }
}

// The pages show registry values of any 32-bit size and signed origins.
TEST(ConsoleText, DecimalTextCoversEveryValueThePagesShow) {
    const std::pair<int64_t, std::wstring> cases[] = {
        {0, L"0"},
        {1100, L"1100"},
        {-1280, L"-1280"},
        {4294967295, L"4294967295"},
        {INT64_MIN, L"-9223372036854775808"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(decimalText(value), text);
}

TEST(ConsoleStartUp, CodePage932AloneSelectsJapanese) {
    EXPECT_EQ(languageForCodePage(932), Language::Japanese);
    for (uint32_t cp : {1252u, 936u, 949u, 65001u, 0u}) EXPECT_EQ(languageForCodePage(cp), Language::English) << cp;
}

TEST(ConsoleSheet, PageSetFollowsLanguageDriverAndSwappedButtons) {
    using K = PageKind;
    struct Case {
        Language language;
        bool multi, swapped;
        std::vector<PageEntry> pages;
    };
    const Case cases[] = {
        {Language::English,
         false,
         false,
         {{K::TouchPanel, 112, IDS_TITLE_TOUCH},
          {K::Sound, 113, IDS_TITLE_SOUND},
          {K::Click, 114, IDS_TITLE_CLICK},
          {K::RightClick, 115, IDS_TITLE_RIGHT},
          {K::Calibration, 116, IDS_TITLE_CALIB},
          {K::DriverInfo, 117, IDS_TITLE_INFO}}},
        {Language::Japanese,
         true,
         true,
         {{K::TouchPanel, 107, IDS_TITLE_TOUCH},
          {K::Sound, 108, IDS_TITLE_SOUND},
          {K::Click, 109, IDS_TITLE_CLICK},
          {K::RightClick, IDD_RIGHT_JA, IDS_TITLE_LEFT},
          {K::CalibrationWithMonitor, 120, IDS_TITLE_CALIB},
          {K::MultiMonitor, 122, IDS_TITLE_MULTI},
          {K::DriverInfo, 111, IDS_TITLE_INFO}}},
        {Language::English,
         true,
         false,
         {{K::TouchPanel, 112, IDS_TITLE_TOUCH},
          {K::Sound, 113, IDS_TITLE_SOUND},
          {K::Click, 114, IDS_TITLE_CLICK},
          {K::RightClick, 115, IDS_TITLE_RIGHT},
          {K::CalibrationWithMonitor, 121, IDS_TITLE_CALIB},
          {K::MultiMonitor, 123, IDS_TITLE_MULTI},
          {K::DriverInfo, 117, IDS_TITLE_INFO}}},
        {Language::Japanese,
         false,
         false,
         {{K::TouchPanel, 107, IDS_TITLE_TOUCH},
          {K::Sound, 108, IDS_TITLE_SOUND},
          {K::Click, 109, IDS_TITLE_CLICK},
          {K::RightClick, IDD_RIGHT_JA, IDS_TITLE_RIGHT},
          {K::Calibration, 110, IDS_TITLE_CALIB},
          {K::DriverInfo, 111, IDS_TITLE_INFO}}},
    };
    for (const Case& c : cases) {
        const auto pages = pageSet(c.language, c.multi, c.swapped);
        ASSERT_EQ(pages.size(), c.pages.size());
        for (size_t i = 0; i < pages.size(); ++i) {
            EXPECT_EQ(pages[i].kind, c.pages[i].kind) << i;
            EXPECT_EQ(pages[i].templateId, c.pages[i].templateId) << i;
            EXPECT_EQ(pages[i].titleId, c.pages[i].titleId) << i;
        }
    }
}

TEST(PageSet, OpensOnTheCalibrationPageOnlyWhenTheCommandLineAsksForIt) {
    struct Case {
        const wchar_t* line;
        bool multi;
        size_t start;
    } cases[] = {
        {L"Tapcon.exe", false, 0},
        {L"\"C:\\Program Files\\QTX\\PNL\\USBPNL\\Tapcon.exe\" /calibration", false, 4},
        {L"Tapcon.exe /CALIBRATION", true, 4},
        {L"Tapcon.exe -calibration", true, 4},
        {L"Tapcon.exe /calibrationx", false, 0},
        {L"\"C:\\x /calibration\\Tapcon.exe\"", false, 0},  // part of the program's own path
        {nullptr, false, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(startPage(pageSet(Language::English, c.multi, false), c.line), c.start) << (c.line ? "" : "null");
}

// ---------------------------------------------------------------- SaveAndNotify

std::vector<std::string> compact(const std::vector<std::string>& sequence) {
    std::vector<std::string> out;
    for (const std::string& s : sequence)
        if (s.rfind("reg ", 0) != 0 || s == "reg Option") out.push_back(s);  // the first write stands for all
    return out;
}

TEST(SaveAndNotify, StoresThenSendsLayoutThenAgentThenPausesThenSignals) {
    ConsoleRig rig;
    rig.settings().settingsChanged = rig.settings().calibrationChangePending = true;
    SaveAndNotify(rig.console);
    EXPECT_EQ(compact(rig.sequence), (std::vector<std::string>{"reg Option", "ioctl 0x22200c", "copydata 236",
                                                               "sleep 1000", "ioctl 0x222070"}));
    EXPECT_FALSE(rig.settings().settingsChanged);
    EXPECT_FALSE(rig.settings().calibrationChangePending);
    EXPECT_EQ(rig.registry.writtenNames(kUser).size(), 52u);
    EXPECT_EQ(rig.driver.openHandles(), 0);
    EXPECT_EQ(rig.registry.openHandles(), 0);
}

TEST(SaveAndNotify, WritesTheConsoleOrderWithTheEditedDoubleClickArea) {
    ConsoleRig rig;
    rig.settings().user.dHeight = 10;
    rig.settings().dHeightEdit = 40;
    rig.settings().dWidthEdit = 26;
    SaveAndNotify(rig.console);
    const auto names = rig.registry.writtenNames(kUser);
    ASSERT_GE(names.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 8),
              (std::vector<std::string>{"Option", "Freq", "Duration", "StdFreq", "StdDuration", "DHeight", "DWidth",
                                        "Option1"}));
    EXPECT_EQ(names.back(), "StdDuration9");
    EXPECT_EQ(rig.registry.dword(kUser, "DHeight"), 40u);
    EXPECT_EQ(rig.registry.dword(kUser, "DWidth"), 26u);
}

TEST(SaveAndNotify, ClearsMonitorsBeyondLastMonitorInTheRecordAndInBothBlocks) {
    for (int last : {-1, 1, 8}) {
        SCOPED_TRACE(last);
        ConsoleRig rig;
        PanelSettings& s = rig.settings();
        for (int i = 0; i < kMaxMonitors; ++i) {
            s.layout.resolution[i] = 0x05000400;
            s.layout.originX[i] = encodeOrigin(-1280);
            s.layout.originY[i] = 7;
        }
        s.lastMonitor = last;
        SaveAndNotify(rig.console);
        const auto layouts = rig.driver.inputsOf(req::kSetMonitorLayout);
        ASSERT_EQ(layouts.size(), 1u);
        ASSERT_EQ(layouts[0].size(), kMonitorLayoutBlockSize);
        ASSERT_EQ(rig.agent.received.size(), 1u);
        AgentSettingsBlock sent;
        ASSERT_TRUE(decodeAgentSettingsBlock(rig.agent.received[0].data(), rig.agent.received[0].size(), &sent));
        for (int i = 0; i < kMaxMonitors; ++i) {
            const uint32_t want = i <= last ? 0x05000400u : 0u;
            EXPECT_EQ(s.layout.resolution[i], want) << i;
            EXPECT_EQ(s.layout.originX[i], i <= last ? encodeOrigin(-1280) : 0u) << i;
            EXPECT_EQ(get32(layouts[0].data() + 4 * i), want) << i;
            EXPECT_EQ(sent.resolution[i], want) << i;
            EXPECT_EQ(sent.originY[i], i <= last ? 7u : 0u) << i;
        }
    }
}

TEST(SaveAndNotify, EachMissingPartIsSkippedAndTheRestStillRuns) {
    enum UserKey { Writable, Denied, RefusesFreq };
    struct Case {
        const char* name;
        bool agent, agentHung, multiDevice, panelDevice;
        UserKey userKey;
        std::vector<std::string> sequence;
    };
    const Case cases[] = {
        // Stored up to Freq, the one refused; the rest of the save still runs.
        {"a value the registry refuses",
         true,
         false,
         true,
         true,
         RefusesFreq,
         {"reg Option", "ioctl 0x22200c", "copydata 236", "sleep 1000", "ioctl 0x222070"}},
        {"no agent window",
         false,
         false,
         true,
         true,
         Writable,
         {"reg Option", "ioctl 0x22200c", "sleep 1000", "ioctl 0x222070"}},
        {"a hung agent times out",
         true,
         true,
         true,
         true,
         Writable,
         {"reg Option", "ioctl 0x22200c", "copydata 236", "sleep 1000", "ioctl 0x222070"}},
        {"no multi-monitor device",
         true,
         false,
         false,
         true,
         Writable,
         {"reg Option", "copydata 236", "sleep 1000", "ioctl 0x222070"}},
        {"no panel device",
         true,
         false,
         true,
         false,
         Writable,
         {"reg Option", "ioctl 0x22200c", "copydata 236", "sleep 1000"}},
        {"user key not writable",
         true,
         false,
         true,
         true,
         Denied,
         {"ioctl 0x22200c", "copydata 236", "sleep 1000", "ioctl 0x222070"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConsoleRig rig;
        rig.agent.running = c.agent;
        rig.agent.hung = c.agentHung;
        rig.driver.setPresent(kMultiDevicePath, c.multiDevice);
        rig.driver.setPresent(kPanelDevicePath, c.panelDevice);
        if (c.userKey == Denied) rig.registry.denyWrite(kUser);
        if (c.userKey == RefusesFreq) rig.registry.refuseValue(kUser, "Freq", 1450);
        rig.settings().settingsChanged = true;
        const bool stored = SaveAndNotify(rig.console);
        EXPECT_EQ(compact(rig.sequence), c.sequence);
        EXPECT_EQ(stored, c.userKey == Writable);
        // A save that did not store everything leaves the record modified for the next Apply.
        EXPECT_EQ(rig.settings().settingsChanged, !stored);
        if (c.userKey == RefusesFreq) {
            EXPECT_EQ(rig.registry.writtenNames(kUser), std::vector<std::string>{"Option"});
        }
    }
}

TEST(SaveAndNotify, EveryEditingPageSaysASaveFailedAndStaysOpenUntilOneSucceeds) {
    using Maker = std::unique_ptr<Page> (*)(Console&);
    const std::pair<const char*, Maker> pages[] = {
        {"sound", makeSoundPage},
        {"click", makeClickPage},
        {"right click", makeRightClickPage},
        {"calibration", +[](Console& c) { return makeCalibrationPage(c, false); }},
        {"multi-monitor", makeMultiMonitorPage},
    };
    for (const auto& [name, make] : pages) {
        SCOPED_TRACE(name);
        ConsoleRig rig;
        FakeDialog dlg;
        std::unique_ptr<Page> page = make(rig.console);
        rig.settings().user.freq = 1500;
        rig.settings().settingsChanged = true;
        rig.registry.refuseValue(kUser, "Freq", 1450);
        EXPECT_FALSE(page->onApply(dlg));
        EXPECT_EQ(rig.system.log, (std::vector<std::string>{"message 210 200 16"}));
        EXPECT_TRUE(rig.settings().settingsChanged);
        EXPECT_EQ(rig.registry.dword(kUser, "Freq"), std::nullopt);

        rig.registry.refuseValue(kUser, "Freq", kErrorSuccess);
        EXPECT_TRUE(page->onApply(dlg));
        EXPECT_EQ(rig.registry.dword(kUser, "Freq"), 1500u);
        EXPECT_FALSE(rig.settings().settingsChanged);
        EXPECT_EQ(rig.system.log.size(), 1u);
    }
}

TEST(SaveAndNotify, AFirstSaveCreatesAMissingUserKey) {
    ConsoleRig rig;
    loadConsoleSettings(rig.console);
    EXPECT_FALSE(rig.registry.hasKey(kUser));
    SaveAndNotify(rig.console);
    EXPECT_EQ(rig.registry.dword(kUser, "Option"), def::kOption);
    EXPECT_EQ(rig.registry.dword(kUser, "Freq9"), def::kFreq);
}

}  // namespace
}  // namespace tp::console::test
