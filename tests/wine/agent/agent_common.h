// What the agent scenarios share: starting Tapagent, finding its window and
// process, and reading what the simulated driver received.
#pragma once

#include <string>
#include <vector>

#include "tpt.h"

namespace agentwine {

inline constexpr char kClass[] = "TAPAGENT:MAIN";
inline constexpr char kTitle[] = "TAPAGENT";
inline const std::string kUserKey = "Software\\Korvane Component\\USB";

HWND agentWindow();
// Starts "Tapagent.exe" with the arguments and waits for its window; the
// process handle is returned in *process (0 when it never appeared).
HWND startAgent(const std::string& arguments, HANDLE* process, unsigned timeoutMs = 15000);
// Waits for the process to end; its exit code in *code.
bool waitExit(HANDLE process, unsigned timeoutMs, DWORD* code);

// The requests of one code since the simulator's mark.
std::vector<tpsim::LogRecord> requests(tpt::Sim& sim, uint32_t code);
uint32_t dwordInput(const tpsim::LogRecord& r);
// Waits until at least n requests of code were logged since the mark.
bool waitRequests(tpt::Sim& sim, uint32_t code, size_t n, unsigned timeoutMs);

// A top-level window of the given class and title belonging to pid (any pid when 0).
HWND findOwnedWindow(const char* className, const char* title, DWORD pid);

}  // namespace agentwine
