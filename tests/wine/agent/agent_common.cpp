#include "agent_common.h"

namespace agentwine {

HWND agentWindow() { return FindWindowA(kClass, kTitle); }

HWND startAgent(const std::string& arguments, HANDLE* process, unsigned timeoutMs) {
    std::string command = "\"" + tpt::installPath("Tapagent.exe") + "\"";
    if (!arguments.empty()) command += " " + arguments;
    *process = tpt::startProgram(command);
    if (!*process) return nullptr;
    HWND window = nullptr;
    tpt::waitUntil([&] { return (window = agentWindow()) != nullptr; }, timeoutMs, 20);
    return window;
}

bool waitExit(HANDLE process, unsigned timeoutMs, DWORD* code) {
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) return false;
    GetExitCodeProcess(process, code);
    return true;
}

std::vector<tpsim::LogRecord> requests(tpt::Sim& sim, uint32_t code) { return sim.records(tpsim::kLogRequest, code); }

uint32_t dwordInput(const tpsim::LogRecord& r) { return r.inStored >= 4 ? tp::get32(r.in) : 0xFFFFFFFFu; }

bool waitRequests(tpt::Sim& sim, uint32_t code, size_t n, unsigned timeoutMs) {
    return tpt::waitUntil([&] { return requests(sim, code).size() >= n; }, timeoutMs, 20);
}

namespace {
struct Search {
    const char* className;
    const char* title;
    DWORD pid;
    HWND found;
};

BOOL CALLBACK visit(HWND window, LPARAM context) {
    auto* s = reinterpret_cast<Search*>(context);
    char cls[64] = {}, text[128] = {};
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, text, sizeof text);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (lstrcmpA(cls, s->className) == 0 && lstrcmpA(text, s->title) == 0 && (!s->pid || pid == s->pid)) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND findOwnedWindow(const char* className, const char* title, DWORD pid) {
    Search s{className, title, pid, nullptr};
    EnumWindows(visit, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

}  // namespace agentwine
