#include <gtest/gtest.h>

#include <cstring>

#include "driver_channel.h"
#include "driver_protocol.h"
#include "fake_driver.h"

namespace tp {
namespace {

using test::FakeDriver;

std::vector<uint8_t> bytesOf(const uint8_t* p, size_t n) { return std::vector<uint8_t>(p, p + n); }

TEST(DriverBuffers, EventRegistrationCarriesHandleAfterTwoZeroWords) {
    uint8_t reg[kEventRegistrationSize];
    std::memset(reg, 0xCC, sizeof reg);
    encodeEventRegistration(reg, 0x000001F4);
    EXPECT_EQ(bytesOf(reg, sizeof reg), (std::vector<uint8_t>{0, 0, 0, 0, 0xF4, 0x01, 0, 0}));
    EXPECT_EQ(eventRegistrationHandle(reg), 0x1F4u);
}

TEST(DriverBuffers, PanelEventWordSplitsMonitorIndexAndCode) {
    EXPECT_EQ(decodePanelEvent(0x20000000).monitorIndex, 2u);
    EXPECT_EQ(decodePanelEvent(0x20000000).code, 0u);
    EXPECT_EQ(decodePanelEvent(0x80000002).monitorIndex, 8u);
    EXPECT_EQ(decodePanelEvent(0x80000002).code, 2u);
    EXPECT_EQ(decodePanelEvent(0x0FFFFFFF).code, 0x0FFFFFFFu);
    EXPECT_EQ(encodePanelEvent(8, kEventSecondaryRelease), 0x80000002u);
    EXPECT_EQ(monitorIndexWord(8), 0x80000000u);
}

TEST(DriverBuffers, PanelIdTableKeepsSignedPortsAndEmptySlots) {
    PanelIdTable t{};
    for (int i = 0; i < kPanelSlots; ++i) t.port[i] = kEmptySlot;
    t.port[0] = 7;
    t.port[8] = -2;
    uint8_t bytes[kPanelIdTableSize];
    encodePanelIdTable(bytes, t);
    EXPECT_EQ(bytesOf(bytes, 8), (std::vector<uint8_t>{7, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    const PanelIdTable back = decodePanelIdTable(bytes);
    EXPECT_EQ(back.port[0], 7);
    EXPECT_EQ(back.port[1], kEmptySlot);
    EXPECT_EQ(back.port[8], -2);
}

TEST(DriverBuffers, VendorRequestsAreUsbSetupPackets) {
    uint8_t bytes[kVendorRequestSize];
    encodeVendorRequest(bytes, {0x40, 0x10, 0x0004, 0, 0});
    EXPECT_EQ(bytesOf(bytes, 8), (std::vector<uint8_t>{0x40, 0x10, 0x04, 0, 0, 0, 0, 0}));
    encodeVendorRequest(bytes, {0xC0, 0xFF, 0, 0, 2});
    EXPECT_EQ(bytesOf(bytes, 8), (std::vector<uint8_t>{0xC0, 0xFF, 0, 0, 0, 0, 0x02, 0}));
    const VendorRequest r = decodeVendorRequest(bytes);
    EXPECT_EQ(r.requestType, 0xC0);
    EXPECT_EQ(r.length, 2);
}

TEST(DriverChannel, SendRequestOpensSendsAndCloses) {
    FakeDriver driver;
    uint8_t in[4] = {0xA4, 0x00, 0x08, 0x1A};
    EXPECT_EQ(sendRequest(driver, kPanelDevicePath, req::kSetOption, in, 4), SendResult::Done);
    EXPECT_EQ(driver.log(), (std::vector<std::string>{"open \\\\.\\TAPTPU", "ioctl 0x222034 in=A4 00 08 1A", "close"}));
}

TEST(DriverChannel, FailuresAreReportedAndTheDeviceStillClosed) {
    FakeDriver driver;
    driver.fail(req::kButtonSecondary);
    EXPECT_EQ(sendRequest(driver, kPanelDevicePath, req::kButtonSecondary), SendResult::Failed);
    EXPECT_EQ(driver.openHandles(), 0);

    driver.setPresent(kMultiDevicePath, false);
    EXPECT_EQ(sendRequest(driver, kMultiDevicePath, req::kIdentifyMultiEnd), SendResult::NoDevice);
    EXPECT_TRUE(driver.requests().size() == 1) << "nothing is sent without a device";
}

TEST(DriverChannel, ReadDwordLeavesValueAloneWhenTheRequestFails) {
    FakeDriver driver;
    driver.answerDword(req::kGetSpinTop, 0x12345678);
    Device device(driver, kPanelDevicePath);
    uint32_t v = 0;
    ASSERT_TRUE(device.readDword(req::kGetSpinTop, &v));
    EXPECT_EQ(v, 0x12345678u);
    driver.fail(req::kGetSpinTop);
    v = 99;
    EXPECT_FALSE(device.readDword(req::kGetSpinTop, &v));
    EXPECT_EQ(v, 99u);
}

}  // namespace
}  // namespace tp
