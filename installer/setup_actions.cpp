#include "setup_actions.h"

#include <algorithm>

#include "agent_close_signal.h"

namespace tp::setup {

namespace {

bool listed(const std::vector<AgentProcess>& agents, uint32_t pid) {
    return std::any_of(agents.begin(), agents.end(), [pid](const AgentProcess& a) { return a.pid == pid; });
}

std::vector<AgentProcess> stillThere(const std::vector<AgentProcess>& before, const std::vector<AgentProcess>& now) {
    std::vector<AgentProcess> left;
    for (const AgentProcess& a : before)
        if (listed(now, a.pid)) left.push_back(a);
    return left;
}

std::wstring withoutClosingSlash(const std::wstring& folder) {
    return !folder.empty() && folder.back() == L'\\' ? folder.substr(0, folder.size() - 1) : folder;
}

}  // namespace

CloseResult closeAgents(AgentProcessPort& processes, launcher::AgentWindowPort& windows, SleepPort& sleeper) {
    CloseResult result;
    const std::vector<AgentProcess> before = processes.findAgents();
    if (before.empty()) return result;

    int poll = 0;
    std::vector<AgentProcess> left = before;
    auto waitUntil = [&](int lastPoll) {
        while (!left.empty() && poll < lastPoll) {
            sleeper.sleep(kPollMs);
            ++poll;
            left = stillThere(before, processes.findAgents());
        }
    };
    const uintptr_t event = processes.openEvent(agentwin::kCloseEventName);
    result.signalled = event && processes.setEvent(event);
    if (result.signalled) waitUntil(kSignalPolls);
    // An earlier build does not watch the signal: its window, on this desktop only.
    if (!left.empty()) launcher::closeAgent(windows, sleeper);
    left = stillThere(before, processes.findAgents());
    waitUntil(kPolls);
    if (event) {
        processes.resetEvent(event);
        processes.closeHandle(event);
    }

    for (const AgentProcess& a : before) {
        if (listed(left, a.pid)) continue;
        if (a.session == kUnknownSession)
            result.closedUnknown.push_back(a);
        else
            result.closedSessions.push_back(a.session);
    }
    std::sort(result.closedSessions.begin(), result.closedSessions.end());
    result.closedSessions.erase(std::unique(result.closedSessions.begin(), result.closedSessions.end()),
                                result.closedSessions.end());
    result.stillRunning = left;
    return result;
}

std::string encodeSessions(const std::vector<uint32_t>& sessions) {
    std::string text;
    for (uint32_t s : sessions) text += (text.empty() ? "" : ";") + std::to_string(s);
    return text;
}

std::vector<uint32_t> decodeSessions(const std::string& text) {
    std::vector<uint32_t> sessions;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(start, end - start);
        // At most nine digits: a session id never comes near 2^32.
        const bool number = !item.empty() && item.size() <= 9 &&
                            std::all_of(item.begin(), item.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (number) {
            uint32_t session = 0;
            for (char c : item) session = session * 10 + static_cast<uint32_t>(c - '0');
            if (std::find(sessions.begin(), sessions.end(), session) == sessions.end()) sessions.push_back(session);
        }
        start = end + 1;
    }
    return sessions;
}

std::vector<Restart> planRestarts(const std::vector<uint32_t>& sessions, const Installer& installer) {
    std::vector<uint32_t> ordered;
    for (uint32_t session : sessions)
        if (session != installer.consoleSession) ordered.push_back(session);
    if (std::find(sessions.begin(), sessions.end(), installer.consoleSession) != sessions.end())
        ordered.push_back(installer.consoleSession);
    std::vector<Restart> plan;
    for (uint32_t session : ordered) {
        StartWay way = StartWay::NotPossible;
        if (installer.system)
            way = StartWay::AsSessionUser;
        else if (session == installer.session)
            way = installer.elevated ? StartWay::ThroughShell : StartWay::Direct;
        plan.push_back({session, way});
    }
    return plan;
}

bool decodeRestartData(const std::wstring& text, RestartData* data) {
    const size_t first = text.find(L'|');
    const size_t second = first == std::wstring::npos ? first : text.find(L'|', first + 1);
    if (second == std::wstring::npos) return false;
    const std::wstring phase = text.substr(0, first);
    if (phase == L"commit")
        data->phase = RestartPhase::Commit;
    else if (phase == L"rollback")
        data->phase = RestartPhase::Rollback;
    else
        return false;
    std::string sessions;
    for (wchar_t c : text.substr(first + 1, second - first - 1)) sessions += c < 0x80 ? static_cast<char>(c) : '?';
    data->sessions = decodeSessions(sessions);
    data->folder = text.substr(second + 1);
    return true;
}

std::wstring tapstartCommand(const std::wstring& installFolder) {
    if (installFolder.empty()) return L"";
    return L"\"" + withoutClosingSlash(installFolder) + L"\\Tapstart.exe\"";
}

std::wstring shellCommand(const std::wstring& windowsFolder, const std::wstring& installFolder) {
    const std::wstring tapstart = tapstartCommand(installFolder);
    if (windowsFolder.empty() || tapstart.empty()) return L"";
    return L"\"" + withoutClosingSlash(windowsFolder) + L"\\explorer.exe\" " + tapstart;
}

std::string describe(const CloseResult& result) {
    std::string text = "CloseAgent: ";
    if (result.closedSessions.empty() && result.closedUnknown.empty() && result.stillRunning.empty())
        return text + "no agent was running";
    text += result.signalled ? "close signal set" : "no close signal (agents of an earlier build)";
    if (!result.closedSessions.empty())
        text += "; closed the agents of sessions " + encodeSessions(result.closedSessions);
    for (const AgentProcess& a : result.closedUnknown)
        text += "; closed process " + std::to_string(a.pid) + ", whose session could not be read (error " +
                std::to_string(a.sessionError) + "): not started again";
    for (const AgentProcess& a : result.stillRunning)
        text += "; still running: process " + std::to_string(a.pid) +
                (a.session == kUnknownSession
                     ? " in a session that could not be read (error " + std::to_string(a.sessionError) + ")"
                     : " in session " + std::to_string(a.session));
    return text;
}

std::string describe(const Restart& restart, RestartPhase phase, const StartOutcome& outcome) {
    static const char* const ways[] = {"as the installing user", "through the user's shell",
                                       "with the session user's token", "not possible without SYSTEM's rights"};
    static const char* const phases[] = {"", " (commit)", " (rollback)"};
    std::string text = "RestartAgent: session " + std::to_string(restart.session) + phases[static_cast<int>(phase)] +
                       ", " + ways[static_cast<int>(restart.way)];
    if (restart.way == StartWay::NotPossible) return text;
    if (outcome.started()) return text + ": started";
    return text + ": could not start, " + outcome.failedStep + " failed (error " + std::to_string(outcome.error) + ")";
}

std::wstring describeImportFailure(uint32_t exitCode) {
    switch (exitCode) {
        case 2:
            return L"the settings file holds a wrong line (above): nothing was imported";
        case 3:
            return L"the import was refused access to HKLM: run the installation elevated or as SYSTEM";
        case 4:
            return L"the touch panel driver is not installed (its key HKLM\\SYSTEM\\CurrentControlSet\\Services\\"
                   L"TAPTPU\\Parameters is missing): install the driver before this package when SETTINGS= is given";
        default:
            return L"the settings file could not be read or stored (above)";
    }
}

}  // namespace tp::setup
