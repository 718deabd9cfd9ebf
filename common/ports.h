// The narrow interfaces through which the portable logic reaches the platform.
// They are shaped like the Win32 calls they stand for, so the adapters in
// common/win32 are a few lines each and the tests' fakes can record every call.
#pragma once

#include <cstdint>

namespace tp {

// Win32 result codes the logic looks at.
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorMoreData = 234;

// Registry value types.
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

// Access masks, with the values Windows gives them.
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeySetValue = 0x0002;
inline constexpr uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr uint32_t kKeyReadWrite = kKeyRead | kKeySetValue | kKeyCreateSubKey;

enum class RegRoot { CurrentUser, LocalMachine };

// An open key; 0 is no key.
using RegKey = uintptr_t;

class RegistryPort {
public:
    // RegOpenKeyExA: never creates.
    virtual long open(RegRoot root, const char* path, uint32_t access, RegKey* key) = 0;
    // RegCreateKeyExA with an empty class and REG_OPTION_NON_VOLATILE.
    virtual long create(RegRoot root, const char* path, uint32_t access, RegKey* key) = 0;
    // RegQueryValueExA: *size is the buffer size in, the value size out;
    // a value larger than the buffer gives kErrorMoreData and no data.
    virtual long query(RegKey key, const char* name, uint32_t* type, uint8_t* data, uint32_t* size) = 0;
    // RegSetValueExA.
    virtual long set(RegKey key, const char* name, uint32_t type, const uint8_t* data, uint32_t size) = 0;
    virtual void close(RegKey key) = 0;

protected:
    ~RegistryPort() = default;
};

class SleepPort {
public:
    virtual void sleep(uint32_t ms) = 0;

protected:
    ~SleepPort() = default;
};

// An open control device; 0 is none (the adapter maps INVALID_HANDLE_VALUE to it).
using DeviceHandle = uintptr_t;

class DriverPort {
public:
    // CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
    //             NULL, OPEN_EXISTING, 0, NULL).
    virtual DeviceHandle open(const char* path) = 0;
    // One synchronous DeviceIoControl; true when it succeeded.
    virtual bool control(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                         uint32_t outSize) = 0;
    virtual void close(DeviceHandle device) = 0;

protected:
    ~DriverPort() = default;
};

}  // namespace tp
