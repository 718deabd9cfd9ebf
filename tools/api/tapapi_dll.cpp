// Tapapi.dll: the exported entry points, each a thin call into the logic.
// Names and ordinals come from Tapapi.def.
#include <windows.h>

#include "tapapi.h"
#include "win32_ports.h"

namespace {
tp::Win32Driver driver;  // stateless adapter
}

extern "C" {

int __cdecl GetSpinTop(void) { return tp::api::getSpinTop(driver); }

int __cdecl SetSpinTop(int value) { return tp::api::setSpinTop(driver, value); }

int WINAPI GetUSBTPEnable(int type, int* enabled) {
    return tp::api::getUsbTpEnable(driver, type, reinterpret_cast<int32_t*>(enabled));
}

int WINAPI SetUSBTPEnable(int type, int* enable) {
    return tp::api::setUsbTpEnable(driver, type, reinterpret_cast<const int32_t*>(enable));
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"
