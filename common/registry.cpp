#include "registry.h"

#include <cstring>

namespace tp {

RegKey openKeyWithRetry(RegistryPort& reg, SleepPort& sleeper, RetryPolicy policy, OpenMode mode, RegRoot root,
                        const char* path, uint32_t access) {
    for (int attempt = 0; attempt < policy.attempts; ++attempt) {
        RegKey key = 0;
        long rc = mode == OpenMode::Open ? reg.open(root, path, access, &key) : reg.create(root, path, access, &key);
        if (rc == kErrorSuccess && key) return key;
        if (rc == kErrorFileNotFound && policy.missingIsFinal) return 0;
        if (policy.sleepMs) sleeper.sleep(policy.sleepMs);
    }
    return 0;
}

bool readDword(RegistryPort& reg, RegKey key, const char* name, uint32_t* value) {
    uint8_t bytes[4];
    uint32_t type = 0;
    uint32_t size = sizeof bytes;
    if (reg.query(key, name, &type, bytes, &size) != kErrorSuccess) return false;
    if (type != kRegDword || size != sizeof bytes) return false;
    *value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
             (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return true;
}

long writeDword(RegistryPort& reg, RegKey key, const char* name, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return reg.set(key, name, kRegDword, bytes, sizeof bytes);
}

bool readString(RegistryPort& reg, RegKey key, const char* name, char* buf, size_t capacity) {
    if (capacity == 0) return false;
    uint32_t type = 0;
    uint32_t size = static_cast<uint32_t>(capacity);
    long rc = reg.query(key, name, &type, reinterpret_cast<uint8_t*>(buf), &size);
    if (rc != kErrorSuccess || type != kRegSz || size > capacity) {
        buf[0] = '\0';
        return false;
    }
    if (size > 0 && buf[size - 1] == '\0') return true;
    if (size == capacity) {  // full and unterminated: would need truncating
        buf[0] = '\0';
        return false;
    }
    buf[size] = '\0';
    return true;
}

long writeString(RegistryPort& reg, RegKey key, const char* name, const char* text) {
    return reg.set(key, name, kRegSz, reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(std::strlen(text) + 1));
}

long readBinary(RegistryPort& reg, RegKey key, const char* name, uint8_t* buf, uint32_t capacity) {
    uint32_t type = 0;
    uint32_t size = capacity;
    if (reg.query(key, name, &type, buf, &size) != kErrorSuccess || size > capacity) return -1;
    return static_cast<long>(size);
}

}  // namespace tp
