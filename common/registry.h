// Registry helpers over RegistryPort: type-checked reads, plain writes and
// the bounded open-with-retry loops used where opens race the system at logon.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ports.h"

namespace tp {

struct RetryPolicy {
    int attempts;
    uint32_t sleepMs;  // after each failed attempt, the last one included
    // A key that answers ERROR_FILE_NOT_FOUND is not there, and waiting will
    // not bring it: give up at once. Other errors keep their retries.
    bool missingIsFinal = false;
};

// The agent's: it runs them on the thread that answers every broadcast of
// the session (and, on 64-bit Windows, runs the hook for the programs of the
// other bitness), where a missing driver key must not cost hundreds of
// milliseconds each time.
inline constexpr RetryPolicy kUserKeyRetry{20, 11, true};
inline constexpr RetryPolicy kSeedKeyRetry{20, 10, true};
inline constexpr RetryPolicy kLayoutKeyRetry{10, 20, true};
inline constexpr RetryPolicy kProbeKeyRetry{10, 20};
inline constexpr RetryPolicy kSingleAttempt{1, 0};

enum class OpenMode { Open, Create };

// Opens (or creates) a key, trying up to policy.attempts times. Returns 0
// when every attempt failed.
RegKey openKeyWithRetry(RegistryPort& reg, SleepPort& sleeper, RetryPolicy policy, OpenMode mode, RegRoot root,
                        const char* path, uint32_t access);

// A key that closes itself.
class ScopedKey {
public:
    ScopedKey(RegistryPort& reg, RegKey key) : reg_(reg), key_(key) {}
    ~ScopedKey() {
        if (key_) reg_.close(key_);
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    explicit operator bool() const { return key_ != 0; }
    RegKey get() const { return key_; }

private:
    RegistryPort& reg_;
    RegKey key_;
};

// Stores the value in *value only when it is a REG_DWORD of exactly 4 bytes;
// anything else leaves *value as it was.
bool readDword(RegistryPort& reg, RegKey key, const char* name, uint32_t* value);

// Both writes answer RegSetValueExA's code: kErrorSuccess or the Win32 error.
long writeDword(RegistryPort& reg, RegKey key, const char* name, uint32_t value);

// Reads a REG_SZ into buf (capacity bytes, terminator included) and always
// leaves buf terminated. A value that does not fit with its terminator, or is
// not a string, is a failed read and leaves buf empty.
bool readString(RegistryPort& reg, RegKey key, const char* name, char* buf, size_t capacity);

// Writes a REG_SZ with its terminator.
long writeString(RegistryPort& reg, RegKey key, const char* name, const char* text);

// Reads binary data of at most capacity bytes; returns the size read, or -1
// when the value is absent or larger than capacity.
long readBinary(RegistryPort& reg, RegKey key, const char* name, uint8_t* buf, uint32_t capacity);

}  // namespace tp
