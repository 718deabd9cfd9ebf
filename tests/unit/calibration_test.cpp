#include <gtest/gtest.h>

#include <vector>

#include "calibration.h"
#include "fake_registry.h"

namespace tp {
namespace {

using test::FakeRegistry;

constexpr char kPath[] = "HKCU\\Software\\Korvane Component\\USB";

class CalibrationBlock : public ::testing::Test {
protected:
    void SetUp() override {
        reg.addKey(kPath);
        ASSERT_EQ(reg.open(RegRoot::CurrentUser, key::kUser, kKeyRead, &userKey), kErrorSuccess);
    }
    void TearDown() override { reg.close(userKey); }
    std::vector<uint8_t> field(const CalibrationTableBlock& b, const CalibrationTableKind& k) {
        return std::vector<uint8_t>(b.bytes + k.offset, b.bytes + k.offset + k.maxBytes);
    }
    FakeRegistry reg;
    RegKey userKey = 0;
};

TEST_F(CalibrationBlock, OnlyTheTwelvePointTableOfPortSeven) {
    reg.setRaw(kPath, "12Cal7", kRegBinary, {0xAA, 0xBB, 1, 2, 3});
    CalibrationTableBlock b;
    ASSERT_TRUE(loadCalibrationBlock(reg, userKey, 7, &b));
    EXPECT_EQ(b.flags(), 2u);
    std::vector<uint8_t> twelve(160, 0);
    twelve[0] = 7;  // the port replaces the first word
    twelve[2] = 1;
    twelve[3] = 2;
    twelve[4] = 3;
    EXPECT_EQ(field(b, kCalibrationKinds[1]), twelve);
    EXPECT_EQ(field(b, kCalibrationKinds[0]), std::vector<uint8_t>(110, 0));
    EXPECT_EQ(field(b, kCalibrationKinds[2]), std::vector<uint8_t>(320, 0));
    EXPECT_EQ(get16(b.bytes + 594), 0u);
}

TEST_F(CalibrationBlock, OversizedTableIsAbsentButTheOthersStillGo) {
    reg.setRaw(kPath, "9Cal10", kRegBinary, std::vector<uint8_t>(111, 0x55));
    reg.setRaw(kPath, "20Cal10", kRegBinary, std::vector<uint8_t>(320, 0x66));
    CalibrationTableBlock b;
    ASSERT_TRUE(loadCalibrationBlock(reg, userKey, 10, &b));
    EXPECT_EQ(b.flags(), 4u);
    EXPECT_EQ(field(b, kCalibrationKinds[0]), std::vector<uint8_t>(110, 0));
    EXPECT_EQ(get16(b.bytes + kCalibrationKinds[2].offset), 10u);
    EXPECT_EQ(b.bytes[kCalibrationKinds[2].offset + 319], 0x66);
}

TEST_F(CalibrationBlock, NegativePortsNameTheirValuesWithASign) {
    reg.setRaw(kPath, "9Cal-2", kRegBinary, {0, 0, 9});
    CalibrationTableBlock b;
    ASSERT_TRUE(loadCalibrationBlock(reg, userKey, -2, &b));
    EXPECT_EQ(b.flags(), 1u);
    EXPECT_EQ(get16(b.bytes + 4), 0xFFFEu) << "the low 16 bits of the port";
}

TEST_F(CalibrationBlock, NothingStoredMeansNothingToSend) {
    reg.setRaw(kPath, "9Cal1", kRegBinary, {1});
    CalibrationTableBlock b;
    EXPECT_FALSE(loadCalibrationBlock(reg, userKey, 0, &b));
    EXPECT_STREQ(calibrationValueName(kCalibrationKinds[0], 0).c_str(), "9Cal0");
}

}  // namespace
}  // namespace tp
