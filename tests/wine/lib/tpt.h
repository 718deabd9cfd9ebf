// Helpers for scenario programs that run under Wine against the simulated
// panel: checks, waiting with a deadline, registry access, programs of the
// suite and the simulator. A scenario is a console program whose exit code
// is its result (see tests/wine/CMakeLists.txt for how to add one).
#pragma once

#include <windows.h>

#include <stdint.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "simclient.h"

namespace tpt {

// ---- checks ---------------------------------------------------------------

// Starts a named group of checks; failures name the group they belong to.
void group(const std::string& name);
bool check(bool condition, const char* expression, const char* file, int line, const std::string& detail = {});
// The scenario's exit code: 0 when every check passed. Prints a summary.
int finish();

std::string show(uint64_t v);
std::string show(int64_t v);
std::string show(const std::string& v);
std::string show(const std::optional<uint32_t>& v);
std::string show(const std::optional<std::string>& v);
template <typename T>
std::string show(const T& v) requires std::is_integral_v<T> {
    if constexpr (std::is_signed_v<T>)
        return show(static_cast<int64_t>(v));
    else
        return show(static_cast<uint64_t>(v));
}
inline std::string show(const char* v) { return show(std::string(v ? v : "(null)")); }

#define TPT_CHECK(cond) ::tpt::check((cond), #cond, __FILE__, __LINE__)
#define TPT_CHECK_MSG(cond, msg) ::tpt::check((cond), #cond, __FILE__, __LINE__, (msg))
#define TPT_CHECK_EQ(actual, expected)                                                \
    do {                                                                              \
        const auto& tpt_a_ = (actual);                                                \
        const auto& tpt_e_ = (expected);                                              \
        ::tpt::check(tpt_a_ == tpt_e_, #actual " == " #expected, __FILE__, __LINE__,  \
                     "got " + ::tpt::show(tpt_a_) + ", want " + ::tpt::show(tpt_e_)); \
    } while (0)

// ---- waiting --------------------------------------------------------------

// Polls the condition until it holds or the deadline passes; true if it held.
bool waitUntil(const std::function<bool()>& condition, unsigned timeoutMs, unsigned pollMs = 5);

// Milliseconds on a monotonic clock, for measuring.
double nowMs();

// The visible top-level windows of process pid, in Z order.
std::vector<HWND> visibleWindowsOf(DWORD pid);
// A window's class and text, for picking among them.
std::wstring classOf(HWND window);
std::wstring titleOf(HWND window);

// TP_WINE_SLOW=N (1 unless set): an emulated machine takes N times as long,
// so every deadline and time limit stretches so much.
unsigned slowFactor();

// ---- registry ---------------------------------------------------------------

namespace reg {
bool createKey(HKEY root, const std::string& path);
bool keyExists(HKEY root, const std::string& path);
bool deleteTree(HKEY root, const std::string& path);  // true also when it was missing
bool deleteValue(HKEY root, const std::string& path, const std::string& name);
bool setDword(HKEY root, const std::string& path, const std::string& name, uint32_t value);
bool setString(HKEY root, const std::string& path, const std::string& name, const std::string& value);
bool setBinary(HKEY root, const std::string& path, const std::string& name, const std::vector<uint8_t>& value);
std::optional<uint32_t> getDword(HKEY root, const std::string& path, const std::string& name);
std::optional<std::string> getString(HKEY root, const std::string& path, const std::string& name);
// REG_xxx type of the value, or nothing when it is missing.
std::optional<DWORD> valueType(HKEY root, const std::string& path, const std::string& name);
std::vector<std::string> valueNames(HKEY root, const std::string& path);
}  // namespace reg

// ---- programs of the suite ------------------------------------------------

// "C:\Program Files\QTX\PNL\USBPNL\" + file, where the harness installed them.
std::string installPath(const std::string& file);

struct RunResult {
    bool started = false;
    bool finished = false;  // within the deadline
    DWORD exitCode = 0;
};
// Starts a program and waits for it to end.
RunResult runProgram(const std::string& commandLine, unsigned timeoutMs);
// The same, with what the program writes to its standard output and error.
RunResult runCapture(const std::string& commandLine, unsigned timeoutMs, std::string* output);
// A Linux path as Wine's Z: drive sees it.
std::string windowsPath(const std::string& unixPath);
// Starts a program and leaves it running; the caller closes the handle.
HANDLE startProgram(const std::string& commandLine);
bool isRunning(const std::string& exeName);
// Ends every process with one of these image names; true when all are gone.
bool killPrograms(const std::vector<std::string>& exeNames, unsigned timeoutMs);
// Runs xdotool (a Linux program, so without a handle to wait on) with these
// arguments against the test display and waits until it is done; false when
// it did not finish within the deadline.
bool xdotool(const std::string& args, unsigned timeoutMs = 10000);
// Saves the root window's rectangle (x, y, width, height) as a PNG file at
// a Linux path; false when no file came within the deadline.
bool screenshot(const std::string& pngPath, int x, int y, int width, int height, unsigned timeoutMs = 10000);
// The texts of the tray icons' visible tooltips in Wine's explorer.
std::vector<std::string> trayTips();

// Posts WM_DESTROY to the agent's window and waits for it to go, then ends
// any Tapagent.exe left; false when the agent had to be killed.
bool endAgent(unsigned timeoutMs);

// The suite's programs, keys and values that a scenario may leave behind.
extern const std::vector<std::string> kSuitePrograms;
// Back to the start state: suite programs ended, suite registry keys removed
// (the TAPTPU parameters key kept, empty, as an installed driver leaves it),
// the simulator reset. Run by the harness before every scenario.
bool resetSuite(std::string* why);

// ---- simulator ------------------------------------------------------------

// The simulator seen from a scenario: the client plus log conveniences.
class Sim : public tpsim::Client {
public:
    // Requires the simulator: a failed open is a failed check.
    Sim();
    // Forget what was logged so far; log() returns what comes after.
    void mark();
    std::vector<tpsim::LogRecord> log();
    // Only the records of this kind (and code, for requests).
    std::vector<tpsim::LogRecord> records(uint32_t kind, uint32_t code = 0);
    // Waits until as many closes as opens were logged since the mark
    // (Wine delivers a close after CloseHandle has returned).
    bool waitClosesBalanced(unsigned timeoutMs = 2000);
    tpsim::State state();

private:
    uint32_t mark_ = 0;
};

// One open-request-close on a device path, as the suite's programs do it.
struct Request {
    bool opened = false;
    bool ok = false;
    DWORD error = 0;  // GetLastError after a failed open or request
    DWORD returned = 0;
};
Request request(const char* path, uint32_t code, const void* in = nullptr, uint32_t inSize = 0, void* out = nullptr,
                uint32_t outSize = 0);

// A manual-reset, initially clear event and its EventRegistration bytes.
struct Event {
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    bool signalled() const;  // without waiting
    bool waitSignalled(unsigned timeoutMs) const;
    void reset() const;
    const uint8_t* registration() const { return bytes; }

    HANDLE handle;
    uint8_t bytes[tp::kEventRegistrationSize];
};

// A top-level window on a thread of its own that answers every message and
// notes which settings a WM_SETTINGCHANGE broadcast announced (wParam < 64);
// with answerDelayMs, a slow program that takes that long over each one.
class SettingListener {
public:
    explicit SettingListener(unsigned answerDelayMs = 0);
    ~SettingListener();
    SettingListener(const SettingListener&) = delete;
    SettingListener& operator=(const SettingListener&) = delete;
    bool heard(UINT action) const { return action < 64 && (heard_ & (1ull << action)); }

private:
    static LRESULT CALLBACK proc(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    static DWORD WINAPI run(void* context);
    std::atomic<unsigned long long> heard_{0};
    unsigned answerDelayMs_;
    HANDLE stop_;
    HANDLE ready_;
    HANDLE thread_ = nullptr;
};

}  // namespace tpt
