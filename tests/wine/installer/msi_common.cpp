#include "msi_common.h"

#include <msi.h>
#include <objbase.h>
#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>

namespace msiwine {

namespace {
constexpr char kUpgradeCode[] = "{BE83FCCB-24F9-48F6-9839-65BA8BFA5903}";
constexpr char kAgentClass[] = "TAPAGENT:MAIN";
constexpr char kAgentTitle[] = "TAPAGENT";

std::string narrow(const wchar_t* text) {
    char out[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out - 1, nullptr, nullptr);
    return out;
}

std::string folder(int csidl) {
    char path[MAX_PATH] = {};
    return SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) ? path : "";
}
}  // namespace

std::vector<std::string> packedFiles() {
    std::vector<std::string> files = {"Tapagent.exe", "taphook.dll", "Tapapi.dll", "Tapport.exe",
                                      "Tapstart.exe", "Taplink.exe", "Tapcfg.exe", "Taptest.exe"};
    char names[512] = {};
    GetEnvironmentVariableA("TP_CONSOLE_FILES", names, sizeof names - 1);
    std::string name;
    for (const char* c = names;; ++c) {
        if (*c && *c != ' ' && *c != ';') {
            name += *c;
            continue;
        }
        if (!name.empty()) files.push_back(name);
        name.clear();
        if (!*c) break;
    }
    return files;
}

Packages packages(int argc, char** argv) {
    Packages p;
    if (argc > 1) p.current = tpt::windowsPath(argv[1]);
    if (argc > 2) p.older = tpt::windowsPath(argv[2]);
    return p;
}

namespace {

const std::string kLog = "C:\\windows\\temp\\suite-msiexec.log";

std::string logText(const std::string& file) {
    std::string text;
    if (FILE* f = std::fopen(file.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        std::fclose(f);
    }
    std::string plain;  // the log may be UTF-16: keep the ASCII
    for (char c : text)
        if (c) plain += c;
    return plain;
}

// What the package's actions wrote about the agents.
void showAgentActions(const std::string& log) {
    for (size_t at = 0; (at = log.find("Agent: ", at)) != std::string::npos; ++at) {
        const size_t start = log.rfind('\n', at) + 1, end = log.find_first_of("\r\n", at);
        std::printf("   %s\n", log.substr(start, end - start).c_str());
    }
    std::fflush(stdout);
}

long runMsiexec(const std::string& arguments, unsigned timeoutMs) {
    const std::string& log = kLog;
    DeleteFileA(log.c_str());
    const double start = tpt::nowMs();
    const tpt::RunResult r = tpt::runProgram("msiexec " + arguments + " /l*v " + log, timeoutMs);
    const long code = r.finished ? static_cast<long>(r.exitCode) : -1;
    std::printf("msiexec %s: %s in %.1f s\n", arguments.c_str(),
                r.finished ? ("exit code " + std::to_string(code)).c_str() : "not finished",
                (tpt::nowMs() - start) / 1000);
    if (code != 0) {
        const std::string text = logText(log);
        std::printf("-- the end of its log:\n%s\n", text.substr(text.size() > 3000 ? text.size() - 3000 : 0).c_str());
    }
    showAgentActions(logText(log));
    return code;
}

}  // namespace

long msiexec(const std::string& arguments, unsigned timeoutMs) {
    long code = runMsiexec(arguments, timeoutMs);
    if (code == -1) {
        // Seen once under heavy load: Wine's msiexec stalled. It holds the
        // installer's mutex, so it must go before one more try; a fault of the
        // package stalls the second time as well.
        tpt::killPrograms({"msiexec.exe"}, 10000);
        code = runMsiexec(arguments, timeoutMs);
    }
    return code;
}

std::vector<Product> installedProducts() {
    std::vector<Product> products;
    char code[39];
    for (DWORD i = 0; MsiEnumRelatedProductsA(kUpgradeCode, 0, i, code) == ERROR_SUCCESS; ++i) {
        char version[64] = {};
        DWORD size = sizeof version;
        MsiGetProductInfoA(code, INSTALLPROPERTY_VERSIONSTRING, version, &size);
        products.push_back({code, version});
    }
    return products;
}

bool removeInstalled() {
    tpt::killPrograms({"msiexec.exe"}, 10000);  // a run a failed scenario left behind
    for (const Product& p : installedProducts())
        if (msiexec("/x " + p.code + " /qn") != 0) return false;
    return installedProducts().empty();
}

bool fileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> menuFolders() {
    return {folder(CSIDL_COMMON_PROGRAMS) + "\\QTX USB TouchPanel", folder(CSIDL_PROGRAMS) + "\\QTX USB TouchPanel"};
}

Link readLink(const std::string& path) {
    Link link;
    CoInitialize(nullptr);
    IShellLinkW* shell = nullptr;
    IPersistFile* file = nullptr;
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&shell))) &&
        SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(wide, STGM_READ))) {
        wchar_t text[MAX_PATH] = {};
        link.read = SUCCEEDED(shell->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH));
        link.target = narrow(text);
        text[0] = 0;
        shell->GetArguments(text, MAX_PATH);
        link.arguments = narrow(text);
        text[0] = 0;
        shell->GetWorkingDirectory(text, MAX_PATH);
        link.workingDirectory = narrow(text);
        text[0] = 0;
        shell->GetDescription(text, MAX_PATH);
        link.description = narrow(text);
        text[0] = 0;
        shell->GetIconLocation(text, MAX_PATH, &link.iconIndex);
        link.iconPath = narrow(text);
        shell->GetShowCmd(&link.showCmd);
    }
    if (file) file->Release();
    if (shell) shell->Release();
    CoUninitialize();
    return link;
}

std::vector<std::string> leftovers() {
    std::vector<std::string> left;
    for (const std::string& f : packedFiles())
        if (fileExists(tpt::installPath(f))) left.push_back(f);
    for (const char* f :
         {"C:\\Program Files\\QTX\\PNL\\USBPNL", "C:\\Program Files\\QTX\\PNL", "C:\\Program Files\\QTX"})
        if (folderExists(f)) left.push_back(f);
    // 64-bit Windows: the x64 package's 32-bit Tapapi.dll, or an x86 install an earlier release left there.
    for (const char* f : {"C:\\Program Files (x86)\\QTX\\PNL\\USBPNL", "C:\\Program Files (x86)\\QTX"})
        if (folderExists(f)) left.push_back(f);
    if (tpt::reg::valueType(HKEY_LOCAL_MACHINE, kRunKey32, "TAPSTART")) left.push_back("32-bit Run TAPSTART");
    if (tpt::reg::valueType(HKEY_LOCAL_MACHINE, kRunKey, "TAPSTART")) left.push_back("Run TAPSTART");
    if (tpt::reg::valueType(HKEY_LOCAL_MACHINE, kRunOnceKey, "TAPPORTCHK")) left.push_back("RunOnce TAPPORTCHK");
    for (const std::string& f : menuFolders()) {
        for (const char* link : {"\\TouchPanel Setting.lnk", "\\TouchPanel Test.lnk"})
            if (fileExists(f + link)) left.push_back(f + link);
        if (folderExists(f)) left.push_back(f);
    }
    if (!installedProducts().empty()) left.push_back("the product's registration");
    return left;
}

bool logon() { return tpt::runProgram("wineboot", 60000).finished; }

HWND agentWindow(DWORD* pid) {
    HWND window = FindWindowA(kAgentClass, kAgentTitle);
    if (pid) {
        *pid = 0;
        if (window) GetWindowThreadProcessId(window, pid);
    }
    return window;
}

namespace {
BOOL CALLBACK countAgent(HWND window, LPARAM count) {
    char cls[64] = {}, title[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, title, sizeof title);
    if (lstrcmpA(cls, kAgentClass) == 0 && lstrcmpA(title, kAgentTitle) == 0) ++*reinterpret_cast<int*>(count);
    return TRUE;
}
}  // namespace

int agentWindowCount() {
    int count = 0;
    EnumWindows(countAgent, reinterpret_cast<LPARAM>(&count));
    return count;
}

bool waitProcessGone(DWORD pid, unsigned timeoutMs) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return true;
    const bool gone = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return gone;
}

std::vector<DWORD> agentProcesses() {
    std::vector<DWORD> pids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return pids;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, "Tapagent.exe") == 0) pids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return pids;
}

std::string processImage(DWORD pid) {
    char path[MAX_PATH] = {};
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return "";
    GetModuleFileNameExA(process, nullptr, path, MAX_PATH);
    CloseHandle(process);
    return path;
}

DWORD waitNewAgent(DWORD oldPid, unsigned timeoutMs) {
    DWORD pid = 0;
    tpt::waitUntil([&] { return agentWindow(&pid) && pid != oldPid; }, timeoutMs, 20);
    return pid != oldPid ? pid : 0;
}

std::vector<UninstallEntry> uninstallEntries() {
    const std::string root = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    std::vector<UninstallEntry> entries;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return entries;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::string path = root + "\\" + name;
        if (tpt::reg::getString(HKEY_LOCAL_MACHINE, path, "DisplayName") !=
            std::optional<std::string>("USB TouchPanel"))
            continue;
        char icon[MAX_PATH] = {};
        DWORD iconSize = sizeof icon;
        MsiGetProductInfoA(name, INSTALLPROPERTY_PRODUCTICON, icon, &iconSize);
        entries.push_back({name, "USB TouchPanel",
                           tpt::reg::getString(HKEY_LOCAL_MACHINE, path, "DisplayVersion").value_or(""),
                           tpt::reg::getString(HKEY_LOCAL_MACHINE, path, "Publisher").value_or(""), icon,
                           tpt::reg::getDword(HKEY_LOCAL_MACHINE, path, "NoModify")});
    }
    RegCloseKey(key);
    return entries;
}

std::vector<std::string> pendingReplacements() {
    std::vector<std::string> files;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return files;
    std::vector<char> data(65536);
    DWORD size = static_cast<DWORD>(data.size() - 2), type = 0;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) == ERROR_SUCCESS)
        for (const char* item = data.data(); *item; item += lstrlenA(item) + 1)
            if (std::string(item).find("USBPNL") != std::string::npos) files.push_back(item);
    RegCloseKey(key);
    return files;
}

bool runOnOtherDesktop(const std::string& command, unsigned timeoutMs) {
    return tpt::runProgram("explorer /desktop=Other,640x480 " + command, timeoutMs).finished;
}

bool msiexecOnOtherDesktop(const std::string& arguments, unsigned timeoutMs) {
    DeleteFileA(kLog.c_str());
    const bool ended = runOnOtherDesktop("msiexec " + arguments + " /l*v " + kLog, timeoutMs);
    // explorer gives no exit code: the log tells how the install ended.
    const std::string text = logText(kLog);
    std::printf("msiexec %s on another desktop: %s\n", arguments.c_str(), ended ? "ended" : "not finished");
    showAgentActions(text);
    return ended && text.find("INSTALL. Return value 1.") != std::string::npos;
}

std::string join(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
    return out.empty() ? "(nothing)" : out;
}

}  // namespace msiwine
