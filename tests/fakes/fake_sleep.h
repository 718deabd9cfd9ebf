#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "ports.h"

namespace tp::test {

// Records sleeps instead of sleeping.
class FakeSleep : public SleepPort {
public:
    void sleep(uint32_t ms) override {
        std::lock_guard lock(mutex_);
        calls_.push_back(ms);
        total_ += ms;
    }
    uint64_t total() const {
        std::lock_guard lock(mutex_);
        return total_;
    }
    std::vector<uint32_t> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<uint32_t> calls_;
    uint64_t total_ = 0;
};

}  // namespace tp::test
