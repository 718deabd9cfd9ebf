// The API library's behaviour, over the driver port.
#pragma once

#include <cstdint>

#include "ports.h"

namespace tp::api {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kDeviceFailed = 1;
inline constexpr int32_t kInvalidType = 2;
inline constexpr int32_t kSpinTopFailed = -1;

int32_t getSpinTop(DriverPort& driver);
int32_t setSpinTop(DriverPort& driver, int32_t value);
// *enabled receives 1 when the driver reports the switch enabled, else 0.
int32_t getUsbTpEnable(DriverPort& driver, int32_t type, int32_t* enabled);
int32_t setUsbTpEnable(DriverPort& driver, int32_t type, const int32_t* enable);

}  // namespace tp::api
