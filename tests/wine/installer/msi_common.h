// What the package scenarios share: msiexec, the products of the suite's
// upgrade code, the Start-menu shortcut read back through the shell, and
// an inventory of everything the package puts on the machine.
#pragma once

#include <string>
#include <vector>

#include "tpt.h"

namespace msiwine {

inline const std::string kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline const std::string kRunOnceKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// The Run key as 32-bit programs (and packages) on 64-bit Windows write it.
inline const std::string kRunKey32 = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
// The install folder as 32-bit programs on 64-bit Windows see it.
inline const std::string kInstallFolder32 = "C:\\Program Files (x86)\\QTX\\PNL\\USBPNL\\";
inline const std::string kUserKey = "Software\\Korvane Component\\USB";
// The files the package installs: the suite's programs and, named in the
// environment variable TP_CONSOLE_FILES, the console's when it carries them.
std::vector<std::string> packedFiles();

// The packages from the command line (Linux paths), as Windows paths.
struct Packages {
    std::string current, older;
};
Packages packages(int argc, char** argv);

// msiexec ARGS /l*v LOG with a deadline, tried once more after a stall; its
// exit code, or -1 when it did not finish. The log's end is shown on failure.
long msiexec(const std::string& arguments, unsigned timeoutMs = 60000);

// Product codes and versions installed under the suite's upgrade code.
struct Product {
    std::string code, version;
};
std::vector<Product> installedProducts();
// Removes whatever an earlier scenario left installed.
bool removeInstalled();

bool fileExists(const std::string& path);
bool folderExists(const std::string& path);

// The shortcut folder in the all-users or the user's Start menu (Wine's msi
// uses the user's even for per-machine packages); every place it can be.
std::vector<std::string> menuFolders();

struct Link {
    bool read = false;
    std::string target, arguments, workingDirectory, description, iconPath;
    int iconIndex = -1, showCmd = -1;
};
Link readLink(const std::string& path);

// Names of what the package made that is still there: files, folders,
// values, shortcuts, the product's registration.
std::vector<std::string> leftovers();

// Simulates a logon: wineboot starts what HKLM Run lists.
bool logon();

// The agent's window and its process id (0 when none).
HWND agentWindow(DWORD* pid = nullptr);
int agentWindowCount();
// Waits until process pid has ended.
bool waitProcessGone(DWORD pid, unsigned timeoutMs);
// The running Tapagent.exe processes, on any desktop.
std::vector<DWORD> agentProcesses();
// The program file a process runs ("" when it cannot be read).
std::string processImage(DWORD pid);
// Waits for the agent's window on this desktop in a process other than
// oldPid (a fresh agent); its pid, 0 when none came.
DWORD waitNewAgent(DWORD oldPid, unsigned timeoutMs);

// The suite's entries under the Uninstall key, as Add/Remove Programs lists
// them; the icon is the product's (MsiGetProductInfo).
struct UninstallEntry {
    std::string key, name, version, publisher, icon;
    std::optional<uint32_t> noModify;
};
std::vector<UninstallEntry> uninstallEntries();

// Files Windows is to replace or delete at the next start (the session
// manager's PendingFileRenameOperations) that lie in the suite's folder.
std::vector<std::string> pendingReplacements();

// A command run by Wine's explorer on a virtual desktop of its own, where
// FindWindowA does not see this desktop's windows; true when it ended in time.
bool runOnOtherDesktop(const std::string& command, unsigned timeoutMs);
// msiexec ARGS /l*v LOG on that desktop; true when its log says it succeeded.
bool msiexecOnOtherDesktop(const std::string& arguments, unsigned timeoutMs = 60000);

std::string join(const std::vector<std::string>& items);

}  // namespace msiwine
