#include "tapapi.h"

#include "driver_channel.h"

namespace tp::api {

namespace {
bool validType(int32_t type) { return type == 1 || type == 2; }
}  // namespace

int32_t getSpinTop(DriverPort& driver) {
    uint8_t answer[kDwordSize];
    put32(answer, static_cast<uint32_t>(kSpinTopFailed));
    Device device(driver, kPanelDevicePath);
    if (!device) return kSpinTopFailed;
    device.send(req::kGetSpinTop, nullptr, 0, answer, sizeof answer);  // an unanswered request leaves -1
    return static_cast<int32_t>(get32(answer));
}

int32_t setSpinTop(DriverPort& driver, int32_t value) {
    Device device(driver, kPanelDevicePath);
    if (!device) return kSpinTopFailed;
    return device.sendDword(req::kSetSpinTop, static_cast<uint32_t>(value)) ? kOk : kSpinTopFailed;
}

int32_t getUsbTpEnable(DriverPort& driver, int32_t type, int32_t* enabled) {
    if (!validType(type)) return kInvalidType;
    if (!enabled) return kDeviceFailed;
    uint8_t answer[kDwordSize];
    put32(answer, 1);
    Device device(driver, kPanelDevicePath);
    if (!device) return kDeviceFailed;
    const bool ok = device.send(type == 1 ? req::kGetDisabled1 : req::kGetDisabled2, nullptr, 0, answer, sizeof answer);
    device.close();
    if (!ok) return kDeviceFailed;
    *enabled = get32(answer) == 0 ? 1 : 0;  // the driver answers "disabled"
    return kOk;
}

int32_t setUsbTpEnable(DriverPort& driver, int32_t type, const int32_t* enable) {
    if (!validType(type)) return kInvalidType;
    if (!enable) return kDeviceFailed;
    Device device(driver, kPanelDevicePath);
    if (!device) return kDeviceFailed;
    const bool on = *enable != 0;
    const uint32_t code = type == 1 ? (on ? req::kEnable1 : req::kDisable1) : (on ? req::kEnable2 : req::kDisable2);
    return device.send(code) ? kOk : kDeviceFailed;
}

}  // namespace tp::api
