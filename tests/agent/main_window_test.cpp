#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "agent_rig.h"
#include "agent_settings_block.h"
#include "bytes.h"
#include "main_window.h"

namespace tp::test {
namespace {

using namespace tp::agent;

constexpr WindowHandle kMain = AgentRig::kMainWindow;
constexpr WindowHandle kFloating = 0x900;
const std::string kMainHex = hexOf(kMain);
const std::string kFloatingHex = hexOf(kFloating);

std::string post(WindowHandle w, uint32_t message, uintptr_t wParam, uintptr_t lParam) {
    return "PostMessage " + hexOf(w) + " " + hexOf(message) + " " + std::to_string(wParam) + " " + hexOf(lParam);
}
std::string send(WindowHandle w, uint32_t message) {
    return "SendMessage " + hexOf(w) + " " + hexOf(message) + " 0 0x0";
}
std::string tray(uint32_t op, IconHandle icon, const std::string& tip) {
    return "Shell_NotifyIcon " + std::to_string(op) + " id=1 icon=" + hexOf(icon) + " tip=" + tip;
}
std::string lockOf(Routine r) { return "lock " + std::to_string(static_cast<int>(r)); }
std::string unlockOf(Routine r) { return "unlock " + std::to_string(static_cast<int>(r)); }

// Each of the lines appears, in this order (other lines may lie between).
::testing::AssertionResult inOrder(const Journal& journal, const std::vector<std::string>& wanted) {
    int at = 0;
    for (const std::string& line : wanted) {
        const int found = journal.find(line, at);
        if (found < 0) {
            std::string dump;
            for (const auto& l : journal.lines()) dump += "\n  " + l;
            return ::testing::AssertionFailure() << "missing, or out of order: \"" << line << "\"; journal:" << dump;
        }
        at = found + 1;
    }
    return ::testing::AssertionSuccess();
}

int count(const Journal& journal, const std::string& line) {
    int n = 0;
    for (const auto& l : journal.lines()) n += l == line;
    return n;
}

int countStarting(const Journal& journal, const std::string& prefix) {
    return static_cast<int>(journal.starting(prefix).size());
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        AgentRig::addSuiteKeys(rig.registry, rig.driver);
        rig.installHook();
        rig.libraries.addModule("wtsapi32.dll", 0x3100);
        rig.libraries.addExport(0x3100, "WTSRegisterSessionNotification", 1);
        rig.libraries.addExport(0x3100, "WTSUnRegisterSessionNotification", 1);
        rig.libraries.addModule("KERNEL32.dll", 0x3200);
        rig.libraries.addExport(0x3200, "ProcessIdToSessionId", 1);
        rig.libraries.addExport(0x3200, "WTSGetActiveConsoleSessionId", 1);
        rig.libraries.sessionId = 3;
    }
    void setOption(uint32_t option) { rig.registry.setDword(AgentRig::userKey(), "Option", option); }
    void startRunning(uint32_t option) {
        setOption(option);
        rig.agent.state.osNt6.set(1);
        OnApplySettings(rig.agent, 0);
        rig.journal.clear();
        rig.driver.clearLog();
        rig.registry.clearLog();
    }
    std::vector<uint8_t> block(uint32_t option, uint32_t disableMode = 0) {
        AgentSettingsBlock b;
        b.freq = 2000, b.duration = 40, b.option = option, b.disableMode = disableMode;
        for (int i = 0; i < 9; ++i)
            b.monitorFreq[i] = 300 + i, b.monitorDuration[i] = 20 + i, b.monitorOption[i] = 0x10000 + i;
        uint8_t bytes[kAgentSettingsBlockSize];
        encodeAgentSettingsBlock(b, bytes);
        return {bytes, bytes + sizeof bytes};
    }
    AgentRig rig;
};

// ---------------------------------------------------------------- AGM_APPLY_SETTINGS

TEST_F(MainWindow, FirstApplicationRunsEveryStepInOrder) {
    setOption(opt::kTrayIcon | opt::kFloatingIcon);
    rig.agent.state.osNt6.set(1);
    rig.agent.state.runOnce.set(1);
    const std::string hookPath = rig.libraries.folder + "taphook.dll";

    EXPECT_TRUE(HandleMainWindowMessage(rig.agent, AGM_APPLY_SETTINGS, 0, 0));

    EXPECT_TRUE(inOrder(rig.journal, {"LoadLibrary KERNEL32.dll -> 0x3200",
                                      "call ProcessIdToSessionId(self) -> 1",
                                      "call WTSGetActiveConsoleSessionId() -> 1",
                                      lockOf(Routine::ApplyStoredSettings),
                                      "ioctl 0x222034 in=00 00 84 00",
                                      unlockOf(Routine::ApplyStoredSettings),
                                      lockOf(Routine::ApplyCursorHiding),
                                      unlockOf(Routine::ApplyCursorHiding),
                                      "LoadIcon 103 16",
                                      tray(win::kNimAdd, iconHandle(103, 16), "Switch to Secondary Button"),
                                      "CreateDialog 105 -> " + kFloatingHex,
                                      "ShowWindow " + kFloatingHex + " 0",
                                      send(kFloating, FLM_RESTORE_POSITION),
                                      "ShowWindow " + kFloatingHex + " 8" /* SW_SHOWNA */,
                                      "SetDllDirectory \"\"",
                                      "LoadLibrary " + hookPath + " -> " + hexOf(AgentRig::kHookModule),
                                      "GetProcAddress TAPHOOK_SetHook",
                                      "call TAPHOOK_SetHook() -> 1",
                                      "GetProcAddress TAPHOOK_SetOptionData",
                                      "call TAPHOOK_SetOptionData(0x840000) -> 1",
                                      lockOf(Routine::SyncButtonSwap),
                                      "ioctl 0x222028",
                                      post(kMain, AGM_BUTTON_MODE, 0, 0x205),
                                      unlockOf(Routine::SyncButtonSwap),
                                      "LoadLibrary wtsapi32.dll -> 0x3100",
                                      "call WTSRegisterSessionNotification(" + kMainHex + ", 1) -> 1",
                                      lockOf(Routine::StartWorkerThreads),
                                      unlockOf(Routine::StartWorkerThreads),
                                      "EnumDisplaySettings",
                                      "EnumDisplayMonitors",
                                      "open \\\\.\\QTXTPUM"}));
    // Panel event, calibration data and (NT 6 with runonce) settings notify; then the session watch.
    EXPECT_EQ(countStarting(rig.journal, "CreateThread"), 4);
    EXPECT_EQ(rig.agent.state.ownSessionId.get(), 3u);
    EXPECT_NE(rig.agent.state.activeSessionQuery.get(), 0u);
    EXPECT_EQ(rig.driver.countOf(req::kSetOrientation), 10);
    EXPECT_EQ(rig.agent.state.hookModule.get(), AgentRig::kHookModule);
    EXPECT_EQ(rig.agent.state.floatingWindow.get(), kFloating);
}

TEST_F(MainWindow, WithoutTheHookTheWarningShowsAndTheWindowIsDestroyed) {
    rig.libraries.addModule(rig.libraries.folder + "taphook.dll", 0);  // not there
    rig.agent.state.osNt5.set(1);

    OnApplySettings(rig.agent, 0);

    EXPECT_EQ(rig.journal.starting("MessageBox"),
              std::vector<std::string>{"MessageBox " + kMainHex +
                                       " Korvane extern library not found! | Korvane Tapagent | 0x10030"});
    const auto lines = rig.journal.lines();
    EXPECT_EQ(lines.back(), "DestroyWindow " + kMainHex);
    EXPECT_EQ(countStarting(rig.journal, "GetProcAddress TAPHOOK_SetOptionData"), 0);
    EXPECT_EQ(countStarting(rig.journal, "CreateThread"), 0);
    EXPECT_EQ(rig.driver.countOf(req::kButtonsNotSwapped), 0);
    EXPECT_EQ(rig.driver.countOf(req::kSetOrientation), 0);
}

TEST_F(MainWindow, TheHookIsLoadedOnlyFromTheAgentsFolder) {
    // A planted copy elsewhere must never be asked for.
    rig.libraries.addModule("taphook.dll", 0xBAD);
    OnApplySettings(rig.agent, 0);
    EXPECT_EQ(rig.journal.starting("LoadLibrary ")[0],
              "LoadLibrary " + rig.libraries.folder + "taphook.dll -> " + hexOf(AgentRig::kHookModule));
    EXPECT_EQ(count(rig.journal, "LoadLibrary taphook.dll -> 0xbad"), 0);
    EXPECT_LT(rig.journal.find("SetDllDirectory \"\""), rig.journal.find(rig.journal.starting("LoadLibrary ")[0]));

    // Without a folder to load from there is no hook at all.
    AgentRig bare;
    bare.installHook();
    bare.libraries.folder.clear();
    OnApplySettings(bare.agent, 0);
    EXPECT_TRUE(bare.journal.starting("LoadLibrary").empty());
    EXPECT_EQ(countStarting(bare.journal, "MessageBox"), 1);
}

TEST_F(MainWindow, AHookThatCannotBeInstalledCountsAsMissing) {
    rig.libraries.addExport(AgentRig::kHookModule, "TAPHOOK_SetHook", 0);
    OnApplySettings(rig.agent, 0);
    EXPECT_EQ(countStarting(rig.journal, "MessageBox"), 1);
    EXPECT_EQ(rig.journal.lines().back(), "DestroyWindow " + kMainHex);
}

TEST_F(MainWindow, OptionDataIsTriedFiveTimesThenLeft) {
    rig.libraries.setResults(AgentRig::kHookModule, "TAPHOOK_SetOptionData", {0});
    OnApplySettings(rig.agent, 0);
    EXPECT_EQ(countStarting(rig.journal, "call TAPHOOK_SetOptionData"), 5);
    EXPECT_EQ(rig.driver.countOf(req::kButtonsNotSwapped), 1);  // goes on silently

    rig.journal.clear();
    rig.libraries.setResults(AgentRig::kHookModule, "TAPHOOK_SetOptionData", {0, 0, 1});
    OnApplySettings(rig.agent, 1);
    EXPECT_EQ(countStarting(rig.journal, "call TAPHOOK_SetOptionData"), 3);
}

TEST_F(MainWindow, ReapplicationLeavesHookThreadsAndSessionsAlone) {
    startRunning(0);
    OnApplySettings(rig.agent, 1);
    EXPECT_TRUE(rig.journal.starting("LoadLibrary").empty());
    EXPECT_EQ(countStarting(rig.journal, "GetProcAddress TAPHOOK_SetHook"), 0);
    EXPECT_EQ(countStarting(rig.journal, "CreateThread"), 0);
    EXPECT_EQ(count(rig.journal, lockOf(Routine::StartWorkerThreads)), 0);
    EXPECT_TRUE(inOrder(rig.journal, {lockOf(Routine::ApplyStoredSettings), "call TAPHOOK_SetOptionData(0x0) -> 1",
                                      "ioctl 0x222028", "EnumDisplaySettings"}));
}

TEST_F(MainWindow, ASecondFirstApplicationInstallsTheLoadedHookAgain) {
    startRunning(0);
    OnApplySettings(rig.agent, 0);
    EXPECT_TRUE(rig.journal.starting("LoadLibrary " + rig.libraries.folder).empty());
    EXPECT_EQ(count(rig.journal, "call TAPHOOK_SetHook() -> 1"), 1);
}

TEST_F(MainWindow, OutsideTheNtFamilyNoSessionBinding) {
    OnApplySettings(rig.agent, 0);
    EXPECT_EQ(rig.journal.starting("LoadLibrary").size(), 1u);  // the hook only
    EXPECT_EQ(countStarting(rig.journal, "CreateThread"), 2);   // panel event and calibration data
}

TEST_F(MainWindow, DisableModeBitZeroSkipsTheLayout) {
    rig.registry.setDword(AgentRig::multiKey(), "DisableMode", 1);
    OnApplySettings(rig.agent, 0);
    EXPECT_EQ(rig.driver.countOf(req::kSetOrientation), 10);
    EXPECT_TRUE(rig.journal.starting("EnumDisplayMonitors").empty());
}

TEST_F(MainWindow, FloatingWindowIsCreatedOnceAndAFailedCreationIsNotRemembered) {
    rig.windows.nextDialog = 0;
    startRunning(opt::kFloatingIcon);
    EXPECT_EQ(rig.agent.state.floatingWindow.get(), 0u);

    rig.windows.nextDialog = kFloating;
    OnApplySettings(rig.agent, 1);
    OnApplySettings(rig.agent, 1);
    EXPECT_EQ(countStarting(rig.journal, "CreateDialog"), 1);
    EXPECT_EQ(count(rig.journal, send(kFloating, FLM_RESTORE_POSITION)), 1);
}

// ---------------------------------------------------------------- WM_COPYDATA

TEST_F(MainWindow, CopyDataWithTheBitsClearedRemovesTrayIconAndFloatingWindow) {
    startRunning(opt::kTrayIcon | opt::kFloatingIcon);
    rig.agent.state.settings.tPriority.set(4);
    const auto bytes = block(0x00000080, 1);

    EXPECT_TRUE(HandleMainWindowMessage(rig.agent, win::kWmCopyData, 0, 0x1234, bytes.data(), bytes.size()));

    EXPECT_TRUE(inOrder(rig.journal, {lockOf(Routine::ApplyCursorHiding), tray(win::kNimDelete, 0, ""),
                                      send(kFloating, FLM_RESET_POSITION), "DestroyWindow " + kFloatingHex,
                                      "call TAPHOOK_SetOptionData(0x80) -> 1", "ioctl 0x222034 in=80 00 00 00",
                                      "ioctl 0x222028", "EnumDisplaySettings"}));
    EXPECT_TRUE(rig.journal.starting("EnumDisplayMonitors").empty());  // DisableMode bit 0 came with the block
    EXPECT_EQ(rig.agent.state.floatingWindow.get(), 0u);
    EXPECT_TRUE(rig.registry.writtenNames().empty());
    // The registry is not read except by the orientation push.
    for (const auto& line : rig.registry.log())
        EXPECT_TRUE(line.find("Option") == std::string::npos && line.find("HKCU") == std::string::npos) << line;
    const auto& s = rig.agent.state.settings;
    EXPECT_EQ(s.freq.get(), 2000u);
    EXPECT_EQ(s.duration.get(), 40u);
    EXPECT_EQ(s.disableMode.get(), 1u);
    EXPECT_EQ(s.monitorFreq[8].get(), 308u);
    EXPECT_EQ(s.monitorDuration[0].get(), 20u);
    EXPECT_EQ(s.monitorOption[4].get(), 0x10004u);
    EXPECT_EQ(s.tPriority.get(), 4u);
}

TEST_F(MainWindow, ShortOrEmptyCopyDataIsIgnored) {
    startRunning(opt::kTrayIcon);
    auto bytes = block(0);
    EXPECT_TRUE(HandleMainWindowMessage(rig.agent, win::kWmCopyData, 0, 0x1234, bytes.data(), 235));
    EXPECT_TRUE(HandleMainWindowMessage(rig.agent, win::kWmCopyData, 0, 0x1234, nullptr, 236));
    EXPECT_TRUE(rig.journal.lines().empty());
    EXPECT_EQ(rig.agent.state.settings.option.get(), opt::kTrayIcon);
}

TEST_F(MainWindow, RandomPayloadsAreReadOnlyWithinTheirSize) {
    startRunning(0);
    std::mt19937 random(236);
    for (int round = 0; round < 400; ++round) {
        const size_t size = random() % 300;
        // Exactly sized on the heap, so the sanitizer sees any read past it.
        std::unique_ptr<uint8_t[]> data(new uint8_t[size ? size : 1]);
        for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(random());
        rig.journal.clear();
        rig.agent.state.settings.option.set(0xFFFFFFFF);
        OnCopyData(rig.agent, size ? data.get() : nullptr, size);
        if (size < kAgentSettingsBlockSize) {
            EXPECT_TRUE(rig.journal.lines().empty()) << size;
            EXPECT_EQ(rig.agent.state.settings.option.get(), 0xFFFFFFFFu);
        } else {
            EXPECT_EQ(rig.agent.state.settings.option.get(), get32(data.get() + 12)) << size;
        }
    }
}

// ---------------------------------------------------------------- AGM_BUTTON_MODE

class ButtonMode : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        startRunning(opt::kFloatingIcon);
    }
};

TEST_F(ButtonMode, LeftClickArmsTheSecondaryButton) {
    EXPECT_TRUE(HandleMainWindowMessage(rig.agent, AGM_BUTTON_MODE, 0, win::kWmLButtonUp));
    EXPECT_EQ(rig.journal.lines(),
              (std::vector<std::string>{"open \\\\.\\TAPTPU", "ioctl 0x22201c", "LoadIcon 104 16",
                                        tray(win::kNimModify, iconHandle(104, 16), "Switch to Primary Button"),
                                        "DestroyIcon " + hexOf(iconHandle(104, 16)),
                                        post(kFloating, FLM_SHOW_RIGHT, 0, 0), "close"}));
    EXPECT_STREQ(rig.agent.state.tipText, "Switch to Primary Button");
}

TEST_F(ButtonMode, PicturesFollowThePhysicalButton) {
    rig.agent.state.buttonsSwapped.set(1);
    OnButtonMode(rig.agent, win::kWmLButtonUp);
    EXPECT_TRUE(
        inOrder(rig.journal, {"ioctl 0x22201c", tray(win::kNimModify, iconHandle(103, 16), "Switch to Primary Button"),
                              post(kFloating, FLM_SHOW_LEFT, 0, 0)}));
    rig.journal.clear();
    OnButtonMode(rig.agent, win::kWmRButtonUp);
    EXPECT_TRUE(inOrder(rig.journal,
                        {"ioctl 0x222020", tray(win::kNimModify, iconHandle(104, 16), "Switch to Secondary Button"),
                         post(kFloating, FLM_SHOW_RIGHT, 0, 0)}));
    rig.journal.clear();
    rig.agent.state.buttonsSwapped.set(0);
    OnButtonMode(rig.agent, win::kWmRButtonUp);
    EXPECT_TRUE(inOrder(rig.journal,
                        {"ioctl 0x222020", tray(win::kNimModify, iconHandle(103, 16), "Switch to Secondary Button"),
                         post(kFloating, FLM_SHOW_LEFT, 0, 0)}));
    EXPECT_TRUE(rig.windows.liveIcons().empty());
}

TEST_F(ButtonMode, OtherMouseMessagesDoNothing) {
    for (intptr_t l : {intptr_t{win::kWmMouseMove}, intptr_t{0x201}, intptr_t{0x204}, intptr_t{0}})
        EXPECT_TRUE(HandleMainWindowMessage(rig.agent, AGM_BUTTON_MODE, 0, l));
    EXPECT_TRUE(rig.journal.lines().empty());
}

TEST_F(ButtonMode, ARefusedOrUnreachableDriverChangesNothing) {
    OnButtonMode(rig.agent, win::kWmRButtonUp);
    rig.journal.clear();
    rig.driver.fail(req::kButtonSecondary);
    OnButtonMode(rig.agent, win::kWmLButtonUp);
    EXPECT_EQ(rig.journal.lines(), (std::vector<std::string>{"open \\\\.\\TAPTPU", "ioctl 0x22201c", "close"}));
    EXPECT_STREQ(rig.agent.state.tipText, "Switch to Secondary Button");

    rig.journal.clear();
    rig.driver.setPresent(kPanelDevicePath, false);
    OnButtonMode(rig.agent, win::kWmRButtonUp);
    EXPECT_EQ(rig.journal.lines(), (std::vector<std::string>{"open \\\\.\\TAPTPU failed"}));
}

TEST_F(ButtonMode, WithoutAFloatingWindowOnlyTheTrayChanges) {
    rig.agent.state.floatingWindow.set(0);
    OnButtonMode(rig.agent, win::kWmLButtonUp);
    EXPECT_TRUE(rig.journal.starting("PostMessage").empty());
    EXPECT_EQ(countStarting(rig.journal, "Shell_NotifyIcon 1"), 1);
}

// ---------------------------------------------------------------- SyncButtonSwap and WM_SETTINGCHANGE

TEST_F(MainWindow, SwappingButtonsInTheControlPanel) {
    startRunning(opt::kTrayIcon);
    rig.display.metrics[win::kSmSwapButton] = 1;

    EXPECT_TRUE(HandleMainWindowMessage(rig.agent, win::kWmSettingChange, win::kSpiSetMouseButtonSwap, 0));
    EXPECT_EQ(rig.journal.lines(),
              (std::vector<std::string>{lockOf(Routine::SyncButtonSwap), "open \\\\.\\TAPTPU", "GetSystemMetrics 23",
                                        "ioctl 0x222024", post(kMain, AGM_BUTTON_MODE, 0, win::kWmRButtonUp), "close",
                                        unlockOf(Routine::SyncButtonSwap)}));
    EXPECT_EQ(rig.agent.state.buttonsSwapped.get(), 1u);

    // The posted message arrives next.
    rig.journal.clear();
    OnButtonMode(rig.agent, win::kWmRButtonUp);
    EXPECT_TRUE(inOrder(rig.journal,
                        {"ioctl 0x222020", tray(win::kNimModify, iconHandle(104, 16), "Switch to Secondary Button")}));
}

TEST_F(MainWindow, SyncWithoutTheDeviceDoesNothingAtAll) {
    rig.driver.setPresent(kPanelDevicePath, false);
    rig.display.metrics[win::kSmSwapButton] = 1;
    SyncButtonSwap(rig.agent);
    EXPECT_TRUE(rig.journal.starting("PostMessage").empty());
    EXPECT_TRUE(rig.journal.starting("GetSystemMetrics").empty());
    EXPECT_EQ(rig.agent.state.buttonsSwapped.get(), 0u);
}

TEST_F(MainWindow, SwapFlagFollowsTheSystemWhateverTheDriverSays) {
    rig.agent.state.buttonsSwapped.set(1);
    rig.driver.fail(req::kButtonsNotSwapped);
    SyncButtonSwap(rig.agent);
    EXPECT_EQ(rig.agent.state.buttonsSwapped.get(), 0u);
}

TEST_F(MainWindow, SettingChangesOtherThanTheSwapOrInAnInactiveSessionAreIgnored) {
    OnSettingChange(rig.agent, 0x1D);
    rig.agent.state.sessionActive.set(0);
    OnSettingChange(rig.agent, win::kSpiSetMouseButtonSwap);
    EXPECT_TRUE(rig.journal.lines().empty());
}

// ---------------------------------------------------------------- display and power

TEST_F(MainWindow, DisplayChangePushesOrientationThenLayout) {
    EXPECT_TRUE(HandleMainWindowMessage(rig.agent, win::kWmDisplayChange, 0, 0));
    EXPECT_TRUE(inOrder(rig.journal, {"EnumDisplaySettings", "ioctl 0x222078 in=00 00 00 00", "EnumDisplayMonitors",
                                      "open \\\\.\\QTXTPUM"}));
    rig.journal.clear();
    rig.agent.state.settings.disableMode.set(3);
    OnDisplayChange(rig.agent);
    EXPECT_TRUE(rig.journal.starting("EnumDisplayMonitors").empty());
    EXPECT_EQ(countStarting(rig.journal, "EnumDisplaySettings"), 10);
}

TEST_F(MainWindow, SuspendStopsTheWorkersAndWaitsOutATone) {
    startRunning(0);
    rig.agent.state.settings.duration.set(70);
    EXPECT_TRUE(HandleMainWindowMessage(rig.agent, win::kWmPowerBroadcast, win::kPbtApmSuspend, 0));
    EXPECT_EQ(rig.agent.state.panelEventThread.run.get(), 0u);
    EXPECT_EQ(rig.agent.state.calibrationDataThread.run.get(), 0u);
    EXPECT_EQ(rig.sleep.calls(), std::vector<uint32_t>{80});
}

TEST_F(MainWindow, ResumeReappliesInOrder) {
    startRunning(0);
    OnPowerBroadcast(rig.agent, win::kPbtApmSuspend);
    rig.journal.clear();
    const size_t sleepsBefore = rig.sleep.calls().size();
    OnPowerBroadcast(rig.agent, win::kPbtApmResumeSuspend);
    EXPECT_EQ(rig.sleep.calls().at(sleepsBefore), 25u);
    EXPECT_TRUE(inOrder(rig.journal, {lockOf(Routine::ApplyStoredSettings), unlockOf(Routine::ApplyStoredSettings),
                                      lockOf(Routine::ApplyCursorHiding), unlockOf(Routine::ApplyCursorHiding),
                                      lockOf(Routine::SyncButtonSwap), unlockOf(Routine::SyncButtonSwap),
                                      lockOf(Routine::StartWorkerThreads)}));
    EXPECT_EQ(rig.agent.state.panelEventThread.run.get(), 1u);
}

TEST_F(MainWindow, PowerEventsInAnInactiveSessionOrOfOtherKindsDoNothing) {
    startRunning(0);
    OnPowerBroadcast(rig.agent, 10);  // PBT_APMPOWERSTATUSCHANGE
    rig.agent.state.sessionActive.set(0);
    OnPowerBroadcast(rig.agent, win::kPbtApmSuspend);
    OnPowerBroadcast(rig.agent, win::kPbtApmResumeSuspend);
    EXPECT_TRUE(rig.journal.lines().empty());
    EXPECT_EQ(rig.agent.state.panelEventThread.run.get(), 1u);
}

// ---------------------------------------------------------------- one session drives the panel

// The panel and its driver are one per machine. An agent whose session is
// not the active console session (fast user switching, a remote session, a
// restart by the installer in every session) keeps its settings to itself:
// nothing of its user reaches the driver or the hook library, from the first
// application on, until its session comes back (the session watch).
TEST_F(MainWindow, OnlyTheActiveConsoleSessionsAgentDrivesTheDriverAndTheHook) {
    struct Case {
        const char* name;
        uint32_t own, console;
        bool drives;
    };
    const Case cases[] = {
        {"at the console", 3, 3, true},
        {"another session at the console", 3, 1, false},
        {"no session at the console (a switch under way)", 3, 0xFFFFFFFF, false},
        {"session 0 at the console, as on Windows XP", 0, 0, true},
    };
    for (const Case& c : cases) {
        AgentRig r;
        AgentRig::addSuiteKeys(r.registry, r.driver);
        r.registry.setDword(AgentRig::userKey(), "Option", opt::kTrayIcon);
        r.installHook();
        r.libraries.addModule("wtsapi32.dll", 0x3100);
        r.libraries.addExport(0x3100, "WTSRegisterSessionNotification", 1);
        r.libraries.addExport(0x3100, "WTSUnRegisterSessionNotification", 1);
        r.libraries.addModule("KERNEL32.dll", 0x3200);
        r.libraries.addExport(0x3200, "ProcessIdToSessionId", 1);
        r.libraries.addExport(0x3200, "WTSGetActiveConsoleSessionId", 1);
        r.libraries.processSessionId = c.own;
        r.libraries.sessionId = c.console;
        r.agent.state.osNt6.set(1);
        r.agent.state.instanceMutex.set(0x4400);

        HandleMainWindowMessage(r.agent, AGM_APPLY_SETTINGS, 0, 0);
        HandleMainWindowMessage(r.agent, AGM_APPLY_SETTINGS, 1, 0);
        const std::vector<uint8_t> b = block(opt::kTrayIcon | opt::kKeyRightClick);
        HandleMainWindowMessage(r.agent, win::kWmCopyData, 0, 0, b.data(), b.size());
        HandleMainWindowMessage(r.agent, win::kWmDisplayChange, 0, 0);
        HandleMainWindowMessage(r.agent, AGM_BUTTON_MODE, 0, win::kWmLButtonUp);
        r.display.metrics[win::kSmSwapButton] = 1;
        HandleMainWindowMessage(r.agent, win::kWmSettingChange, win::kSpiSetMouseButtonSwap, 0);
        const int hookCalls = countStarting(r.journal, "call TAPHOOK_SetOptionData");
        const size_t requestsBeforeShutdown = r.driver.log().size();
        HandleMainWindowMessage(r.agent, win::kWmDestroy, 0, 0);

        EXPECT_EQ(r.agent.state.sessionActive.get(), c.drives ? 1u : 0u) << c.name;
        EXPECT_EQ(r.agent.state.ownSessionId.get(), c.own) << c.name;
        EXPECT_EQ(r.driver.countOf(req::kSetOption) > 0, c.drives) << c.name;
        EXPECT_EQ(r.driver.countOf(req::kGetPanelIds) > 0, c.drives) << c.name;
        EXPECT_EQ(r.driver.countOf(req::kSetOrientation) > 0, c.drives) << c.name;
        EXPECT_EQ(r.driver.countOf(req::kButtonSecondary) > 0, c.drives) << c.name;
        EXPECT_EQ(r.driver.countOf(req::kButtonsSwapped) > 0, c.drives) << c.name;
        EXPECT_EQ(r.driver.countOf(req::kButtonsNotSwapped) > 0, c.drives) << c.name << ": shutdown's reset too";
        EXPECT_EQ(hookCalls > 0, c.drives) << c.name;
        EXPECT_EQ(countStarting(r.journal, "LoadIcon 103") > 0, true) << c.name << ": its own tray icon still shows";
        EXPECT_EQ(countStarting(r.journal, "CreateThread"), c.drives ? 3 : 1)
            << c.name << ": the session watch only; it starts the workers on its return";
        if (!c.drives) {
            EXPECT_EQ(r.driver.log().size(), requestsBeforeShutdown) << c.name;
        }
        EXPECT_EQ(countStarting(r.journal, "call TAPHOOK_SetHook") > 0, true) << c.name << ": hooked all the same";
    }
}

TEST_F(MainWindow, WithoutItsOwnSessionTheAgentDrivesThePanelUnwatched) {
    rig.libraries.setResults(0x3200, "ProcessIdToSessionId", {0});
    rig.libraries.sessionId = 7;
    rig.agent.state.osNt6.set(1);
    OnApplySettings(rig.agent, 0);
    EXPECT_EQ(rig.agent.state.sessionActive.get(), 1u);
    EXPECT_EQ(rig.agent.state.activeSessionQuery.get(), 0u);
    EXPECT_GT(rig.driver.countOf(req::kSetOption), 0);
    EXPECT_EQ(countStarting(rig.journal, "CreateThread"), 2) << "the workers, no session watch";
}

// ---------------------------------------------------------------- shutdown

TEST_F(MainWindow, ShutdownRunsInOrderAndKeepsTheFloatingWindowsPosition) {
    startRunning(opt::kTrayIcon | opt::kFloatingIcon);
    rig.agent.state.instanceMutex.set(0x4400);
    rig.agent.state.buttonsSwapped.set(1);
    const size_t sleepsBefore = rig.sleep.calls().size();

    EXPECT_TRUE(HandleMainWindowMessage(rig.agent, win::kWmEndSession, 1 /* TRUE */, 0));

    EXPECT_TRUE(inOrder(
        rig.journal,
        {"SystemParametersInfo 0x57 0 0", "ioctl 0x222028", "close", "DestroyWindow " + kFloatingHex,
         tray(win::kNimDelete, 0, ""), "call TAPHOOK_UnSetHook() -> 1", "FreeLibrary " + hexOf(AgentRig::kHookModule),
         "call WTSUnRegisterSessionNotification(" + kMainHex + ") -> 1", "FreeLibrary 0x3100", "FreeLibrary 0x3200",
         "DestroyWindow " + kMainHex, "ReleaseMutex 0x4400", "PostQuitMessage 0"}));
    EXPECT_EQ(count(rig.journal, send(kFloating, FLM_RESET_POSITION)), 0);
    EXPECT_EQ(rig.agent.state.buttonsSwapped.get(), 0u);
    EXPECT_EQ(rig.agent.state.panelEventThread.run.get(), 0u);
    EXPECT_EQ(rig.agent.state.sessionWatchThread.run.get(), 0u);
    const auto sleeps = rig.sleep.calls();
    EXPECT_EQ(std::vector<uint32_t>(sleeps.begin() + static_cast<long>(sleepsBefore), sleeps.end()),
              std::vector<uint32_t>(10, 10));
    EXPECT_TRUE(rig.libraries.loaded().empty());
    EXPECT_EQ(rig.agent.state.hookModule.get(), 0u);
    EXPECT_EQ(rig.agent.state.instanceMutex.get(), 0u);
}

TEST_F(MainWindow, ACancelledEndOfSessionKeepsTheAgentRunning) {
    startRunning(opt::kTrayIcon | opt::kFloatingIcon);
    rig.agent.state.instanceMutex.set(0x4400);
    EXPECT_TRUE(HandleMainWindowMessage(rig.agent, win::kWmEndSession, 0 /* FALSE */, 0));
    EXPECT_TRUE(rig.journal.lines().empty());
    EXPECT_EQ(rig.agent.state.shuttingDown.get(), 0u);
    EXPECT_EQ(rig.agent.state.instanceMutex.get(), 0x4400u);
    EXPECT_EQ(rig.agent.state.hookModule.get(), AgentRig::kHookModule);
    EXPECT_EQ(rig.agent.state.panelEventThread.run.get(), 1u);
    // The session that went on can still end for real.
    EXPECT_TRUE(HandleMainWindowMessage(rig.agent, win::kWmEndSession, 1 /* TRUE */, 0));
    EXPECT_EQ(rig.agent.state.shuttingDown.get(), 1u);
    EXPECT_EQ(rig.journal.lines().back(), "PostQuitMessage 0");
}

// Whoever looks for a running agent must find its window for as long as it
// holds the mutex: the window is destroyed once, by the shutdown itself,
// whichever message began it (the WM_DESTROY of that destruction included).
TEST_F(MainWindow, EveryShutdownDestroysTheMainWindowOnceThenReleasesTheMutex) {
    for (uint32_t message : {win::kWmDestroy, win::kWmClose, win::kWmEndSession}) {
        AgentRig r;
        AgentRig::addSuiteKeys(r.registry, r.driver);
        r.installHook();
        r.agent.state.mainWindow.set(kMain);
        OnApplySettings(r.agent, 0);
        r.agent.state.instanceMutex.set(0x4400);
        int destroys = 0;
        r.windows.onDestroyWindow = [&](WindowHandle w) {
            if (w != kMain) return;
            ++destroys;
            EXPECT_EQ(r.agent.state.instanceMutex.get(), 0x4400u) << "mutex released before the window went";
            EXPECT_TRUE(HandleMainWindowMessage(r.agent, win::kWmDestroy, 0, 0));  // what DestroyWindow sends
        };
        EXPECT_TRUE(HandleMainWindowMessage(r.agent, message, 1, 0));
        EXPECT_EQ(destroys, 1) << message;
        EXPECT_EQ(r.journal.find("ReleaseMutex 0x4400"), r.journal.find("DestroyWindow " + kMainHex) + 1) << message;
        EXPECT_EQ(count(r.journal, "PostQuitMessage 0"), 1) << message;
    }
}

TEST_F(MainWindow, WithoutTheHookTheWindowIsDestroyedOnceToo) {
    rig.agent.state.mainWindow.set(kMain);
    rig.libraries.setResults(AgentRig::kHookModule, "TAPHOOK_SetHook", {0});
    int destroys = 0;
    rig.windows.onDestroyWindow = [&](WindowHandle w) {
        if (w != kMain) return;
        ++destroys;
        HandleMainWindowMessage(rig.agent, win::kWmDestroy, 0, 0);
    };
    OnApplySettings(rig.agent, 0);
    EXPECT_EQ(destroys, 1);
    EXPECT_EQ(rig.agent.state.shuttingDown.get(), 1u);
}

TEST_F(MainWindow, DestroyShutsDownTooAndWithoutTheDeviceSkipsOnlyTheRequest) {
    startRunning(0);
    rig.driver.setPresent(kPanelDevicePath, false);
    rig.agent.state.buttonsSwapped.set(1);
    EXPECT_TRUE(HandleMainWindowMessage(rig.agent, win::kWmDestroy, 0, 0));
    EXPECT_EQ(rig.driver.countOf(req::kButtonsNotSwapped), 0);
    EXPECT_EQ(rig.agent.state.buttonsSwapped.get(), 1u);
    EXPECT_EQ(rig.journal.lines().back(), "PostQuitMessage 0");
}

TEST_F(MainWindow, OtherMessagesGoToTheDefaultProcedure) {
    for (uint32_t m : {0x0001u, 0x000Fu, 0x0011u, 0x0012u, 0x0501u, 0x0503u})
        EXPECT_FALSE(HandleMainWindowMessage(rig.agent, m, 1, 1)) << m;
    EXPECT_TRUE(rig.journal.lines().empty());
}

// ---------------------------------------------------------------- start-up decisions

TEST(StartUp, RunOnceIsTheWholeCommandLineInAnyCase) {
    for (const char* yes : {"runonce", "RUNONCE", "RunOnce", "rUnOnCe"}) EXPECT_TRUE(IsRunOnceCommandLine(yes)) << yes;
    for (const char* no : {"", "runonce now", " runonce", "runonce ", "runonc", "runonce2", "\"runonce\""})
        EXPECT_FALSE(IsRunOnceCommandLine(no)) << no;
    EXPECT_FALSE(IsRunOnceCommandLine(nullptr));
}

TEST(StartUp, OsFlagsFromTheVersion) {
    EXPECT_TRUE(OsFlagsFromVersion(2, 5).nt5);
    EXPECT_FALSE(OsFlagsFromVersion(2, 5).nt6);
    EXPECT_TRUE(OsFlagsFromVersion(2, 4).nt5);
    EXPECT_TRUE(OsFlagsFromVersion(2, 6).nt6);
    EXPECT_FALSE(OsFlagsFromVersion(2, 6).nt5);
    EXPECT_TRUE(OsFlagsFromVersion(2, 10).nt6);
    EXPECT_FALSE(OsFlagsFromVersion(1, 4).nt5 || OsFlagsFromVersion(1, 4).nt6);  // Windows 9x
}

}  // namespace
}  // namespace tp::test
