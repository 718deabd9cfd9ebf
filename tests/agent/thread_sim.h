// Threads, events, sleep and locks for the worker-thread tests.
//
// Step mode: the fake threads are real threads, but only one runs at a time.
// The test's own thread drives: a fake thread runs only after being handed
// the turn, and gives it back at its next Sleep, wait on an unsignalled
// event, pause or end. Time is a fake clock that moves only in advance(), so
// every interleaving is the test's choice and every pause has a timestamp.
//
// Free mode: the fake threads run at once, as the real ones would, events
// really block and every Sleep lasts a fiftieth of its length.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "agent.h"
#include "agent_rig.h"
#include "worker_threads.h"

namespace tp::test {

class ThreadSim : public agent::ThreadPort, public SleepPort, public agent::LockPort {
public:
    enum class Mode { Step, Free };
    ThreadSim(Journal& journal, Mode mode);
    ~ThreadSim();
    // Unblocks every thread and joins it; what they were doing is cut short.
    void shutdown();
    ThreadSim(const ThreadSim&) = delete;
    ThreadSim& operator=(const ThreadSim&) = delete;

    // ThreadPort
    agent::KernelHandle createThread(agent::ThreadEntry entry, void* parameter) override;
    void setThreadPriority(agent::KernelHandle thread, int priority) override;
    void resumeThread(agent::KernelHandle thread) override;
    agent::KernelHandle createEvent() override;
    void setEvent(agent::KernelHandle event) override;
    void resetEvent(agent::KernelHandle event) override;
    void waitForEvent(agent::KernelHandle event) override;
    // Step mode: a timed wait ends at its signal or when advance() reaches its deadline.
    bool waitForEventTimeout(agent::KernelHandle event, uint32_t timeoutMs) override;
    void closeHandle(agent::KernelHandle handle) override;
    // SleepPort
    void sleep(uint32_t ms) override;
    // LockPort: real locks; in step mode a fake thread may be paused before it takes one.
    void lock(agent::Routine routine) override;
    void unlock(agent::Routine routine) override;
    void releaseInstanceMutex(agent::KernelHandle mutex) override;

    // Lets time pass for the calling fake thread without a journal line (a Beep).
    void elapse(uint32_t ms);

    // Step mode: run every runnable thread until all sleep, wait, pause or end.
    void runUntilIdle();
    // Step mode: move the clock forward, waking sleepers in time order.
    void advance(uint32_t ms);
    uint64_t now() const;

    // Fake threads about to take this lock stop there until resumePaused().
    void pauseBeforeLock(agent::Routine routine, bool pause = true);
    int pausedThreads() const;
    void resumePaused();

    // Events that fail to be created from now on.
    void failEventCreation(bool fail) { failEvents_ = fail; }
    void failThreadCreation(bool fail) { failThreads_ = fail; }

    struct ThreadInfo {
        agent::KernelHandle handle;
        agent::ThreadEntry entry;
        bool resumed;
        bool ended;
        int closes;  // CloseHandle calls on the thread's handle
        bool prioritySet;
        int priority;
        agent::KernelHandle waitingOn;  // 0 unless blocked on an event
        bool sleeping;
    };
    std::vector<ThreadInfo> threads() const;
    ThreadInfo thread(agent::KernelHandle handle) const;
    // Resumed threads that have not ended.
    int aliveThreads() const;
    // Threads of one entry alive at once with their handle still open: a
    // doubled worker.
    int overlaps() const;
    int openEvents() const;
    // A handle closed twice, or a closed or unknown handle used.
    int handleErrors() const;
    // Free mode: wait (really) until pred holds, at most timeoutMs.
    bool waitUntil(const std::function<bool()>& pred, int timeoutMs);

private:
    struct FakeThread;
    struct FakeEvent {
        bool signaled = false;
        bool closed = false;
    };
    enum class State { Created, Ready, Running, Sleeping, Waiting, Paused, Ended };
    struct Abort {};

    FakeThread* self() const;
    void block(std::unique_lock<std::mutex>& l, FakeThread* t);
    void makeReady(FakeThread* t);
    void runThread(FakeThread* t);
    FakeThread* find(agent::KernelHandle handle) const;

    Journal& journal_;
    const Mode mode_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::unique_ptr<FakeThread>> threads_;
    std::map<agent::KernelHandle, FakeEvent> events_;
    agent::KernelHandle turn_ = 0;  // the fake thread running in step mode; 0 = the test
    bool aborting_ = false;
    uint64_t now_ = 0;
    uint64_t readySeq_ = 0;
    bool pause_[static_cast<int>(agent::Routine::Count)] = {};
    std::recursive_mutex locks_[static_cast<int>(agent::Routine::Count)];
    bool failEvents_ = false;
    bool failThreads_ = false;
    agent::KernelHandle nextThread_ = 0x7100;
    agent::KernelHandle nextEvent_ = 0xE000;
    int overlaps_ = 0;
    int handleErrors_ = 0;
};

}  // namespace tp::test
