// This build's package under Wine (x86 in a 32-bit prefix, x64 in a 64-bit one), the user's way: a silent install, a logon that
// starts the agent through Tapstart, Tapstart again replacing the agent, a
// repair over the running agent (the agent back at commit), a maintenance run
// that closes nobody, a repair with rollback disabled and one run from
// another desktop, each bringing the agent back, Add/Remove Programs' entry,
// and a silent removal while the agent runs that leaves nothing behind; then
// SETTINGS= with a good, a bad file and without the driver, and a failed
// upgrade that runs the rollback's restart.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "driver_protocol.h"
#include "msi_common.h"
#include "settings.h"

namespace {

using namespace msiwine;
const HKEY kHklm = HKEY_LOCAL_MACHINE;

std::string quoted(const std::string& file) { return "\"" + tpt::installPath(file) + "\""; }

const std::string kLog = "C:\\windows\\temp\\suite-msiexec.log";

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// The log as text, whether Wine wrote it in UTF-16 or in bytes.
std::string readLog() {
    std::ifstream in(kLog, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string text;
    for (char c : s.str())
        if (c) text += c;
    return text;
}

// How many lines of the last run's log hold text.
int countInLog(const std::string& text) {
    const std::string log = readLog();
    int n = 0;
    for (size_t at = 0; (at = log.find(text, at)) != std::string::npos; at += text.size()) ++n;
    return n;
}

// The x86 package, built by the other preset (scripts/test.sh builds both).
void x86PackageRefuses(const std::string& x86Package) {
    tpt::group("the x86 package refuses 64-bit Windows and installs nothing");
    if (!fileExists(x86Package)) {
        std::printf("   %s is not built: not tried\n", x86Package.c_str());
        return;
    }
    // Its launch condition comes before its 32-bit custom action, which could not run here.
    const std::string before = join(leftovers());  // the harness's empty program folder
    TPT_CHECK_EQ(msiexec("/i \"" + x86Package + "\" /qn"), 1603L);
    TPT_CHECK(installedProducts().empty());
    TPT_CHECK_EQ(join(leftovers()), before);
    TPT_CHECK(!folderExists("C:\\Program Files (x86)\\QTX"));
}

bool install(const Packages& p) {
    tpt::group("the package installs silently: programs, Run and RunOnce values");
    if (!TPT_CHECK(removeInstalled())) return false;
    const long code = msiexec("/i \"" + p.current + "\" /qn");
    if (!TPT_CHECK_MSG(code == 0, "msiexec /i ended with " + std::to_string(code))) return false;
    for (const std::string& f : packedFiles()) TPT_CHECK_MSG(fileExists(tpt::installPath(f)), f + " installed");
    TPT_CHECK_EQ(tpt::reg::getString(kHklm, kRunKey, "TAPSTART"), std::optional<std::string>(quoted("Tapstart.exe")));
    TPT_CHECK_EQ(tpt::reg::getString(kHklm, kRunOnceKey, "TAPPORTCHK"),
                 std::optional<std::string>(quoted("Tapport.exe")));
#ifdef _WIN64
    // Only 64-bit Windows has 32-bit programs beside the suite's to serve.
    TPT_CHECK_MSG(fileExists(kInstallFolder32 + "Tapapi.dll"), "the 32-bit Tapapi.dll for 32-bit programs");
#endif
    TPT_CHECK_EQ(installedProducts().size(), 1u);
    TPT_CHECK(!agentWindow());  // nothing that needs the driver is started
    return true;
}

void shortcut() {
    tpt::group("two Start-menu shortcuts, the console and the touch test, no arguments, their programs' icons");
    int found = 0;
    for (const std::string& folder : menuFolders()) {
        if (!folderExists(folder)) continue;
        ++found;
        for (auto [name, program] :
             {std::pair{"TouchPanel Setting.lnk", "Tapcon.exe"}, std::pair{"TouchPanel Test.lnk", "Taptest.exe"}}) {
            const Link link = readLink(folder + "\\" + name);
            TPT_CHECK_MSG(link.read, name);
            TPT_CHECK_EQ(link.target, tpt::installPath(program));
            TPT_CHECK_EQ(link.arguments, std::string());
            // No icon of its own: the shell shows the target's first icon.
            TPT_CHECK_MSG(link.iconPath.empty() || (link.iconPath == link.target && link.iconIndex == 0),
                          "icon " + link.iconPath + "," + std::to_string(link.iconIndex));
        }
    }
    TPT_CHECK_EQ(found, 1);
}

DWORD logonStartsTheAgent(tpt::Sim& sim) {
    tpt::group("a logon starts the agent through Tapstart, with runonce");
    sim.mark();
    TPT_CHECK(logon());
    DWORD pid = 0;
    TPT_CHECK(tpt::waitUntil([&] { return agentWindow(&pid) != nullptr; }, 20000, 20));
    // Only an agent started with runonce registers for the settings signal.
    TPT_CHECK(tpt::waitUntil([&] { return !sim.records(tpsim::kLogRequest, tp::req::kRegisterSettingsEvent).empty(); },
                             5000, 20));
    tpt::group("the port probe's first run comes from RunOnce");
    TPT_CHECK(tpt::waitUntil([] { return tpt::reg::getDword(kHklm, tp::key::kPanelParams, "SavePort").has_value(); },
                             10000, 20));
    TPT_CHECK_EQ(tpt::reg::getString(kHklm, kRunOnceKey, "TAPPORTCHK"),
                 std::optional<std::string>(quoted("Tapport.exe")));
    return pid;
}

void tapstartReplacesTheAgent(DWORD oldPid) {
    tpt::group("Tapstart run again replaces the running agent: a new process, one window");
    const tpt::RunResult r = tpt::runProgram(quoted("Tapstart.exe"), 20000);
    TPT_CHECK(r.finished);
    TPT_CHECK_EQ(r.exitCode, 0u);
    TPT_CHECK(waitProcessGone(oldPid, 10000));
    DWORD pid = 0;
    TPT_CHECK(tpt::waitUntil([&] { return agentWindow(&pid) && pid != oldPid; }, 15000, 20));
    TPT_CHECK_EQ(agentWindowCount(), 1);
}

DWORD repairBringsTheAgentBack(const Packages& p, DWORD oldPid) {
    tpt::group("a repair over the running agent closes it and starts it again: a new process, one window");
    // A repair as a deployment tool runs it (Wine's msiexec rejects /f with a log option).
    TPT_CHECK_EQ(msiexec("/i \"" + p.current + "\" REINSTALL=ALL REINSTALLMODE=omus /qn"), 0L);
    TPT_CHECK(waitProcessGone(oldPid, 10000));
    const DWORD pid = waitNewAgent(oldPid, 20000);
    TPT_CHECK_MSG(pid != 0, "no agent after the repair");
    TPT_CHECK_EQ(agentWindowCount(), 1);
    TPT_CHECK_EQ(processImage(pid), tpt::installPath("Tapagent.exe"));
    tpt::group("... started by the deferred action at commit, once");
    TPT_CHECK_EQ(countInLog("RestartAgent: session 1 (commit), "), 1);
    TPT_CHECK_EQ(countInLog("RestartAgent: session"), 1);
    TPT_CHECK_EQ(countInLog(": started"), 1);
    return pid;
}

void maintenanceRunClosesNobody(const Packages& p, DWORD pid) {
    tpt::group("the very same package run again (a maintenance run) closes and restarts nobody");
    TPT_CHECK_EQ(msiexec("/i \"" + p.current + "\" /qn"), 0L);
    TPT_CHECK_EQ(countInLog("CloseAgent: "), 0);
    TPT_CHECK_EQ(countInLog("RestartAgent: "), 0);
    DWORD now = 0;
    TPT_CHECK(agentWindow(&now));
    TPT_CHECK_EQ(now, pid);
    TPT_CHECK_EQ(agentProcesses().size(), 1u);
}

// Where rollback is disabled Windows runs no commit action: the immediate
// action starts the agent then. Wine 8 runs commit actions all the same, so
// here the agent may be started twice; it comes back, once, either way.
DWORD repairWithoutRollbackBringsTheAgentBack(const Packages& p, DWORD oldPid) {
    tpt::group("a repair with rollback disabled brings the agent back through the immediate action");
    TPT_CHECK_EQ(msiexec("/i \"" + p.current + "\" REINSTALL=ALL REINSTALLMODE=omus DISABLEROLLBACK=1 /qn"), 0L);
    TPT_CHECK(waitProcessGone(oldPid, 10000));
    const DWORD pid = waitNewAgent(oldPid, 20000);
    TPT_CHECK_MSG(pid != 0, "no agent after the repair");
    TPT_CHECK_EQ(countInLog("RestartAgent: session 1, "), 1);
    Sleep(2000);  // a second Tapstart, if any, has replaced it by now
    TPT_CHECK(tpt::waitUntil([] { return agentWindowCount() == 1 && agentProcesses().size() == 1; }, 10000, 50));
    DWORD now = 0;
    agentWindow(&now);
    return now;
}

// A refused SETTINGS= file fails the upgrade after the agent was closed, and
// the rollback runs RestartAgent with its data. Wine 8 neither puts the older
// product back (it does not undo RemoveExistingProducts) nor rolls back a
// failed repair (it skips the rollback when REINSTALL is set): only the
// rollback's start itself can be seen here, not the agent it brings back.
void failedUpgradeRunsTheRollbackRestart(const Packages& p) {
    tpt::group("a failed upgrade (a refused SETTINGS= file) runs the rollback's restart of the closed agents");
    if (!TPT_CHECK(removeInstalled())) return;
    TPT_CHECK_EQ(msiexec("/i \"" + p.older + "\" /qn"), 0L);
    const tpt::RunResult r = tpt::runProgram(quoted("Tapstart.exe"), 20000);
    TPT_CHECK(r.finished);
    DWORD pid = 0;
    if (!TPT_CHECK(tpt::waitUntil([&] { return agentWindow(&pid) != nullptr; }, 15000, 20))) return;
    const std::string file = "C:\\windows\\temp\\tapcfg_bad_upgrade.txt";
    writeText(file, "Freq=5\r\n");
    TPT_CHECK_EQ(msiexec("/i \"" + p.current + "\" SETTINGS=\"" + file + "\" /qn"), 1603L);
    TPT_CHECK(waitProcessGone(pid, 10000));
    TPT_CHECK_EQ(countInLog("CloseAgent: close signal set; closed the agents of sessions 1"), 1);
    TPT_CHECK_EQ(countInLog("RestartAgent: session 1 (rollback), "), 1);
    TPT_CHECK_EQ(countInLog("(commit)"), 0);
    DeleteFileA(file.c_str());
    if (!agentProcesses().empty()) tpt::killPrograms({"Tapagent.exe"}, 5000);
    TPT_CHECK(removeInstalled());
}

// From the other desktop: does FindWindowA see the agent? The answer goes to a file.
const char kSeenFile[] = "C:\\windows\\temp\\suite-agent-seen.txt";
int reportAgentSeen() {
    FILE* f = std::fopen(kSeenFile, "w");
    if (!f) return 1;
    std::fputs(agentWindow() ? "seen" : "unseen", f);
    return std::fclose(f) == 0 ? 0 : 1;
}

std::string agentSeenFromOtherDesktop() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    DeleteFileA(kSeenFile);
    if (!runOnOtherDesktop(std::string("\"") + self + "\" --report-agent-seen", 30000)) return "(no answer)";
    char text[16] = {};
    if (FILE* f = std::fopen(kSeenFile, "r")) {
        std::fgets(text, sizeof text, f);
        std::fclose(f);
    }
    return text;
}

DWORD installFromOtherDesktop(const Packages& p, DWORD oldPid) {
    tpt::group("the agent on this desktop is closed by a repair run on another, and comes back here");
    // So only the package's machine-wide signal can reach it, as it must across sessions.
    TPT_CHECK_EQ(agentSeenFromOtherDesktop(), std::string("unseen"));
    TPT_CHECK(msiexecOnOtherDesktop("/i \"" + p.current + "\" REINSTALL=ALL REINSTALLMODE=omus /qn"));
    TPT_CHECK(waitProcessGone(oldPid, 10000));
    const DWORD pid = waitNewAgent(oldPid, 20000);
    TPT_CHECK_MSG(pid != 0, "no agent on this desktop after the install");
    TPT_CHECK_EQ(agentProcesses().size(), 1u);
    return pid;
}

void addRemovePrograms() {
    tpt::group("Add/Remove Programs: one entry with the suite's icon, publisher and version, no Modify");
    const std::vector<UninstallEntry> entries = uninstallEntries();
    TPT_CHECK_EQ(entries.size(), 1u);
    for (const UninstallEntry& e : entries) {
        TPT_CHECK_EQ(e.publisher, std::string("Korvane Component"));
        TPT_CHECK_EQ(e.version, installedProducts().empty() ? std::string("?") : installedProducts()[0].version);
        // Windows Installer keeps the icon as the product's, which Add/Remove Programs shows.
        TPT_CHECK_MSG(fileExists(e.icon), "product icon " + e.icon);
        TPT_CHECK_EQ(e.noModify, std::optional<uint32_t>(1));
    }
}

void removalLeavesNothing(const Packages& p) {
    tpt::group("removal with the agent running stops it and leaves nothing but the user's settings");
    DWORD pid = 0;
    TPT_CHECK(agentWindow(&pid));
    TPT_CHECK(tpt::reg::keyExists(HKEY_CURRENT_USER, kUserKey));
    const long code = msiexec("/x \"" + p.current + "\" /qn");
    TPT_CHECK_MSG(code == 0, "msiexec /x ended with " + std::to_string(code));
    TPT_CHECK(waitProcessGone(pid, 10000));
    Sleep(1000);  // nothing starts it again
    TPT_CHECK(agentProcesses().empty());
    TPT_CHECK_EQ(join(leftovers()), std::string("(nothing)"));
    TPT_CHECK(uninstallEntries().empty());
    TPT_CHECK(tpt::reg::keyExists(HKEY_CURRENT_USER, kUserKey));
}

// ---- SETTINGS=FILE: a good file becomes the machine's defaults for new
// users; a file Tapcfg refuses fails the installation, with Tapcfg's reason
// in the installer's log, and leaves nothing installed or written.

void badFileFailsTheInstall(const Packages& p) {
    tpt::group("a file Tapcfg refuses fails the installation and the log says why");
    if (!TPT_CHECK(removeInstalled())) return;
    const std::string file = "C:\\windows\\temp\\tapcfg_bad_defaults.txt";
    writeText(file, "Freq=2000\r\nDuration=0\r\n");
    const long code = msiexec("/i \"" + p.current + "\" SETTINGS=\"" + file + "\" /qn");
    TPT_CHECK_EQ(code, 1603L);
    TPT_CHECK(installedProducts().empty());
    TPT_CHECK(!fileExists(tpt::installPath("Tapcfg.exe")));
    TPT_CHECK(!tpt::reg::getDword(kHklm, tp::key::kPanelParams, "Freq").has_value());
    const std::string log = readLog();
    TPT_CHECK_MSG(log.find(file + ", line 2: Duration must be from 1 to 1000") != std::string::npos, log);
    DeleteFileA(file.c_str());
}

void goodFileSetsMachineDefaults(const Packages& p) {
    tpt::group("a good file becomes the machine defaults; without SETTINGS nothing is imported");
    if (!TPT_CHECK(removeInstalled())) return;
    const std::string file = "C:\\windows\\temp\\tapcfg_defaults.txt";
    writeText(file, "; fleet defaults\r\nFreq=1500\r\nOption=0x1A0900A4\r\n");
    TPT_CHECK_EQ(msiexec("/i \"" + p.current + "\" SETTINGS=\"" + file + "\" /qn"), 0L);
    TPT_CHECK_EQ(tpt::reg::getDword(kHklm, tp::key::kPanelParams, "Freq"), std::optional<uint32_t>(1500));
    TPT_CHECK_EQ(tpt::reg::getDword(kHklm, tp::key::kPanelParams, "Option"), std::optional<uint32_t>(0x1A0900A4));
    TPT_CHECK(!tpt::reg::getDword(kHklm, tp::key::kPanelParams, "Duration").has_value());
    TPT_CHECK(removeInstalled());
    // The defaults belong to the machine, not to the package: a removal keeps them.
    TPT_CHECK_EQ(tpt::reg::getDword(kHklm, tp::key::kPanelParams, "Freq"), std::optional<uint32_t>(1500));

    TPT_CHECK(tpt::reg::deleteValue(kHklm, tp::key::kPanelParams, "Freq"));
    TPT_CHECK_EQ(msiexec("/i \"" + p.current + "\" /qn"), 0L);
    TPT_CHECK(!tpt::reg::getDword(kHklm, tp::key::kPanelParams, "Freq").has_value());
    TPT_CHECK(removeInstalled());
    DeleteFileA(file.c_str());
}

// The driver's key, values and all, put aside while fn runs.
template <typename Fn>
void withoutDriverKey(Fn fn) {
    const std::string key = tp::key::kPanelParams;
    std::vector<std::pair<std::string, uint32_t>> dwords;
    std::vector<std::pair<std::string, std::string>> strings;
    for (const std::string& name : tpt::reg::valueNames(kHklm, key)) {
        if (auto d = tpt::reg::getDword(kHklm, key, name)) dwords.emplace_back(name, *d);
        if (auto t = tpt::reg::getString(kHklm, key, name)) strings.emplace_back(name, *t);
    }
    if (!TPT_CHECK(tpt::reg::deleteTree(kHklm, key))) return;
    fn();
    TPT_CHECK(tpt::reg::createKey(kHklm, key));
    for (const auto& [name, value] : dwords) tpt::reg::setDword(kHklm, key, name, value);
    for (const auto& [name, value] : strings) tpt::reg::setString(kHklm, key, name, value);
}

void noDriverFailsTheInstallAndSaysSo(const Packages& p) {
    tpt::group("SETTINGS= without the panel driver fails the installation, and the log names the driver");
    if (!TPT_CHECK(removeInstalled())) return;
    const std::string file = "C:\\windows\\temp\\tapcfg_defaults_nodriver.txt";
    writeText(file, "Freq=1500\r\n");
    withoutDriverKey([&] {
        TPT_CHECK_EQ(msiexec("/i \"" + p.current + "\" SETTINGS=\"" + file + "\" /qn"), 1603L);
        TPT_CHECK(installedProducts().empty());
        TPT_CHECK(!fileExists(tpt::installPath("Tapcfg.exe")));
        TPT_CHECK_EQ(countInLog("the touch panel driver is not installed (its key HKLM\\SYSTEM\\CurrentControlSet\\"
                                "Services\\TAPTPU\\Parameters is missing)"),
                     1);
        TPT_CHECK(!tpt::reg::keyExists(kHklm, tp::key::kPanelParams));
    });
    DeleteFileA(file.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--report-agent-seen") == 0) return reportAgentSeen();
    const Packages p = packages(argc, argv);
    tpt::Sim sim;
    // Given to the x64 build's run only: the x86 package can refuse only 64-bit Windows.
    if (argc > 4) {
        TPT_CHECK(removeInstalled());
        x86PackageRefuses(tpt::windowsPath(argv[4]));
    }
    if (install(p)) {
        shortcut();
        addRemovePrograms();
        DWORD pid = logonStartsTheAgent(sim);
        if (pid) {
            tapstartReplacesTheAgent(pid);
            pid = 0;
            agentWindow(&pid);
        }
        if (pid) pid = repairBringsTheAgentBack(p, pid);
        if (pid) maintenanceRunClosesNobody(p, pid);
        if (pid) pid = repairWithoutRollbackBringsTheAgentBack(p, pid);
        if (pid) installFromOtherDesktop(p, pid);
        removalLeavesNothing(p);
    }
    badFileFailsTheInstall(p);
    goodFileSetsMachineDefaults(p);
    noDriverFailsTheInstallAndSaysSo(p);
    failedUpgradeRunsTheRollbackRestart(p);
    return tpt::finish();
}
