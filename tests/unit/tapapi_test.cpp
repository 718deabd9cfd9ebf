#include <gtest/gtest.h>

#include "driver_protocol.h"
#include "fake_driver.h"
#include "tapapi.h"

namespace tp::api {
namespace {

using test::FakeDriver;

const std::vector<std::string> kOpenSendClose(const char* request) {
    return {"open \\\\.\\TAPTPU", std::string("ioctl ") + request, "close"};
}

TEST(SpinTop, ReadsTheDriversValue) {
    FakeDriver driver;
    driver.answerDword(req::kGetSpinTop, 42);
    EXPECT_EQ(getSpinTop(driver), 42);
    EXPECT_EQ(driver.log(), kOpenSendClose("0x222030"));
}

TEST(SpinTop, UnansweredOrMissingIsMinusOne) {
    FakeDriver driver;
    EXPECT_EQ(getSpinTop(driver), -1) << "driver writes nothing";
    driver.fail(req::kGetSpinTop);
    driver.answerDword(req::kGetSpinTop, 42);
    EXPECT_EQ(getSpinTop(driver), -1);
    driver.setPresent(kPanelDevicePath, false);
    EXPECT_EQ(getSpinTop(driver), -1);
    EXPECT_EQ(driver.openHandles(), 0);
}

TEST(SpinTop, SetPassesTheValueAndReportsTheRequest) {
    FakeDriver driver;
    EXPECT_EQ(setSpinTop(driver, -2), 0);
    EXPECT_EQ(driver.log(), kOpenSendClose("0x22202c in=FE FF FF FF"));
    driver.fail(req::kSetSpinTop);
    EXPECT_EQ(setSpinTop(driver, 1), -1);
    driver.setPresent(kPanelDevicePath, false);
    EXPECT_EQ(setSpinTop(driver, 1), -1);
    EXPECT_EQ(driver.openHandles(), 0);
}

TEST(GetEnable, InvalidTypeNeverTouchesDeviceOrOutput) {
    FakeDriver driver;
    driver.setPresent(kPanelDevicePath, false);
    for (int32_t type : {0, 3, -1}) {
        int32_t out = 1234;
        EXPECT_EQ(getUsbTpEnable(driver, type, &out), 2);
        EXPECT_EQ(out, 1234);
    }
    EXPECT_TRUE(driver.log().empty());
}

TEST(GetEnable, DisabledAnswerBecomesEnabledFlag) {
    FakeDriver driver;
    int32_t out = -7;
    driver.answerDword(req::kGetDisabled1, 5);
    EXPECT_EQ(getUsbTpEnable(driver, 1, &out), 0);
    EXPECT_EQ(out, 0);
    driver.answerDword(req::kGetDisabled2, 0);
    EXPECT_EQ(getUsbTpEnable(driver, 2, &out), 0);
    EXPECT_EQ(out, 1);
    EXPECT_EQ(driver.requests(), (std::vector<std::string>{"0x22205c", "0x222060"}));
}

TEST(GetEnable, FailuresReturnOneAndLeaveOutput) {
    FakeDriver driver;
    int32_t out = -7;
    driver.fail(req::kGetDisabled1);
    EXPECT_EQ(getUsbTpEnable(driver, 1, &out), 1);
    EXPECT_EQ(out, -7);
    driver.setPresent(kPanelDevicePath, false);
    EXPECT_EQ(getUsbTpEnable(driver, 2, &out), 1);
    EXPECT_EQ(out, -7);
    EXPECT_EQ(getUsbTpEnable(driver, 1, nullptr), 1);
    EXPECT_EQ(driver.openHandles(), 0);
}

TEST(SetEnable, ChoosesTheRequestByTypeAndSwitch) {
    FakeDriver driver;
    const int32_t on = 2, off = 0;
    EXPECT_EQ(setUsbTpEnable(driver, 1, &on), 0);
    EXPECT_EQ(setUsbTpEnable(driver, 1, &off), 0);
    EXPECT_EQ(setUsbTpEnable(driver, 2, &on), 0);
    EXPECT_EQ(setUsbTpEnable(driver, 2, &off), 0);
    EXPECT_EQ(driver.requests(), (std::vector<std::string>{"0x22204c", "0x222050", "0x222054", "0x222058"}));
}

TEST(SetEnable, FailuresAndBadArguments) {
    FakeDriver driver;
    const int32_t on = 1;
    EXPECT_EQ(setUsbTpEnable(driver, 3, &on), 2);
    EXPECT_EQ(setUsbTpEnable(driver, 0, nullptr), 2);
    EXPECT_EQ(setUsbTpEnable(driver, 1, nullptr), 1);
    EXPECT_TRUE(driver.log().empty());
    driver.fail(req::kEnable2);
    EXPECT_EQ(setUsbTpEnable(driver, 2, &on), 1);
    driver.setPresent(kPanelDevicePath, false);
    EXPECT_EQ(setUsbTpEnable(driver, 1, &on), 1);
    EXPECT_EQ(driver.openHandles(), 0);
}

}  // namespace
}  // namespace tp::api
