// The x64 package under Wine, the user's way: a silent install, a logon that
// starts the agent through Tapstart, Tapstart again replacing the agent, and
// a silent removal while the agent runs that leaves nothing behind.
#include "driver_protocol.h"
#include "msi_common.h"
#include "settings.h"

namespace {

using namespace msiwine;
const HKEY kHklm = HKEY_LOCAL_MACHINE;

std::string quoted(const std::string& file) { return "\"" + tpt::installPath(file) + "\""; }

bool install(const Packages& p) {
    tpt::group("the package installs silently: programs, Run and RunOnce values");
    if (!TPT_CHECK(removeInstalled())) return false;
    const long code = msiexec("/i \"" + p.current + "\" /qn");
    if (!TPT_CHECK_MSG(code == 0, "msiexec /i ended with " + std::to_string(code))) return false;
    for (const std::string& f : packedFiles()) TPT_CHECK_MSG(fileExists(tpt::installPath(f)), f + " installed");
    TPT_CHECK_EQ(tpt::reg::getString(kHklm, kRunKey, "TAPSTART"), std::optional<std::string>(quoted("Tapstart.exe")));
    TPT_CHECK_EQ(tpt::reg::getString(kHklm, kRunOnceKey, "TAPPORTCHK"),
                 std::optional<std::string>(quoted("Tapport.exe")));
    TPT_CHECK_EQ(installedProducts().size(), 1u);
    TPT_CHECK(!agentWindow());  // nothing that needs the driver is started
    return true;
}

void shortcut() {
    tpt::group("one Start-menu shortcut to the console, no arguments, the console's icon");
    int found = 0;
    for (const std::string& folder : menuFolders()) {
        if (!folderExists(folder)) continue;
        ++found;
        const Link link = readLink(folder + "\\TouchPanel Setting.lnk");
        TPT_CHECK(link.read);
        TPT_CHECK_EQ(link.target, tpt::installPath("Tapcon.exe"));
        TPT_CHECK_EQ(link.arguments, std::string());
        // No icon of its own: the shell shows the target's first icon.
        TPT_CHECK_MSG(link.iconPath.empty() || (link.iconPath == link.target && link.iconIndex == 0),
                      "icon " + link.iconPath + "," + std::to_string(link.iconIndex));
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

void removalLeavesNothing(const Packages& p) {
    tpt::group("removal with the agent running stops it and leaves nothing but the user's settings");
    DWORD pid = 0;
    TPT_CHECK(agentWindow(&pid));
    TPT_CHECK(tpt::reg::keyExists(HKEY_CURRENT_USER, kUserKey));
    const long code = msiexec("/x \"" + p.current + "\" /qn");
    TPT_CHECK_MSG(code == 0, "msiexec /x ended with " + std::to_string(code));
    TPT_CHECK(waitProcessGone(pid, 10000));
    TPT_CHECK(!tpt::isRunning("Tapagent.exe"));
    TPT_CHECK_EQ(join(leftovers()), std::string("(nothing)"));
    TPT_CHECK(tpt::reg::keyExists(HKEY_CURRENT_USER, kUserKey));
}

}  // namespace

int main(int argc, char** argv) {
    const Packages p = packages(argc, argv);
    tpt::Sim sim;
    if (install(p)) {
        shortcut();
        const DWORD pid = logonStartsTheAgent(sim);
        if (pid) tapstartReplacesTheAgent(pid);
        removalLeavesNothing(p);
    }
    return tpt::finish();
}
