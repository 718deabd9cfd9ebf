#include <windows.h>

#include "win32_ports.h"

namespace tp {

DeviceHandle Win32Driver::open(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    return h == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<DeviceHandle>(h);
}

bool Win32Driver::control(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                          uint32_t outSize) {
    DWORD returned = 0;  // never examined
    return DeviceIoControl(reinterpret_cast<HANDLE>(device), code, const_cast<void*>(in), inSize, out, outSize,
                           &returned, nullptr) != FALSE;
}

void Win32Driver::close(DeviceHandle device) { CloseHandle(reinterpret_cast<HANDLE>(device)); }

}  // namespace tp
