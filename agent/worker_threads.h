// The agent's worker threads: their platform port, the start and stop
// protocol over the thread slots, and the bodies of the panel-event,
// settings-notify and session-watch threads.
#pragma once

#include <cstdint>

#include "agent.h"

#ifdef _WIN32
#define TP_THREAD_API __stdcall
#else
#define TP_THREAD_API
#endif

namespace tp::agent {

// Shaped like LPTHREAD_START_ROUTINE, so the adapter hands it on unchanged.
using ThreadEntry = unsigned long(TP_THREAD_API*)(void* parameter);

// Threads and the events the workers wait on.
class ThreadPort {
public:
    // CreateThread(NULL, 0, entry, parameter, CREATE_SUSPENDED, &id); 0 on failure.
    virtual KernelHandle createThread(ThreadEntry entry, void* parameter) = 0;
    virtual void setThreadPriority(KernelHandle thread, int priority) = 0;
    virtual void resumeThread(KernelHandle thread) = 0;
    // CreateEventA(NULL, TRUE, FALSE, NULL); 0 on failure.
    virtual KernelHandle createEvent() = 0;
    virtual void setEvent(KernelHandle event) = 0;
    virtual void resetEvent(KernelHandle event) = 0;
    // WaitForSingleObject(event, INFINITE).
    virtual void waitForEvent(KernelHandle event) = 0;
    // WaitForSingleObject(event, timeoutMs): true when the event was signalled,
    // false when the time ran out (or the wait failed).
    virtual bool waitForEventTimeout(KernelHandle event, uint32_t timeoutMs) = 0;
    // CloseHandle, for threads and events alike.
    virtual void closeHandle(KernelHandle handle) = 0;

protected:
    ~ThreadPort() = default;
};

// THREAD_PRIORITY_* for a TPriority value; false leaves the priority alone.
bool ThreadPriorityFor(uint32_t tPriority, int* priority);

// The session watch's rhythm. With session notifications it waits on its
// event, which WM_WTSSESSION_CHANGE sets, at most kSessionSafetyPollMs at a
// time; after each notification it polls every kSessionPollMs for
// kSessionSettleMs, in case the active console session is reported a little
// after the notification. Without them (the registration fails when it comes
// before the terminal services are up at boot) it polls every
// kSessionFallbackPollMs and tries the registration again each time.
inline constexpr uint32_t kSessionPollMs = 25;
inline constexpr uint32_t kSessionFallbackPollMs = 500;
inline constexpr uint32_t kSessionSafetyPollMs = 5000;
inline constexpr uint32_t kSessionSettleMs = 1000;

}  // namespace tp::agent
