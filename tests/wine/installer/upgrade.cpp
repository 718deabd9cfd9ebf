// Every build replaces the last while the agent runs: an older build, then
// this one, then a rebuild of the same version, then that very package once
// more. After each: one product of the suite, the files replaced at once (no
// reboot pending), and the agent back as a new process of the installed
// program; the very same package again changes no file and leaves the agent
// alone. A removal afterwards leaves nothing.
#include "msi_common.h"

namespace {

using namespace msiwine;

struct Step {
    const char* what;
    std::string package;
    bool sameProductAsBefore;  // the very same package again: a maintenance run, no new product
};

// Installs over the running agent; returns the new agent's pid (0 when none).
DWORD installOver(const Step& step, DWORD oldPid, const std::string& oldCode, std::string* code) {
    tpt::group(std::string(step.what) + (step.sameProductAsBefore
                                             ? ": one product, the agent left running"
                                             : ": one product, files replaced now, the agent back as a new process"));
    TPT_CHECK_EQ(msiexec("/i \"" + step.package + "\" /qn"), 0L);
    const std::vector<Product> products = installedProducts();
    TPT_CHECK_EQ(products.size(), 1u);
    TPT_CHECK_EQ(uninstallEntries().size(), 1u);
    *code = products.empty() ? "" : products[0].code;
    TPT_CHECK_MSG((*code == oldCode) == step.sameProductAsBefore, "product " + oldCode + " -> " + *code);
    TPT_CHECK_EQ(join(pendingReplacements()), std::string("(nothing)"));
    for (const std::string& f : packedFiles()) TPT_CHECK_MSG(fileExists(tpt::installPath(f)), f + " installed");
    if (step.sameProductAsBefore) {
        DWORD pid = 0;
        TPT_CHECK(agentWindow(&pid));
        TPT_CHECK_EQ(pid, oldPid);
        TPT_CHECK_EQ(agentProcesses().size(), 1u);
        return pid;
    }
    TPT_CHECK(waitProcessGone(oldPid, 10000));
    const DWORD pid = waitNewAgent(oldPid, 20000);
    TPT_CHECK_MSG(pid != 0, "no agent after the install");
    TPT_CHECK_EQ(agentProcesses().size(), 1u);
    TPT_CHECK_EQ(processImage(pid), tpt::installPath("Tapagent.exe"));
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    const Packages p = packages(argc, argv);
    const std::string rebuild = argc > 3 ? tpt::windowsPath(argv[3]) : "";

    tpt::group("the older build installs and a logon starts its agent");
    TPT_CHECK(removeInstalled());
    TPT_CHECK_EQ(msiexec("/i \"" + p.older + "\" /qn"), 0L);
    const std::vector<Product> before = installedProducts();
    TPT_CHECK_EQ(before.size(), 1u);
    TPT_CHECK(logon());
    DWORD pid = 0;
    TPT_CHECK(tpt::waitUntil([&] { return agentWindow(&pid) != nullptr; }, 20000, 20));

    std::string code = before.empty() ? "" : before[0].code;
    const Step steps[] = {
        {"this build replaces the older one", p.current, false},
        {"a rebuild of the same version replaces this build", rebuild, false},
        {"the very same package again is a maintenance run", rebuild, true},
    };
    for (const Step& step : steps) {
        if (!pid) break;
        std::string newCode;
        pid = installOver(step, pid, code, &newCode);
        code = newCode;
    }

    tpt::group("after the upgrades: every value and the shortcut in place, this version registered");
    const std::vector<Product> after = installedProducts();
    if (!after.empty() && !before.empty()) TPT_CHECK(after[0].version != before[0].version);
    TPT_CHECK(tpt::reg::getString(HKEY_LOCAL_MACHINE, kRunKey, "TAPSTART").has_value());
    TPT_CHECK(tpt::reg::getString(HKEY_LOCAL_MACHINE, kRunOnceKey, "TAPPORTCHK").has_value());
    int menus = 0;
    for (const std::string& folder : menuFolders()) menus += fileExists(folder + "\\TouchPanel Setting.lnk");
    TPT_CHECK_EQ(menus, 1);

    tpt::group("the upgraded product removes cleanly, its agent with it");
    TPT_CHECK(removeInstalled());
    TPT_CHECK(waitProcessGone(pid, 10000));
    TPT_CHECK(agentProcesses().empty());
    TPT_CHECK_EQ(join(leftovers()), std::string("(nothing)"));
    return tpt::finish();
}
