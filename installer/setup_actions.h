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

// A session id no session has: ProcessIdToSessionId failed, and the
// agent's session is not known.
inline constexpr uint32_t kUnknownSession = 0xFFFFFFFFu;

struct AgentProcess {
    uint32_t pid;
    uint32_t session;       // kUnknownSession when it could not be read
    uint32_t sessionError;  // ProcessIdToSessionId's error then, else 0
};

class AgentProcessPort {
public:
    // CreateToolhelp32Snapshot and Process32First/Next: the running
    // processes named Tapagent.exe, each with ProcessIdToSessionId's answer
    // (kUnknownSession and the error when it failed).
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
    // Closed, but in a session that could not be read: not started again.
    std::vector<AgentProcess> closedUnknown;
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
// (a management tool, Group Policy, a deferred action without impersonation)
// or an elevated administrator (UAC); and the session attached to the
// physical console (kUnknownSession when none).
struct Installer {
    uint32_t session;
    bool system;
    bool elevated;
    uint32_t consoleSession;
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
// The console session's agent comes last: each agent hands the driver its
// user's settings as it starts, and the last one wins.
std::vector<Restart> planRestarts(const std::vector<uint32_t>& sessions, const Installer& installer);

// When RestartAgent runs: right after the install (only where rollback is
// disabled and commit actions never run), at commit, or in a rollback.
enum class RestartPhase { Immediate, Commit, Rollback };

// What the deferred actions receive as CustomActionData:
// "commit|1;3|C:\Program Files\QTX\PNL\USBPNL\" (or "rollback|...").
struct RestartData {
    RestartPhase phase = RestartPhase::Immediate;
    std::vector<uint32_t> sessions;
    std::wstring folder;
};
// False when the text is not of that form.
bool decodeRestartData(const std::wstring& text, RestartData* data);

// How a start went: the step that failed and its Win32 error, or none.
struct StartOutcome {
    const char* failedStep = nullptr;  // "WTSQueryUserToken", "CreateEnvironmentBlock", ...
    uint32_t error = 0;
    bool started() const { return failedStep == nullptr; }
};

// Command lines, from the install folder as Windows Installer gives it (with
// its closing backslash) and the Windows folder.
std::wstring tapstartCommand(const std::wstring& installFolder);
std::wstring shellCommand(const std::wstring& windowsFolder, const std::wstring& installFolder);

// What the actions write to the installation log.
std::string describe(const CloseResult& result);
std::string describe(const Restart& restart, RestartPhase phase, const StartOutcome& outcome);

// Why the installation stops when Tapcfg refused SETTINGS= (its exit code).
std::wstring describeImportFailure(uint32_t exitCode);

}  // namespace tp::setup
