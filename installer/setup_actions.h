// The package's custom actions: close every agent before the files are
// replaced or removed, and start again, for its own user, each agent that
// was closed once the install is over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "launcher.h"
#include "ports.h"

namespace tp::setup {

struct AgentProcess {
    uint32_t pid;
    uint32_t session;
};

class AgentProcessPort {
public:
    // CreateToolhelp32Snapshot and Process32First/Next: the running
    // processes named Tapagent.exe, each with ProcessIdToSessionId's answer.
    virtual std::vector<AgentProcess> findAgents() = 0;
    // CreateEventA with the close signal's guarded access (an existing event
    // is opened), else OpenEventA(EVENT_MODIFY_STATE, FALSE, name); 0 when
    // neither gives a handle.
    virtual uintptr_t openEvent(const char* name) = 0;
    virtual bool setEvent(uintptr_t event) = 0;
    virtual bool resetEvent(uintptr_t event) = 0;
    virtual void closeHandle(uintptr_t handle) = 0;

protected:
    ~AgentProcessPort() = default;
};

// How long the agents get to end, looked at every kPollMs: 10 s in all, of
// which the first 3 s for the signal alone.
inline constexpr uint32_t kPollMs = 100;
inline constexpr int kPolls = 100;
inline constexpr int kSignalPolls = 30;

struct CloseResult {
    std::vector<uint32_t> closedSessions;  // ascending, each once
    std::vector<AgentProcess> stillRunning;
    bool signalled = false;
};

// Sets the machine-wide close signal, which reaches every agent of this
// build and later, in any session and on any desktop; when some agent is
// still there after a while (an earlier build), sends WM_DESTROY to the
// agent window on this desktop; waits for the agents to end and resets the
// signal so that later agents run.
CloseResult closeAgents(AgentProcessPort& processes, launcher::AgentWindowPort& windows, SleepPort& sleeper);

// The closed sessions as the property between the two actions holds them:
// "1;3". Reading skips anything that is not a session number.
std::string encodeSessions(const std::vector<uint32_t>& sessions);
std::vector<uint32_t> decodeSessions(const std::string& text);

// Who runs the install: its session, and whether it is the SYSTEM account
// (a management tool, Group Policy) or an elevated administrator (UAC).
struct Installer {
    uint32_t session;
    bool system;
    bool elevated;
};

enum class StartWay {
    Direct,         // the installing user is the agent's user, not elevated
    ThroughShell,   // elevated: the user's running shell starts it
    AsSessionUser,  // SYSTEM: with the token of the session's user
    NotPossible,    // another user's session without SYSTEM's rights
};

struct Restart {
    uint32_t session;
    StartWay way;
};
std::vector<Restart> planRestarts(const std::vector<uint32_t>& sessions, const Installer& installer);

// Command lines, from the install folder as Windows Installer gives it (with
// its closing backslash) and the Windows folder.
std::wstring tapstartCommand(const std::wstring& installFolder);
std::wstring shellCommand(const std::wstring& windowsFolder, const std::wstring& installFolder);

// What the actions write to the installation log.
std::string describe(const CloseResult& result);
std::string describe(const Restart& restart, bool started);

}  // namespace tp::setup
