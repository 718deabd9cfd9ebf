#include "thread_sim.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tp::test {

using agent::KernelHandle;

struct ThreadSim::FakeThread {
    KernelHandle handle = 0;
    agent::ThreadEntry entry = nullptr;
    void* parameter = nullptr;
    State state = State::Created;
    uint64_t wakeAt = 0;
    uint64_t readySeq = 0;
    KernelHandle waitingOn = 0;
    bool timed = false;     // waiting with a deadline (wakeAt)
    bool timedOut = false;  // the deadline, not the signal, ended the last timed wait
    bool prioritySet = false;
    int priority = 0;
    int closes = 0;
    std::thread thread;
};

namespace {
thread_local void* currentFake = nullptr;
constexpr int kStepLimit = 100000;
}  // namespace

ThreadSim::ThreadSim(Journal& journal, Mode mode) : journal_(journal), mode_(mode) {}

ThreadSim::~ThreadSim() { shutdown(); }

void ThreadSim::shutdown() {
    {
        std::lock_guard l(m_);
        aborting_ = true;
    }
    cv_.notify_all();
    for (auto& t : threads_)
        if (t->thread.joinable()) t->thread.join();
}

ThreadSim::FakeThread* ThreadSim::self() const { return static_cast<FakeThread*>(currentFake); }

ThreadSim::FakeThread* ThreadSim::find(KernelHandle handle) const {
    for (auto& t : threads_)
        if (t->handle == handle) return t.get();
    return nullptr;
}

KernelHandle ThreadSim::createThread(agent::ThreadEntry entry, void* parameter) {
    std::lock_guard l(m_);
    if (failThreads_) {
        journal_.add("CreateThread failed");
        return 0;
    }
    // A worker whose handle is still open is still in its slot: another of
    // the same kind now would be a double.
    for (auto& t : threads_)
        if (t->entry == entry && t->state != State::Ended && t->closes == 0) ++overlaps_;
    auto t = std::make_unique<FakeThread>();
    t->handle = nextThread_;
    nextThread_ += 4;
    t->entry = entry;
    t->parameter = parameter;
    journal_.add("CreateThread -> " + hexOf(t->handle));
    threads_.push_back(std::move(t));
    return threads_.back()->handle;
}

void ThreadSim::setThreadPriority(KernelHandle thread, int priority) {
    std::lock_guard l(m_);
    journal_.add("SetThreadPriority " + hexOf(thread) + " " + std::to_string(priority));
    FakeThread* t = find(thread);
    if (!t || t->closes) {
        ++handleErrors_;
        return;
    }
    t->prioritySet = true;
    t->priority = priority;
}

void ThreadSim::resumeThread(KernelHandle thread) {
    std::lock_guard l(m_);
    journal_.add("ResumeThread " + hexOf(thread));
    FakeThread* t = find(thread);
    if (!t || t->closes || t->state != State::Created) {
        ++handleErrors_;
        return;
    }
    makeReady(t);
    t->thread = std::thread([this, t] { runThread(t); });
}

void ThreadSim::makeReady(FakeThread* t) {
    t->state = State::Ready;
    t->readySeq = ++readySeq_;
    t->waitingOn = 0;
}

void ThreadSim::runThread(FakeThread* t) {
    currentFake = t;
    {
        std::unique_lock l(m_);
        if (mode_ == Mode::Step) cv_.wait(l, [&] { return turn_ == t->handle || aborting_; });
        if (aborting_) {
            t->state = State::Ended;
            return;
        }
        t->state = State::Running;
    }
    try {
        t->entry(t->parameter);
    } catch (const Abort&) {}
    std::lock_guard l(m_);
    t->state = State::Ended;
    if (turn_ == t->handle) turn_ = 0;
    cv_.notify_all();
}

// Gives the turn back to the test and waits to get it again (step mode).
void ThreadSim::block(std::unique_lock<std::mutex>& l, FakeThread* t) {
    if (turn_ == t->handle) turn_ = 0;
    cv_.notify_all();
    cv_.wait(l, [&] { return turn_ == t->handle || aborting_; });
    if (aborting_) throw Abort{};
    t->state = State::Running;
}

KernelHandle ThreadSim::createEvent() {
    std::lock_guard l(m_);
    if (failEvents_) {
        journal_.add("CreateEvent failed");
        return 0;
    }
    const KernelHandle e = nextEvent_;
    nextEvent_ += 4;
    events_[e] = {};
    journal_.add("CreateEvent -> " + hexOf(e));
    return e;
}

void ThreadSim::setEvent(KernelHandle event) {
    std::lock_guard l(m_);
    journal_.add("SetEvent " + hexOf(event));
    auto e = events_.find(event);
    if (e == events_.end() || e->second.closed) {
        ++handleErrors_;
        return;
    }
    e->second.signaled = true;
    for (auto& t : threads_)
        if (t->state == State::Waiting && t->waitingOn == event) makeReady(t.get());
    cv_.notify_all();
}

void ThreadSim::resetEvent(KernelHandle event) {
    std::lock_guard l(m_);
    journal_.add("ResetEvent " + hexOf(event));
    auto e = events_.find(event);
    if (e == events_.end() || e->second.closed) {
        ++handleErrors_;
        return;
    }
    e->second.signaled = false;
}

void ThreadSim::waitForEvent(KernelHandle event) {
    std::unique_lock l(m_);
    journal_.add("WaitForSingleObject " + hexOf(event));
    auto e = events_.find(event);
    if (e == events_.end() || e->second.closed) {
        ++handleErrors_;
        return;
    }
    FakeThread* t = self();
    if (!t) {
        ADD_FAILURE() << "the test thread waited on an event";
        return;
    }
    if (e->second.signaled) return;
    if (mode_ == Mode::Free) {
        cv_.wait(l, [&] { return events_[event].signaled || aborting_; });
        if (aborting_) throw Abort{};
        return;
    }
    t->state = State::Waiting;
    t->waitingOn = event;
    block(l, t);
}

bool ThreadSim::waitForEventTimeout(KernelHandle event, uint32_t timeoutMs) {
    std::unique_lock l(m_);
    journal_.add("WaitForSingleObject " + hexOf(event) + " " + std::to_string(timeoutMs));
    auto e = events_.find(event);
    if (e == events_.end() || e->second.closed) {
        ++handleErrors_;
        return false;
    }
    FakeThread* t = self();
    if (!t) {
        ADD_FAILURE() << "the test thread waited on an event";
        return false;
    }
    if (e->second.signaled) return true;
    if (mode_ == Mode::Free) {
        const bool signaled = cv_.wait_for(l, std::chrono::microseconds(uint64_t{timeoutMs} * 20),
                                           [&] { return events_[event].signaled || aborting_; });
        if (aborting_) throw Abort{};
        return signaled;
    }
    t->state = State::Waiting;
    t->waitingOn = event;
    t->timed = true;
    t->timedOut = false;
    t->wakeAt = now_ + timeoutMs;
    block(l, t);
    t->timed = false;
    return !t->timedOut;
}

void ThreadSim::closeHandle(KernelHandle handle) {
    std::lock_guard l(m_);
    journal_.add("CloseHandle " + hexOf(handle));
    if (FakeThread* t = find(handle)) {
        if (t->closes++) ++handleErrors_;
        return;
    }
    auto e = events_.find(handle);
    if (e == events_.end() || e->second.closed) {
        ++handleErrors_;
        return;
    }
    e->second.closed = true;
}

void ThreadSim::sleep(uint32_t ms) {
    journal_.add("Sleep " + std::to_string(ms));
    elapse(ms);
}

void ThreadSim::elapse(uint32_t ms) {
    FakeThread* t = self();
    if (!t) return;  // the test's own thread does not sleep
    std::unique_lock l(m_);
    if (mode_ == Mode::Free) {
        cv_.wait_for(l, std::chrono::microseconds(ms * 20), [&] { return aborting_; });
        if (aborting_) throw Abort{};
        return;
    }
    t->state = State::Sleeping;
    t->wakeAt = now_ + ms;
    block(l, t);
}

void ThreadSim::lock(agent::Routine routine) {
    const int r = static_cast<int>(routine);
    if (FakeThread* t = self(); t && mode_ == Mode::Step) {
        std::unique_lock l(m_);
        if (pause_[r]) {
            t->state = State::Paused;
            block(l, t);
        }
    }
    locks_[r].lock();
}

void ThreadSim::unlock(agent::Routine routine) { locks_[static_cast<int>(routine)].unlock(); }

void ThreadSim::releaseInstanceMutex(KernelHandle mutex) { journal_.add("ReleaseMutex " + hexOf(mutex)); }

void ThreadSim::runUntilIdle() {
    std::unique_lock l(m_);
    for (int steps = 0;; ++steps) {
        if (steps == kStepLimit) {
            ADD_FAILURE() << "threads never went idle";
            return;
        }
        FakeThread* next = nullptr;
        for (auto& t : threads_)
            if (t->state == State::Ready && (!next || t->readySeq < next->readySeq)) next = t.get();
        if (!next) return;
        turn_ = next->handle;
        next->state = State::Running;
        cv_.notify_all();
        cv_.wait(l, [&] { return turn_ == 0; });
    }
}

void ThreadSim::advance(uint32_t ms) {
    const uint64_t target = now() + ms;
    for (;;) {
        runUntilIdle();
        std::lock_guard l(m_);
        auto timedWait = [](const FakeThread& t) { return t.state == State::Waiting && t.timed; };
        uint64_t earliest = UINT64_MAX;
        for (auto& t : threads_)
            if ((t->state == State::Sleeping || timedWait(*t)) && t->wakeAt < earliest) earliest = t->wakeAt;
        if (earliest > target) {
            now_ = target;
            return;
        }
        now_ = earliest;
        for (auto& t : threads_) {
            if (t->wakeAt != earliest) continue;
            if (timedWait(*t)) {
                t->timedOut = true;
                makeReady(t.get());
            } else if (t->state == State::Sleeping) {
                makeReady(t.get());
            }
        }
    }
}

uint64_t ThreadSim::now() const {
    std::lock_guard l(m_);
    return now_;
}

void ThreadSim::pauseBeforeLock(agent::Routine routine, bool pause) {
    std::lock_guard l(m_);
    pause_[static_cast<int>(routine)] = pause;
}

int ThreadSim::pausedThreads() const {
    std::lock_guard l(m_);
    int n = 0;
    for (auto& t : threads_) n += t->state == State::Paused;
    return n;
}

void ThreadSim::resumePaused() {
    std::lock_guard l(m_);
    for (auto& p : pause_) p = false;
    for (auto& t : threads_)
        if (t->state == State::Paused) makeReady(t.get());
}

std::vector<ThreadSim::ThreadInfo> ThreadSim::threads() const {
    std::lock_guard l(m_);
    std::vector<ThreadInfo> out;
    for (auto& t : threads_)
        out.push_back({t->handle, t->entry, t->state != State::Created, t->state == State::Ended, t->closes,
                       t->prioritySet, t->priority, t->state == State::Waiting ? t->waitingOn : 0,
                       t->state == State::Sleeping});
    return out;
}

ThreadSim::ThreadInfo ThreadSim::thread(KernelHandle handle) const {
    for (const ThreadInfo& t : threads())
        if (t.handle == handle) return t;
    ADD_FAILURE() << "no thread " << hexOf(handle);
    return {};
}

int ThreadSim::aliveThreads() const {
    int n = 0;
    for (const ThreadInfo& t : threads()) n += t.resumed && !t.ended;
    return n;
}

int ThreadSim::overlaps() const {
    std::lock_guard l(m_);
    return overlaps_;
}

int ThreadSim::openEvents() const {
    std::lock_guard l(m_);
    int n = 0;
    for (auto& [h, e] : events_) n += !e.closed;
    return n;
}

int ThreadSim::handleErrors() const {
    std::lock_guard l(m_);
    return handleErrors_;
}

bool ThreadSim::waitUntil(const std::function<bool()>& pred, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace tp::test
