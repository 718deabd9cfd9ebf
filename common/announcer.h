// The one announcer of a program: WM_SETTINGCHANGE for the system values the
// program changed, broadcast from a thread of its own so that the caller
// never waits on another program's window. Requests that arrive while it
// broadcasts are merged with those not yet sent; before the program exits it
// waits, bounded, for what is pending, so that no window after a slow one
// misses the change.
#pragma once

#include <stdint.h>

namespace tp {

class Announcer;

class AnnouncePort {
public:
    virtual void lock() = 0;
    virtual void unlock() = 0;
    // Starts a thread that calls announcer.run(); false when none could start.
    virtual bool startThread(Announcer& announcer) = 0;
    // SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, action, 0,
    // SMTO_ABORTIFHUNG, ...): returns once every window answered or gave up.
    virtual void broadcast(uint32_t action) = 0;
    // A manual-reset event that is set while nothing is pending.
    virtual void setIdle(bool idle) = 0;
    // Waits for that event for at most timeoutMs, answering the calling
    // thread's messages meanwhile; true when it was set.
    virtual bool waitIdle(uint32_t timeoutMs) = 0;

protected:
    ~AnnouncePort() = default;
};

class Announcer {
public:
    explicit Announcer(AnnouncePort& port) : port_(port) {}
    Announcer(const Announcer&) = delete;
    Announcer& operator=(const Announcer&) = delete;

    // Queues WM_SETTINGCHANGE with wParam action. One already queued and not
    // yet being sent is not queued twice; one being sent right now is sent
    // again, since its windows may have read the value before it moved.
    void request(uint32_t action);
    // The thread's body: sends until nothing is queued.
    void run();
    // Waits, answering messages, until everything requested so far is sent
    // or timeoutMs have passed; true when nothing is left.
    bool finish(uint32_t timeoutMs);

    static constexpr int kMaxQueued = 8;  // distinct actions; the programs use three

private:
    AnnouncePort& port_;
    uint32_t queued_[kMaxQueued] = {};
    int count_ = 0;
    bool running_ = false;
};

// How long a program waits for its announcements before it exits.
inline constexpr uint32_t kAnnounceFinishMs = 5000;

}  // namespace tp
