// Tapsetup.dll's ImportSettings: the package's optional SETTINGS=FILE, a
// settings file imported as the machine's defaults for new users. Tapcfg
// does the work and its messages go to the installer's log; a file Tapcfg
// refuses fails the installation.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>

#include "setup_actions.h"
#include "text.h"

namespace {

// How long the import may take: it reads one small file and writes a key.
// A Tapcfg still running then (a file share that never answers) is ended,
// so that it cannot hold the installation.
constexpr DWORD kImportTimeoutMs = 60000;
constexpr DWORD kPollMs = 50;

void logLine(MSIHANDLE install, const std::wstring& text) {
    MSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringW(record, 0, L"Tapcfg: [1]");
    MsiRecordSetStringW(record, 1, text.c_str());
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
    MsiCloseHandle(record);
}

std::wstring customActionData(MSIHANDLE install) {
    wchar_t none[1] = L"";
    DWORD size = 0;
    if (MsiGetPropertyW(install, L"CustomActionData", none, &size) != ERROR_MORE_DATA) return L"";
    std::wstring data(++size, L'\0');
    if (MsiGetPropertyW(install, L"CustomActionData", data.data(), &size) != ERROR_SUCCESS) return L"";
    data.resize(size);
    return data;
}

// Each line Tapcfg wrote (in the ANSI code page: its output is a pipe).
void logOutput(MSIHANDLE install, const std::string& bytes) {
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = end + 1;
        if (line.empty()) continue;
        std::wstring wide(line.size(), L'\0');
        wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()),
                                                            wide.data(), static_cast<int>(wide.size()))));
        logLine(install, wide);
    }
}

// What Tapcfg has written so far, without waiting for more.
void drainPipe(HANDLE pipe, std::string& output) {
    char buffer[1024];
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available) {
        DWORD read = 0;
        const DWORD wanted = available < sizeof buffer ? available : sizeof buffer;
        if (!ReadFile(pipe, buffer, wanted, &read, nullptr) || !read) return;
        output.append(buffer, read);
    }
}

// Collects Tapcfg's output until it ends; false when it did not end in time.
bool waitForTapcfg(HANDLE process, HANDLE pipe, std::string& output) {
    const DWORD start = GetTickCount();
    for (;;) {
        drainPipe(pipe, output);
        if (WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) {
            drainPipe(pipe, output);
            return true;
        }
        if (GetTickCount() - start >= kImportTimeoutMs) return false;
    }
}

// Vista and later can hand a child exactly the handles named; XP cannot, and
// there the pipe's end is inherited with whatever else the installer's
// process made inheritable. Looked up at run time: XP lacks the calls.
constexpr DWORD kExtendedStartupInfoPresent = 0x00080000;
constexpr DWORD_PTR kAttributeHandleList = 0x00020002;
using InitializeAttributeList = BOOL(WINAPI*)(void*, DWORD, DWORD, SIZE_T*);
using UpdateAttribute = BOOL(WINAPI*)(void*, DWORD, DWORD_PTR, void*, SIZE_T, void*, SIZE_T*);
using DeleteAttributeList = void(WINAPI*)(void*);
struct StartupInfoEx {
    STARTUPINFOW StartupInfo;
    void* lpAttributeList;
};

class InheritOnly {
public:
    explicit InheritOnly(HANDLE* handle) {
        const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        if (!kernel) return;
        const auto initialize = reinterpret_cast<InitializeAttributeList>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "InitializeProcThreadAttributeList")));
        const auto update = reinterpret_cast<UpdateAttribute>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "UpdateProcThreadAttribute")));
        remove_ = reinterpret_cast<DeleteAttributeList>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "DeleteProcThreadAttributeList")));
        if (!initialize || !update || !remove_) return;
        SIZE_T size = 0;
        initialize(nullptr, 1, 0, &size);
        buffer_.resize(size);
        if (!size || !initialize(buffer_.data(), 1, 0, &size)) return;
        if (!update(buffer_.data(), 0, kAttributeHandleList, handle, sizeof *handle, nullptr, nullptr)) {
            remove_(buffer_.data());
            return;
        }
        list_ = buffer_.data();
    }
    ~InheritOnly() {
        if (list_) remove_(list_);
    }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;
    // The attribute list for STARTUPINFOEX; null where the system has none.
    void* list() const { return list_; }

private:
    std::string buffer_;
    void* list_ = nullptr;
    DeleteAttributeList remove_ = nullptr;
};

}  // namespace

// The command line comes as CustomActionData: "TAPCFG" import "FILE" /machine.
extern "C" UINT WINAPI ImportSettings(MSIHANDLE install) {
    std::wstring command = customActionData(install);
    if (command.empty()) {
        logLine(install, L"no command line for the import");
        return ERROR_INSTALL_FAILURE;
    }
    logLine(install, command);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) {
        logLine(install, L"no pipe for Tapcfg's messages (error " + tp::decimalText(GetLastError()) + L")");
        return ERROR_INSTALL_FAILURE;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    StartupInfoEx si{};
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    si.StartupInfo.hStdOutput = writeEnd;
    si.StartupInfo.hStdError = writeEnd;
    // Tapcfg gets the pipe's end and nothing else of the installer's.
    InheritOnly only(&writeEnd);
    si.lpAttributeList = only.list();
    si.StartupInfo.cb = only.list() ? sizeof si : sizeof si.StartupInfo;
    const DWORD flags = CREATE_NO_WINDOW | (only.list() ? kExtendedStartupInfoPresent : 0);
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                        &si.StartupInfo, &pi);
    const DWORD startError = GetLastError();
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        logLine(install, L"Tapcfg.exe could not be started (error " + tp::decimalText(startError) + L")");
        return ERROR_INSTALL_FAILURE;
    }
    CloseHandle(pi.hThread);
    std::string output;
    const bool ended = waitForTapcfg(pi.hProcess, readEnd, output);
    if (!ended) TerminateProcess(pi.hProcess, 1);
    CloseHandle(readEnd);
    DWORD code = 1;
    if (!ended || !GetExitCodeProcess(pi.hProcess, &code)) code = 1;
    CloseHandle(pi.hProcess);
    logOutput(install, output);
    if (!ended) logLine(install, L"Tapcfg.exe did not finish within 60 s and was ended");
    if (code != 0) {
        logLine(install, L"the settings file was not imported (exit code " + tp::decimalText(code) +
                             L"): the installation stops");
        logLine(install, tp::setup::describeImportFailure(code));
        return ERROR_INSTALL_FAILURE;
    }
    return ERROR_SUCCESS;
}
