// An older build of the package replaced in place by this one while the
// agent runs: one product left, of this version, everything installed, and a
// removal afterwards that leaves nothing.
#include "msi_common.h"

int main(int argc, char** argv) {
    using namespace msiwine;
    const Packages p = packages(argc, argv);

    tpt::group("the older build installs and a logon starts its agent");
    TPT_CHECK(removeInstalled());
    TPT_CHECK_EQ(msiexec("/i \"" + p.older + "\" /qn"), 0L);
    const std::vector<Product> before = installedProducts();
    TPT_CHECK_EQ(before.size(), 1u);
    TPT_CHECK(logon());
    DWORD pid = 0;
    TPT_CHECK(tpt::waitUntil([&] { return agentWindow(&pid) != nullptr; }, 20000, 20));

    tpt::group("this build replaces it: one product, the new version, every file and value in place");
    TPT_CHECK_EQ(msiexec("/i \"" + p.current + "\" /qn"), 0L);
    const std::vector<Product> after = installedProducts();
    TPT_CHECK_EQ(after.size(), 1u);
    if (!before.empty() && !after.empty()) {
        TPT_CHECK(after[0].code != before[0].code);
        TPT_CHECK(after[0].version != before[0].version);
    }
    TPT_CHECK(waitProcessGone(pid, 10000));  // closed, so its files could be replaced
    for (const std::string& f : packedFiles()) TPT_CHECK_MSG(fileExists(tpt::installPath(f)), f + " installed");
    TPT_CHECK(tpt::reg::getString(HKEY_LOCAL_MACHINE, kRunKey, "TAPSTART").has_value());
    TPT_CHECK(tpt::reg::getString(HKEY_LOCAL_MACHINE, kRunOnceKey, "TAPPORTCHK").has_value());
    int menus = 0;
    for (const std::string& folder : menuFolders()) menus += fileExists(folder + "\\TouchPanel Setting.lnk");
    TPT_CHECK_EQ(menus, 1);

    tpt::group("the upgraded product removes cleanly");
    TPT_CHECK(removeInstalled());
    TPT_CHECK_EQ(join(leftovers()), std::string("(nothing)"));
    return tpt::finish();
}
