// Stands in for the calibration program in the scenarios (never shipped):
// appends its command line, as Windows handed it over, to Tapcal.log beside
// itself and ends.
#include <windows.h>

#include <cstring>

int main() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = std::strrchr(path, '\\');
    if (n == 0 || n >= MAX_PATH || !slash || slash + sizeof "Tapcal.log" > path + MAX_PATH) return 1;
    std::strcpy(slash + 1, "Tapcal.log");
    HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 1;
    const char* line = GetCommandLineA();
    DWORD written = 0;
    WriteFile(log, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    WriteFile(log, "\r\n", 2, &written, nullptr);
    CloseHandle(log);
    return 0;
}
