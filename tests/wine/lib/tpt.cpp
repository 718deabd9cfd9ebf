#include "tpt.h"

#include <cstdlib>

#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>

#include "agent_window.h"
#include "settings.h"

namespace tpt {

// ---- checks ---------------------------------------------------------------

namespace {
std::string g_group = "(no group)";
int g_checks = 0;
int g_failures = 0;
}  // namespace

void group(const std::string& name) {
    g_group = name;
    std::printf("-- %s\n", name.c_str());
    std::fflush(stdout);
}

bool check(bool condition, const char* expression, const char* file, int line, const std::string& detail) {
    ++g_checks;
    if (condition) return true;
    ++g_failures;
    const char* base = file;
    for (const char* p = file; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    std::printf("FAIL [%s] %s:%d: %s%s%s\n", g_group.c_str(), base, line, expression, detail.empty() ? "" : ": ",
                detail.c_str());
    std::fflush(stdout);
    return false;
}

int finish() {
    std::printf("%d checks, %d failed\n", g_checks, g_failures);
    std::fflush(stdout);
    return g_failures == 0 && g_checks > 0 ? 0 : 1;
}

std::string show(uint64_t v) {
    char s[48];
    std::snprintf(s, sizeof s, "%llu (0x%llX)", static_cast<unsigned long long>(v), static_cast<unsigned long long>(v));
    return s;
}

std::string show(int64_t v) {
    char s[48];
    std::snprintf(s, sizeof s, "%lld", static_cast<long long>(v));
    return s;
}

std::string show(const std::string& v) { return "\"" + v + "\""; }
std::string show(const std::optional<uint32_t>& v) { return v ? show(static_cast<uint64_t>(*v)) : "(missing)"; }
std::string show(const std::optional<std::string>& v) { return v ? show(*v) : "(missing)"; }

// ---- waiting --------------------------------------------------------------

double nowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

namespace {
// A named CALLBACK, not a lambda: on x86 EnumWindows calls it stdcall.
struct ProcessWindows {
    DWORD pid;
    std::vector<HWND> found;
};
BOOL CALLBACK collectVisible(HWND window, LPARAM context) {
    auto* s = reinterpret_cast<ProcessWindows*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == s->pid && IsWindowVisible(window)) s->found.push_back(window);
    return TRUE;
}
}  // namespace

std::vector<HWND> visibleWindowsOf(DWORD pid) {
    ProcessWindows s{pid, {}};
    EnumWindows(collectVisible, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::wstring classOf(HWND window) {
    wchar_t text[128] = {};
    GetClassNameW(window, text, 128);
    return text;
}

std::wstring titleOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

unsigned slowFactor() {
    char text[8] = {};
    GetEnvironmentVariableA("TP_WINE_SLOW", text, sizeof text);
    const int n = std::atoi(text);
    return n > 1 ? static_cast<unsigned>(n) : 1u;
}

bool waitUntil(const std::function<bool()>& condition, unsigned timeoutMs, unsigned pollMs) {
    static const unsigned slow = slowFactor();
    const double deadline = nowMs() + static_cast<double>(timeoutMs) * slow;
    for (;;) {
        if (condition()) return true;
        if (nowMs() >= deadline) return condition();
        Sleep(pollMs);
    }
}

// ---- registry ---------------------------------------------------------------

namespace reg {

namespace {
struct Key {
    HKEY h = nullptr;
    ~Key() {
        if (h) RegCloseKey(h);
    }
};

bool open(HKEY root, const std::string& path, REGSAM access, Key* key) {
    return RegOpenKeyExA(root, path.c_str(), 0, access, &key->h) == ERROR_SUCCESS;
}

bool create(HKEY root, const std::string& path, Key* key) {
    return RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key->h,
                           nullptr) == ERROR_SUCCESS;
}

bool set(HKEY root, const std::string& path, const std::string& name, DWORD type, const void* data, DWORD size) {
    Key key;
    return create(root, path, &key) &&
           RegSetValueExA(key.h, name.c_str(), 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}
}  // namespace

bool createKey(HKEY root, const std::string& path) {
    Key key;
    return create(root, path, &key);
}

bool keyExists(HKEY root, const std::string& path) {
    Key key;
    return open(root, path, KEY_READ, &key);
}

bool deleteTree(HKEY root, const std::string& path) {
    Key key;
    if (!open(root, path, KEY_ALL_ACCESS, &key)) return !keyExists(root, path);
    for (;;) {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key.h, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (!deleteTree(root, path + "\\" + name)) return false;
    }
    RegCloseKey(key.h);
    key.h = nullptr;
    return RegDeleteKeyA(root, path.c_str()) == ERROR_SUCCESS;
}

bool deleteValue(HKEY root, const std::string& path, const std::string& name) {
    Key key;
    if (!open(root, path, KEY_SET_VALUE, &key)) return true;
    const LONG r = RegDeleteValueA(key.h, name.c_str());
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

bool setDword(HKEY root, const std::string& path, const std::string& name, uint32_t value) {
    const DWORD v = value;
    return set(root, path, name, REG_DWORD, &v, sizeof v);
}

bool setString(HKEY root, const std::string& path, const std::string& name, const std::string& value) {
    return set(root, path, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

bool setBinary(HKEY root, const std::string& path, const std::string& name, const std::vector<uint8_t>& value) {
    return set(root, path, name, REG_BINARY, value.data(), static_cast<DWORD>(value.size()));
}

std::optional<uint32_t> getDword(HKEY root, const std::string& path, const std::string& name) {
    Key key;
    if (!open(root, path, KEY_READ, &key)) return std::nullopt;
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(key.h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

std::optional<std::string> getString(HKEY root, const std::string& path, const std::string& name) {
    Key key;
    if (!open(root, path, KEY_READ, &key)) return std::nullopt;
    char value[1024] = {};
    DWORD type = 0, size = sizeof value - 1;
    if (RegQueryValueExA(key.h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    return std::string(value);
}

std::optional<DWORD> valueType(HKEY root, const std::string& path, const std::string& name) {
    Key key;
    if (!open(root, path, KEY_READ, &key)) return std::nullopt;
    DWORD type = 0;
    if (RegQueryValueExA(key.h, name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) return std::nullopt;
    return type;
}

std::vector<std::string> valueNames(HKEY root, const std::string& path) {
    std::vector<std::string> names;
    Key key;
    if (!open(root, path, KEY_READ, &key)) return names;
    for (DWORD i = 0;; ++i) {
        char name[1024];
        DWORD size = sizeof name;
        if (RegEnumValueA(key.h, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    return names;
}

}  // namespace reg

// ---- programs ---------------------------------------------------------------

std::string installPath(const std::string& file) { return "C:\\Program Files\\QTX\\PNL\\USBPNL\\" + file; }

HANDLE startProgram(const std::string& commandLine) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

RunResult runProgram(const std::string& commandLine, unsigned timeoutMs) {
    RunResult r;
    HANDLE process = startProgram(commandLine);
    if (!process) return r;
    r.started = true;
    r.finished = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    if (r.finished) GetExitCodeProcess(process, &r.exitCode);
    CloseHandle(process);
    return r;
}

RunResult runCapture(const std::string& commandLine, unsigned timeoutMs, std::string* output) {
    RunResult r;
    output->clear();
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return r;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi{};
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    const BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return r;
    }
    r.started = true;
    CloseHandle(pi.hThread);
    // The pipe closes when the program ends; the deadline bounds a program that never does.
    const double deadline = nowMs() + timeoutMs;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;
        if (available) {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(readEnd, buffer, available < sizeof buffer ? available : sizeof buffer, &got, nullptr)) break;
            output->append(buffer, got);
        } else if (nowMs() >= deadline) {
            break;
        } else {
            Sleep(2);
        }
    }
    r.finished = WaitForSingleObject(pi.hProcess, nowMs() < deadline ? 5000 : 0) == WAIT_OBJECT_0;
    if (r.finished) GetExitCodeProcess(pi.hProcess, &r.exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(readEnd);
    return r;
}

std::string windowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

bool xdotool(const std::string& args, unsigned timeoutMs) {
    static int calls = 0;
    const std::string done =
        "/tmp/tpt_xdotool_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++calls);
    const std::string doneWin = windowsPath(done);
    if (HANDLE shell = startProgram("/bin/sh -c \"/usr/bin/xdotool " + args + "; touch " + done + "\""))
        CloseHandle(shell);
    const bool finished =
        waitUntil([&] { return GetFileAttributesA(doneWin.c_str()) != INVALID_FILE_ATTRIBUTES; }, timeoutMs, 20);
    DeleteFileA(doneWin.c_str());
    return finished;
}

bool screenshot(const std::string& pngPath, int x, int y, int width, int height, unsigned timeoutMs) {
    const std::string file = windowsPath(pngPath);
    DeleteFileA(file.c_str());
    const std::string crop =
        std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(x) + "+" + std::to_string(y);
    if (HANDLE import = startProgram("/usr/bin/import -window root -crop " + crop + " " + pngPath)) CloseHandle(import);
    // import writes the file in pieces: wait until its size holds still.
    long long last = -1;
    return waitUntil(
        [&] {
            WIN32_FILE_ATTRIBUTE_DATA a{};
            if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &a)) return false;
            const long long size = (static_cast<long long>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
            const bool still = size > 0 && size == last;
            last = size;
            return still;
        },
        timeoutMs, 200);
}

namespace {
template <typename F>
void forEachProcess(F f) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) f(entry);
    CloseHandle(snapshot);
}

bool sameName(const char* a, const std::string& b) { return lstrcmpiA(a, b.c_str()) == 0; }
}  // namespace

bool isRunning(const std::string& exeName) {
    bool found = false;
    forEachProcess([&](const PROCESSENTRY32& e) { found = found || sameName(e.szExeFile, exeName); });
    return found;
}

bool killPrograms(const std::vector<std::string>& exeNames, unsigned timeoutMs) {
    const DWORD self = GetCurrentProcessId();
    auto matching = [&](const PROCESSENTRY32& e) {
        if (e.th32ProcessID == self) return false;
        for (const std::string& name : exeNames)
            if (sameName(e.szExeFile, name)) return true;
        return false;
    };
    forEachProcess([&](const PROCESSENTRY32& e) {
        if (!matching(e)) return;
        if (HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, e.th32ProcessID)) {
            TerminateProcess(p, 1);
            WaitForSingleObject(p, timeoutMs);
            CloseHandle(p);
        }
    });
    return waitUntil(
        [&] {
            bool any = false;
            forEachProcess([&](const PROCESSENTRY32& e) { any = any || matching(e); });
            return !any;
        },
        timeoutMs);
}

// Explorer's tooltips live in its process, so the TOOLINFO and its text
// buffer are placed there.
std::vector<std::string> trayTips() {
    constexpr UINT kTrayAnswerMs = 1000;
    std::vector<std::string> tips;
    HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
    DWORD explorer = 0;
    if (!tray || !GetWindowThreadProcessId(tray, &explorer)) return tips;
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, explorer);
    if (!process) return tips;
    constexpr SIZE_T kTextChars = 128;
    auto* remote = static_cast<BYTE*>(
        VirtualAllocEx(process, nullptr, sizeof(TTTOOLINFOW) + kTextChars * sizeof(WCHAR), MEM_COMMIT, PAGE_READWRITE));
    for (HWND tip = FindWindowExA(nullptr, nullptr, TOOLTIPS_CLASSA, nullptr); remote && tip;
         tip = FindWindowExA(nullptr, tip, TOOLTIPS_CLASSA, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(tip, &owner);
        if (owner != explorer) continue;
        DWORD_PTR count = 0;
        if (!SendMessageTimeoutW(tip, TTM_GETTOOLCOUNT, 0, 0, SMTO_NORMAL, kTrayAnswerMs, &count)) continue;
        for (DWORD_PTR i = 0; i < count; ++i) {
            TTTOOLINFOW info{};
            info.cbSize = sizeof info;
            info.lpszText = reinterpret_cast<LPWSTR>(remote + sizeof info);
            const WCHAR empty = 0;
            WriteProcessMemory(process, remote, &info, sizeof info, nullptr);
            WriteProcessMemory(process, remote + sizeof info, &empty, sizeof empty, nullptr);
            DWORD_PTR found = 0;
            if (!SendMessageTimeoutW(tip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(remote), SMTO_NORMAL,
                                     kTrayAnswerMs, &found) ||
                !found)
                continue;
            WCHAR text[kTextChars] = {};
            ReadProcessMemory(process, remote, &info, sizeof info, nullptr);
            ReadProcessMemory(process, remote + sizeof info, text, (kTextChars - 1) * sizeof(WCHAR), nullptr);
            if (IsRectEmpty(&info.rect)) continue;  // a removed icon keeps its tool, hidden
            char narrow[kTextChars * 2] = {};
            WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
            tips.emplace_back(narrow);
        }
    }
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return tips;
}

// Wine keeps a global hook whose owner was terminated in the chain, so an
// agent is asked to end, as the logon launcher does, before anything is killed.
bool endAgent(unsigned timeoutMs) {
    HWND window = FindWindowA(tp::agentwin::kWindowClass, tp::agentwin::kWindowName);
    if (window) PostMessageA(window, WM_DESTROY, 0, 0);
    const bool ended = waitUntil(
        [] { return FindWindowA(tp::agentwin::kWindowClass, tp::agentwin::kWindowName) == nullptr; }, timeoutMs);
    return killPrograms({"Tapagent.exe"}, timeoutMs) && ended;
}

const std::vector<std::string> kSuitePrograms = {"Tapagent.exe", "Tapcon.exe",  "Tapstart.exe",
                                                 "Tapport.exe",  "Taplink.exe", "Tapcal.exe"};

bool resetSuite(std::string* why) {
    auto fail = [&](const char* what) {
        if (why) *why = what;
        return false;
    };
    endAgent(3000);
    if (!killPrograms(kSuitePrograms, 5000)) return fail("a suite program would not end");
    if (!reg::deleteTree(HKEY_CURRENT_USER, "Software\\Korvane Component")) return fail("cannot delete the user key");
    for (const char* path :
         {"SYSTEM\\CurrentControlSet\\Services\\TAPTPU", "SYSTEM\\CurrentControlSet\\Services\\QTXTPU"})
        if (!reg::deleteTree(HKEY_LOCAL_MACHINE, path)) return fail("cannot delete a driver key");
    if (!reg::deleteValue(HKEY_LOCAL_MACHINE, tp::key::kRunOnce, tp::val::kRunOnceProbe))
        return fail("cannot delete the RunOnce value");
    if (!reg::createKey(HKEY_LOCAL_MACHINE, tp::key::kPanelParams)) return fail("cannot create the parameters key");
    tpsim::Client sim;
    if (!sim.ok()) return fail("the simulated panel is not loaded");
    if (!sim.reset()) return fail("the simulator did not reset");
    return true;
}

// ---- simulator ------------------------------------------------------------

Sim::Sim() {
    check(ok(), "simulator control device opens", __FILE__, __LINE__,
          "error " + std::to_string(lastError()) + ": is the driver service running?");
}

void Sim::mark() {
    tpsim::State s;
    if (getState(&s)) mark_ = s[tpsim::st::kNextSeq];
}

std::vector<tpsim::LogRecord> Sim::log() {
    std::vector<tpsim::LogRecord> records;
    readLog(mark_, &records);
    return records;
}

std::vector<tpsim::LogRecord> Sim::records(uint32_t kind, uint32_t code) {
    std::vector<tpsim::LogRecord> out;
    for (const tpsim::LogRecord& r : log())
        if (r.kind == kind && (kind != tpsim::kLogRequest || code == 0 || r.code == code)) out.push_back(r);
    return out;
}

bool Sim::waitClosesBalanced(unsigned timeoutMs) {
    return waitUntil(
        [&] {
            // A close while no open is outstanding belongs to an open before the
            // mark (a polling thread caught mid-request). Closes are not
            // matched by process: Wine may deliver one in another's name.
            int open = 0;
            for (const tpsim::LogRecord& r : log()) {
                if (r.kind == tpsim::kLogOpen && static_cast<int32_t>(r.status) >= 0) ++open;
                if (r.kind == tpsim::kLogClose && open > 0) --open;
            }
            return open == 0;
        },
        timeoutMs);
}

tpsim::State Sim::state() {
    tpsim::State s;
    check(getState(&s), "simulator state read", __FILE__, __LINE__);
    return s;
}

Request request(const char* path, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize) {
    Request r;
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        r.error = GetLastError();
        return r;
    }
    r.opened = true;
    r.ok = DeviceIoControl(h, code, const_cast<void*>(in), inSize, out, outSize, &r.returned, nullptr) != FALSE;
    if (!r.ok) r.error = GetLastError();
    CloseHandle(h);
    return r;
}

Event::Event() : handle(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    // Event handles are small process-local values: 32 bits hold them.
    tp::encodeEventRegistration(bytes, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle)));
}

Event::~Event() {
    if (handle) CloseHandle(handle);
}

bool Event::signalled() const { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }
bool Event::waitSignalled(unsigned timeoutMs) const { return WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0; }
void Event::reset() const { ResetEvent(handle); }

SettingListener::SettingListener(unsigned answerDelayMs)
    : answerDelayMs_(answerDelayMs),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
    TPT_CHECK_MSG(thread_ && WaitForSingleObject(ready_, 5000) == WAIT_OBJECT_0, "a listening window");
}

SettingListener::~SettingListener() {
    SetEvent(stop_);
    if (thread_) WaitForSingleObject(thread_, 5000);
    for (HANDLE h : {thread_, stop_, ready_})
        if (h) CloseHandle(h);
}

LRESULT CALLBACK SettingListener::proc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SETTINGCHANGE && wp < 64) {
        auto* self = reinterpret_cast<SettingListener*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && self->answerDelayMs_) Sleep(self->answerDelayMs_);
        if (self) self->heard_ |= 1ull << wp;
    }
    return DefWindowProcW(window, msg, wp, lp);
}

DWORD WINAPI SettingListener::run(void* context) {
    auto* self = static_cast<SettingListener*>(context);
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TptSettingListener";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"listener", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    SetEvent(self->ready_);
    while (MsgWaitForMultipleObjects(1, &self->stop_, FALSE, 10000, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    DestroyWindow(window);
    return 0;
}

}  // namespace tpt
