#include "announcer.h"

namespace tp {

void Announcer::request(uint32_t action) {
    port_.lock();
    bool queued = false;
    for (int i = 0; i < count_; ++i) queued = queued || queued_[i] == action;
    if (!queued && count_ < kMaxQueued) queued_[count_++] = action;
    const bool start = !running_;
    if (start) {
        running_ = true;
        port_.setIdle(false);
    }
    port_.unlock();
    if (start && !port_.startThread(*this)) {
        // No thread: the change stays unannounced rather than holding the caller.
        port_.lock();
        running_ = false;
        count_ = 0;
        port_.setIdle(true);
        port_.unlock();
    }
}

void Announcer::run() {
    for (;;) {
        port_.lock();
        if (count_ == 0) {
            running_ = false;
            port_.setIdle(true);
            port_.unlock();
            return;
        }
        const uint32_t action = queued_[0];
        for (int i = 1; i < count_; ++i) queued_[i - 1] = queued_[i];
        --count_;
        port_.unlock();
        port_.broadcast(action);
    }
}

bool Announcer::finish(uint32_t timeoutMs) {
    port_.lock();
    const bool idle = !running_;
    port_.unlock();
    return idle || port_.waitIdle(timeoutMs);
}

}  // namespace tp
