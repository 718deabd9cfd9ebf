// An in-memory registry that behaves like RegQueryValueExA and friends and
// records every call, so a test can state the required sequence plainly.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ports.h"

namespace tp::test {

class FakeRegistry : public RegistryPort {
public:
    struct Value {
        std::string name;  // as first spelled
        uint32_t type = 0;
        std::vector<uint8_t> data;
    };

    // Setup and inspection; path is "HKCU\\..." or "HKLM\\...".
    void addKey(const std::string& path);
    bool hasKey(const std::string& path) const;
    void removeKey(const std::string& path);
    void setDword(const std::string& path, const std::string& name, uint32_t value);
    void setString(const std::string& path, const std::string& name, const std::string& text);
    void setRaw(const std::string& path, const std::string& name, uint32_t type, std::vector<uint8_t> data);
    std::optional<uint32_t> dword(const std::string& path, const std::string& name) const;
    std::optional<Value> value(const std::string& path, const std::string& name) const;
    size_t valueCount(const std::string& path) const;
    // The next n opens or creates of path fail.
    void failOpens(const std::string& path, int n);
    // Opens of path for writing fail (no administrator rights).
    void denyWrite(const std::string& path);
    // Writes of this one value fail with error (a quota, a policy, a full
    // hive); kErrorSuccess lifts the refusal.
    void refuseValue(const std::string& path, const std::string& name, long error);

    // Names written with set(), in order, for one key (or all keys).
    std::vector<std::string> writtenNames(const std::string& path = "") const;
    std::vector<std::string> log() const;
    void clearLog();
    int openHandles() const;

    long open(RegRoot root, const char* path, uint32_t access, RegKey* key) override;
    long create(RegRoot root, const char* path, uint32_t access, RegKey* key) override;
    long query(RegKey key, const char* name, uint32_t* type, uint8_t* data, uint32_t* size) override;
    long set(RegKey key, const char* name, uint32_t type, const uint8_t* data, uint32_t size) override;
    void close(RegKey key) override;

private:
    long openOrCreate(bool create, RegRoot root, const char* path, uint32_t access, RegKey* key);
    static std::string lower(std::string s);
    static std::string fullPath(RegRoot root, const char* path);

    mutable std::recursive_mutex mutex_;
    std::map<std::string, std::map<std::string, Value>> keys_;  // lowered path -> lowered name -> value
    std::map<std::string, int> failOpens_;
    std::set<std::string> denyWrite_;
    std::map<std::pair<std::string, std::string>, long> refused_;  // lowered path and name -> error
    std::map<RegKey, std::string> handles_;
    RegKey nextHandle_ = 0x100;
    std::vector<std::pair<std::string, std::string>> writes_;  // lowered path, name
    std::vector<std::string> log_;
};

}  // namespace tp::test
