#include "fake_driver.h"

#include <cstdio>
#include <cstring>

namespace tp::test {

void FakeDriver::setPresent(const std::string& path, bool present) {
    std::lock_guard lock(mutex_);
    if (present)
        absent_.erase(path);
    else
        absent_.insert(path);
}

void FakeDriver::answer(uint32_t code, std::vector<uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    answers_[code] = std::move(bytes);
}

void FakeDriver::answerDword(uint32_t code, uint32_t v) {
    answer(code, {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                  static_cast<uint8_t>(v >> 24)});
}

void FakeDriver::fail(uint32_t code, bool failing) {
    std::lock_guard lock(mutex_);
    if (failing)
        failing_.insert(code);
    else
        failing_.erase(code);
}

void FakeDriver::onRequest(uint32_t code, std::function<void(const std::vector<uint8_t>&)> hook) {
    std::lock_guard lock(mutex_);
    hooks_[code] = std::move(hook);
}

std::string FakeDriver::hex(const uint8_t* bytes, size_t n) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s;
}

std::vector<std::string> FakeDriver::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

void FakeDriver::clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
    inputs_.clear();
}

std::vector<std::string> FakeDriver::requests() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& line : log_)
        if (line.rfind("ioctl ", 0) == 0) out.push_back(line.substr(6));
    return out;
}

std::vector<std::vector<uint8_t>> FakeDriver::inputsOf(uint32_t code) const {
    std::lock_guard lock(mutex_);
    std::vector<std::vector<uint8_t>> out;
    for (const auto& [c, in] : inputs_)
        if (c == code) out.push_back(in);
    return out;
}

int FakeDriver::countOf(uint32_t code) const { return static_cast<int>(inputsOf(code).size()); }

int FakeDriver::openHandles() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(handles_.size());
}

DeviceHandle FakeDriver::open(const char* path) {
    std::lock_guard lock(mutex_);
    if (absent_.count(path)) {
        log_.push_back(std::string("open ") + path + " failed");
        return 0;
    }
    log_.push_back(std::string("open ") + path);
    handles_[next_] = path;
    return next_++;
}

bool FakeDriver::control(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                         uint32_t outSize) {
    std::function<void(const std::vector<uint8_t>&)> hook;
    std::vector<uint8_t> input(static_cast<const uint8_t*>(in), static_cast<const uint8_t*>(in) + (in ? inSize : 0));
    bool ok;
    {
        std::lock_guard lock(mutex_);
        char line[64];
        std::snprintf(line, sizeof line, "ioctl 0x%06x", code);
        std::string entry = line;
        if (!input.empty()) entry += " in=" + hex(input.data(), input.size());
        log_.push_back(entry);
        inputs_.emplace_back(code, input);
        ok = handles_.count(device) && !failing_.count(code);
        if (ok && out) {
            auto a = answers_.find(code);
            if (a != answers_.end())
                std::memcpy(out, a->second.data(), a->second.size() < outSize ? a->second.size() : outSize);
        }
        if (auto h = hooks_.find(code); h != hooks_.end()) hook = h->second;
    }
    if (hook) hook(input);
    return ok;
}

void FakeDriver::close(DeviceHandle device) {
    std::lock_guard lock(mutex_);
    log_.push_back("close");
    handles_.erase(device);
}

}  // namespace tp::test
