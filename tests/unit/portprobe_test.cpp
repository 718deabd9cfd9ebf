#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fake_registry.h"
#include "fake_sleep.h"
#include "portprobe.h"
#include "settings.h"

namespace tp::probe {
namespace {

using test::FakeRegistry;
using test::FakeSleep;

const std::string kPanelEnum = std::string("HKLM\\") + key::kPanelEnum;
const std::string kPanelParams = std::string("HKLM\\") + key::kPanelParams;
const std::string kMultiEnum = std::string("HKLM\\") + key::kMultiEnum;
const std::string kMultiParams = std::string("HKLM\\") + key::kMultiParams;
const std::string kRunOnce = std::string("HKLM\\") + key::kRunOnce;
constexpr char kProgram[] = "C:\\Program Files\\QTX\\PNL\\USBPNL\\Tapport.exe";
constexpr char kPanelA[] = "USB\\VID_0EEF&PID_0001\\5&1A2B3C&0&1";
constexpr char kPanelB[] = "USB\\VID_0EEF&PID_0001\\5&1A2B3C&0&2";

class PortProbe : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& k : {kPanelParams, kMultiParams, kRunOnce}) reg.addKey(k);
    }
    void run() { runPortProbe(reg, sleeper, kProgram); }
    FakeRegistry reg;
    FakeSleep sleeper;
};

TEST_F(PortProbe, FirstRunNumbersPanelsAndSecondRunOnlyRewritesSavePort) {
    reg.setString(kPanelEnum, "0", kPanelA);
    reg.setString(kPanelEnum, "1", kPanelB);
    reg.setString(kPanelEnum, "Count", "2");
    run();
    EXPECT_EQ(reg.dword(kPanelParams, kPanelA), 0u);
    EXPECT_EQ(reg.dword(kPanelParams, kPanelB), 1u);
    EXPECT_EQ(reg.dword(kPanelParams, "SavePort"), 2u);
    EXPECT_EQ(reg.value(kPanelParams, kPanelA)->name, kPanelA) << "named exactly as listed";

    reg.clearLog();
    run();
    EXPECT_EQ(reg.writtenNames(kPanelParams), (std::vector<std::string>{"SavePort"}));
    EXPECT_EQ(reg.dword(kPanelParams, "SavePort"), 2u);
    EXPECT_EQ(reg.dword(kPanelParams, kPanelB), 1u);
}

TEST_F(PortProbe, UnpluggedPanelKeepsItsNumberAndNewcomerGetsTheNext) {
    reg.setString(kPanelEnum, "0", kPanelA);
    run();
    reg.setString(kPanelEnum, "0", kPanelB);  // A unplugged, B plugged in
    run();
    EXPECT_EQ(reg.dword(kPanelParams, kPanelA), 0u);
    EXPECT_EQ(reg.dword(kPanelParams, kPanelB), 1u);
    EXPECT_EQ(reg.dword(kPanelParams, "SavePort"), 2u);
}

TEST_F(PortProbe, ListEndsAtTheFirstGapAfterThreeAttempts) {
    reg.setString(kPanelEnum, "0", kPanelA);
    reg.setString(kPanelEnum, "2", kPanelB);
    run();
    EXPECT_TRUE(reg.dword(kPanelParams, kPanelA));
    EXPECT_FALSE(reg.value(kPanelParams, kPanelB));
    const auto log = reg.log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "query 1"), 3);
    EXPECT_EQ(std::count(log.begin(), log.end(), "query 2"), 0);
}

TEST_F(PortProbe, DriversCountIndependentlyMultiMonitorFirst) {
    reg.setString(kMultiEnum, "0", kPanelA);
    reg.setString(kPanelEnum, "0", kPanelB);
    reg.setString(kPanelEnum, "1", kPanelA);
    reg.setDword(kPanelParams, "SavePort", 5);
    run();
    EXPECT_EQ(reg.dword(kMultiParams, kPanelA), 0u);
    EXPECT_EQ(reg.dword(kMultiParams, "SavePort"), 1u);
    EXPECT_EQ(reg.dword(kPanelParams, kPanelB), 5u);
    EXPECT_EQ(reg.dword(kPanelParams, kPanelA), 6u);
    EXPECT_EQ(reg.dword(kPanelParams, "SavePort"), 7u);
    const auto names = reg.writtenNames();
    EXPECT_EQ(names.front(), kPanelA) << "the multi-monitor pass runs first";
}

TEST_F(PortProbe, WrongTypedValuesAreNotTakenAsNumbers) {
    reg.setString(kPanelEnum, "0", kPanelA);
    reg.setString(kPanelEnum, "1", kPanelB);
    reg.setRaw(kPanelParams, "SavePort", kRegSz, {'9', 0});          // not a counter: start at 0
    reg.setRaw(kPanelParams, kPanelA, kRegBinary, {1, 2, 3, 4, 5});  // not a port number
    reg.setDword(kPanelParams, kPanelB, 3);
    run();
    EXPECT_EQ(reg.dword(kPanelParams, kPanelA), 0u);
    EXPECT_EQ(reg.dword(kPanelParams, kPanelB), 3u);
    EXPECT_EQ(reg.dword(kPanelParams, "SavePort"), 1u);
}

TEST_F(PortProbe, OverlongOrNonTextEnumValuesEndTheListSafely) {
    reg.setString(kPanelEnum, "0", kPanelA);
    reg.setString(kPanelEnum, "1", std::string(300, 'X'));
    reg.setString(kPanelEnum, "2", kPanelB);
    run();
    EXPECT_EQ(reg.valueCount(kPanelParams), 2u) << "A and SavePort only";

    reg.setRaw(kPanelEnum, "1", kRegSz, std::vector<uint8_t>(259, 'Y'));  // unterminated but fits
    run();
    EXPECT_EQ(reg.dword(kPanelParams, std::string(259, 'Y')), 1u);
    EXPECT_EQ(reg.dword(kPanelParams, kPanelB), 2u);
}

TEST_F(PortProbe, ListHoldsAtMost255Instances) {
    for (int i = 0; i < 300; ++i) reg.setString(kPanelEnum, std::to_string(i), "PANEL" + std::to_string(i));
    run();
    EXPECT_EQ(reg.dword(kPanelParams, "PANEL254"), 254u);
    EXPECT_FALSE(reg.value(kPanelParams, "PANEL255"));
    EXPECT_EQ(reg.dword(kPanelParams, "SavePort"), 255u);
}

TEST_F(PortProbe, RegistersItselfQuotedInRunOnce) {
    run();
    const auto v = reg.value(kRunOnce, "TAPPORTCHK");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, kRegSz);
    const std::string quoted = std::string("\"") + kProgram + "\"";
    EXPECT_EQ(std::string(v->data.begin(), v->data.end()), quoted + '\0');
}

TEST_F(PortProbe, MissingKeysWriteNothingButStillReachRunOnce) {
    FakeRegistry bare;
    bare.addKey(kRunOnce);
    bare.addKey(kMultiParams);
    bare.denyWrite(kMultiParams);
    runPortProbe(bare, sleeper, kProgram);
    EXPECT_EQ(bare.writtenNames(), (std::vector<std::string>{"TAPPORTCHK"}));
    // every open of a missing or unwritable key is tried ten times, 20 ms apart
    EXPECT_EQ(sleeper.total(), 4u * 10 * 20);
}

TEST_F(PortProbe, MissingEnumKeyStillRewritesSavePort) {
    run();
    EXPECT_EQ(reg.dword(kPanelParams, "SavePort"), 0u);
    EXPECT_EQ(reg.dword(kMultiParams, "SavePort"), 0u);
    EXPECT_EQ(reg.openHandles(), 0);
}

}  // namespace
}  // namespace tp::probe
