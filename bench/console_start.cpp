// Start time of Tapcon.exe against the bare two-page sheet under Wine: from
// CreateProcess until the program's sheet is a visible window, each program
// started RUNS times in turns after one start to warm up, then cancelled.
//   bench_console_start.exe RUNS TAPCON_PATH BARE_PATH
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tpt.h"

namespace {

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK visit(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[16] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (pid == s->pid && IsWindowVisible(window) && std::string(cls) == "#32770") s->found = window;
    return TRUE;
}

// Milliseconds until the sheet showed; negative when it did not within 30 s.
double startOnce(const std::string& path) {
    const double t0 = tpt::nowMs();
    HANDLE process = tpt::startProgram("\"" + path + "\"");
    if (!process) return -1;
    Search s{GetProcessId(process), nullptr};
    const bool shown = tpt::waitUntil(
        [&] {
            EnumWindows(visit, reinterpret_cast<LPARAM>(&s));
            return s.found != nullptr;
        },
        30000, 1);
    const double ms = tpt::nowMs() - t0;
    if (s.found) PostMessageA(s.found, WM_COMMAND, IDCANCEL, 0);
    if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) TerminateProcess(process, 1);
    CloseHandle(process);
    return shown ? ms : -1;
}

void report(const char* name, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("%-10s n=%zu median %.1f ms  min %.1f  max %.1f\n", name, v.size(), v[v.size() / 2], v.front(),
                v.back());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_console_start RUNS TAPCON_PATH BARE_PATH\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const std::string paths[2] = {argv[2], argv[3]};
    std::vector<double> times[2];
    for (const std::string& p : paths) startOnce(p);
    for (int i = 0; i < runs; ++i)
        for (int k = 0; k < 2; ++k) {
            const int which = (i + k) % 2;  // alternate which goes first
            const double ms = startOnce(paths[which]);
            if (ms < 0) {
                std::fprintf(stderr, "%s: no sheet within 30 s\n", paths[which].c_str());
                return 1;
            }
            times[which].push_back(ms);
        }
    report("Tapcon", times[0]);
    report("bare sheet", times[1]);
    std::sort(times[0].begin(), times[0].end());
    std::sort(times[1].begin(), times[1].end());
    std::printf("ratio of medians: %.2f\n", times[0][runs / 2] / times[1][runs / 2]);
    return 0;
}
