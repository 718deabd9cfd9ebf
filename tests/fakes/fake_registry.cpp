#include "fake_registry.h"

#include <algorithm>
#include <cstring>

namespace tp::test {

std::string FakeRegistry::lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string FakeRegistry::fullPath(RegRoot root, const char* path) {
    return std::string(root == RegRoot::CurrentUser ? "HKCU\\" : "HKLM\\") + path;
}

void FakeRegistry::addKey(const std::string& path) {
    std::lock_guard lock(mutex_);
    keys_[lower(path)];
}

bool FakeRegistry::hasKey(const std::string& path) const {
    std::lock_guard lock(mutex_);
    return keys_.count(lower(path)) != 0;
}

void FakeRegistry::removeKey(const std::string& path) {
    std::lock_guard lock(mutex_);
    keys_.erase(lower(path));
}

void FakeRegistry::setRaw(const std::string& path, const std::string& name, uint32_t type, std::vector<uint8_t> data) {
    std::lock_guard lock(mutex_);
    auto& v = keys_[lower(path)][lower(name)];
    if (v.name.empty()) v.name = name;
    v.type = type;
    v.data = std::move(data);
}

void FakeRegistry::setDword(const std::string& path, const std::string& name, uint32_t value) {
    setRaw(path, name, kRegDword,
           {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 24)});
}

void FakeRegistry::setString(const std::string& path, const std::string& name, const std::string& text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    setRaw(path, name, kRegSz, std::move(bytes));
}

std::optional<FakeRegistry::Value> FakeRegistry::value(const std::string& path, const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto k = keys_.find(lower(path));
    if (k == keys_.end()) return std::nullopt;
    auto v = k->second.find(lower(name));
    if (v == k->second.end()) return std::nullopt;
    return v->second;
}

std::optional<uint32_t> FakeRegistry::dword(const std::string& path, const std::string& name) const {
    auto v = value(path, name);
    if (!v || v->type != kRegDword || v->data.size() != 4) return std::nullopt;
    return static_cast<uint32_t>(v->data[0] | (v->data[1] << 8) | (v->data[2] << 16) |
                                 (static_cast<uint32_t>(v->data[3]) << 24));
}

size_t FakeRegistry::valueCount(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto k = keys_.find(lower(path));
    return k == keys_.end() ? 0 : k->second.size();
}

void FakeRegistry::failOpens(const std::string& path, int n) {
    std::lock_guard lock(mutex_);
    failOpens_[lower(path)] = n;
}

void FakeRegistry::denyWrite(const std::string& path) {
    std::lock_guard lock(mutex_);
    denyWrite_.insert(lower(path));
}

void FakeRegistry::refuseValue(const std::string& path, const std::string& name, long error) {
    std::lock_guard lock(mutex_);
    if (error == kErrorSuccess)
        refused_.erase({lower(path), lower(name)});
    else
        refused_[{lower(path), lower(name)}] = error;
}

std::vector<std::string> FakeRegistry::writtenNames(const std::string& path) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& [p, n] : writes_)
        if (path.empty() || p == lower(path)) names.push_back(n);
    return names;
}

std::vector<std::string> FakeRegistry::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

void FakeRegistry::clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
    writes_.clear();
}

int FakeRegistry::openHandles() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(handles_.size());
}

long FakeRegistry::openOrCreate(bool create, RegRoot root, const char* path, uint32_t access, RegKey* key) {
    std::lock_guard lock(mutex_);
    const std::string full = fullPath(root, path);
    const std::string id = lower(full);
    log_.push_back(std::string(create ? "create " : "open ") + full);
    *key = 0;
    if (auto f = failOpens_.find(id); f != failOpens_.end() && f->second > 0) {
        --f->second;
        return 5;  // ERROR_ACCESS_DENIED
    }
    if ((access & (kKeySetValue | kKeyCreateSubKey)) && denyWrite_.count(id)) return 5;
    if (!keys_.count(id)) {
        if (!create) return kErrorFileNotFound;
        keys_[id];
    }
    *key = nextHandle_++;
    handles_[*key] = id;
    return kErrorSuccess;
}

long FakeRegistry::open(RegRoot root, const char* path, uint32_t access, RegKey* key) {
    return openOrCreate(false, root, path, access, key);
}

long FakeRegistry::create(RegRoot root, const char* path, uint32_t access, RegKey* key) {
    return openOrCreate(true, root, path, access, key);
}

long FakeRegistry::query(RegKey key, const char* name, uint32_t* type, uint8_t* data, uint32_t* size) {
    std::lock_guard lock(mutex_);
    log_.push_back(std::string("query ") + name);
    auto h = handles_.find(key);
    if (h == handles_.end()) return 6;  // ERROR_INVALID_HANDLE
    auto& values = keys_[h->second];
    auto v = values.find(lower(name));
    if (v == values.end()) return kErrorFileNotFound;
    if (type) *type = v->second.type;
    const uint32_t needed = static_cast<uint32_t>(v->second.data.size());
    if (data && needed > *size) {
        *size = needed;
        return kErrorMoreData;
    }
    if (data && needed) std::memcpy(data, v->second.data.data(), needed);
    *size = needed;
    return kErrorSuccess;
}

long FakeRegistry::set(RegKey key, const char* name, uint32_t type, const uint8_t* data, uint32_t size) {
    std::lock_guard lock(mutex_);
    log_.push_back(std::string("set ") + name);
    auto h = handles_.find(key);
    if (h == handles_.end()) return 6;
    if (auto r = refused_.find({h->second, lower(name)}); r != refused_.end()) return r->second;
    auto& v = keys_[h->second][lower(name)];
    if (v.name.empty()) v.name = name;
    v.type = type;
    v.data.assign(data, data + size);
    writes_.emplace_back(h->second, name);
    return kErrorSuccess;
}

void FakeRegistry::close(RegKey key) {
    std::lock_guard lock(mutex_);
    log_.push_back("close");
    handles_.erase(key);
}

}  // namespace tp::test
