// The calibration command: the two vendor packets, the status check and
// when CalCommand is reset.
#include <gtest/gtest.h>

#include "agent_rig.h"
#include "calibration_command.h"

namespace tp::test {
namespace {

const std::string kCommandLine = "ioctl 0x222100 in=40 10 04 00 00 00 00 00";
const std::string kStatusLine = "ioctl 0x222100 in=C0 FF 00 00 00 00 02 00";

class CalibrationCommand : public ::testing::Test {
protected:
    AgentRig rig;
    void SetUp() override {
        rig.registry.setDword(AgentRig::panelKey(), val::kCalibMode, 1);
        rig.registry.setDword(AgentRig::userKey(), val::kCalCommand, 4);
    }
    void run() { agent::RunCalibrationCommand(rig.agent); }
    std::optional<uint32_t> calCommand() const { return rig.registry.dword(AgentRig::userKey(), val::kCalCommand); }
    std::vector<std::string> vendorLines() const { return rig.journal.starting("ioctl 0x222100"); }
};

TEST_F(CalibrationCommand, GoodAnswerSendsBothPackets50MsApartAndResetsCalCommand) {
    rig.driver.answer(req::kVendorRequest, {0x01, 0x00});
    run();
    EXPECT_EQ(rig.journal.lines(), (std::vector<std::string>{"open \\\\.\\TAPTPU", kCommandLine, "close",
                                                             "open \\\\.\\TAPTPU", kStatusLine, "close"}));
    EXPECT_EQ(rig.sleep.calls(), std::vector<uint32_t>{50});
    EXPECT_EQ(calCommand(), 0u);
    EXPECT_EQ(rig.agent.state.calCommand.get(), 0u);
    // Keys: the panel driver's read-only, the user's for writing; user closed first.
    const auto reg = rig.registry.log();
    const std::vector<std::string> expected = {"open " + AgentRig::panelKey(),
                                               "query CalibMode",
                                               "open " + AgentRig::userKey(),
                                               "query CalCommand",
                                               "set CalCommand",
                                               "close",
                                               "close"};
    EXPECT_EQ(reg, expected);
    EXPECT_EQ(rig.registry.openHandles(), 0);

    rig.journal.clear();
    run();  // done: nothing more to send
    EXPECT_TRUE(vendorLines().empty());
}

TEST_F(CalibrationCommand, BadAnswersKeepTheCommandForTheNextEvent) {
    for (const std::vector<uint8_t>& answer :
         {std::vector<uint8_t>{0x00, 0x00}, std::vector<uint8_t>{0x01, 0x01}, std::vector<uint8_t>{0x00, 0x01}}) {
        rig.journal.clear();
        rig.driver.answer(req::kVendorRequest, answer);
        run();
        EXPECT_EQ(vendorLines(), (std::vector<std::string>{kCommandLine, kStatusLine}));
        EXPECT_EQ(calCommand(), 4u);
        EXPECT_EQ(rig.agent.state.commandDone.get(), 0u);
        EXPECT_TRUE(rig.registry.writtenNames().empty());
    }
    rig.driver.answer(req::kVendorRequest, {0x7F, 0x00});
    run();
    EXPECT_EQ(calCommand(), 0u) << "any nonzero first byte with a zero second is good";
}

TEST_F(CalibrationCommand, MissingDeviceCountsAsDoneAndIsNotRepeated) {
    rig.driver.setPresent("\\\\.\\TAPTPU", false);
    run();
    EXPECT_TRUE(vendorLines().empty());
    EXPECT_TRUE(rig.sleep.calls().empty()) << "no status request after a command that was not sent";
    EXPECT_EQ(calCommand(), 0u);
}

TEST_F(CalibrationCommand, TheCommandRequestsOwnResultIsNotExamined) {
    rig.driver.fail(req::kVendorRequest);
    run();
    EXPECT_EQ(vendorLines(), (std::vector<std::string>{kCommandLine, kStatusLine}));
    EXPECT_EQ(calCommand(), 4u) << "a failed status request answers nothing good";
}

TEST_F(CalibrationCommand, NothingHappensUnlessCalibModeIsOneAndCalCommandFour) {
    struct {
        const char* what;
        uint32_t mode, command;
    } cases[] = {{"CalibMode 0", 0, 4}, {"CalibMode 2", 2, 4}, {"CalCommand 3", 1, 3}, {"CalCommand 0", 1, 0}};
    for (const auto& c : cases) {
        AgentRig r;
        r.registry.setDword(AgentRig::panelKey(), val::kCalibMode, c.mode);
        r.registry.setDword(AgentRig::userKey(), val::kCalCommand, c.command);
        r.agent.state.commandDone.set(1);  // left from an earlier command
        agent::RunCalibrationCommand(r.agent);
        EXPECT_TRUE(r.journal.lines().empty()) << c.what;
        EXPECT_EQ(r.registry.dword(AgentRig::userKey(), val::kCalCommand), c.command) << c.what;
        EXPECT_EQ(r.registry.openHandles(), 0);
    }
    AgentRig noMode;
    noMode.registry.addKey(AgentRig::panelKey());
    noMode.registry.setDword(AgentRig::userKey(), val::kCalCommand, 4);
    agent::RunCalibrationCommand(noMode.agent);
    EXPECT_TRUE(noMode.journal.lines().empty());
    for (const auto& missing : {AgentRig::panelKey(), AgentRig::userKey()}) {
        AgentRig r;
        r.registry.setDword(AgentRig::panelKey(), val::kCalibMode, 1);
        r.registry.setDword(AgentRig::userKey(), val::kCalCommand, 4);
        r.registry.failOpens(missing, 1);
        agent::RunCalibrationCommand(r.agent);
        EXPECT_TRUE(r.journal.lines().empty()) << missing << ": one attempt only";
        EXPECT_EQ(r.registry.openHandles(), 0);
    }
}

TEST_F(CalibrationCommand, UnreadableValuesKeepTheLastOnesRead) {
    rig.driver.answer(req::kVendorRequest, {0x00, 0x00});
    run();  // reads 1 and 4
    rig.registry.setString(AgentRig::panelKey(), val::kCalibMode, "0");
    rig.registry.setRaw(AgentRig::userKey(), val::kCalCommand, kRegBinary, {0, 0, 0, 0});
    rig.journal.clear();
    run();
    EXPECT_EQ(vendorLines().size(), 2u) << "still mode 1 and command 4";
}

TEST(SendVendorRequest, OnlyTheStatusPacketsAnswerIsChecked) {
    AgentRig rig;
    rig.driver.answer(req::kVendorRequest, {0x00, 0x00});
    EXPECT_EQ(agent::SendVendorRequest(rig.agent, agent::kCalibrationCommandRequest), 1);
    EXPECT_EQ(rig.agent.state.commandDone.get(), 1u);
    // An IN request of another kind, or one without a data stage, is not a status.
    EXPECT_EQ(agent::SendVendorRequest(rig.agent, VendorRequest{0xC0, 0xFE, 0, 0, 2}), 1);
    EXPECT_EQ(agent::SendVendorRequest(rig.agent, VendorRequest{0xC1, 0xFF, 0, 0, 2}), 1);
    EXPECT_EQ(agent::SendVendorRequest(rig.agent, VendorRequest{0xC0, 0xFF, 0, 0, 0x0100}), 1);
    EXPECT_EQ(agent::SendVendorRequest(rig.agent, agent::kCalibrationStatusRequest), 0);
    EXPECT_EQ(rig.agent.state.commandDone.get(), 0u);
}

}  // namespace
}  // namespace tp::test
