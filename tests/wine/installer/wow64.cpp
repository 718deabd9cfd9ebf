// 32-bit code in the 64-bit prefix, as 64-bit Windows runs it: an x86
// install that an earlier release left there is replaced by the x64 package
// (one product, the 64-bit programs in place, nothing of the x86 install
// left), and a 32-bit client calls the 32-bit Tapapi.dll the x64 package
// installs, against the simulated panel. ARGS: the x64 package, the older
// x86 package (built without the 64-bit refusal), the 32-bit tapapi_call.exe.
#include "driver_protocol.h"
#include "msi_common.h"

namespace {

using namespace msiwine;

DWORD x86InstallRuns(const std::string& x86Package) {
    tpt::group("an x86 install left on 64-bit Windows: its 32-bit agent runs from Program Files (x86)");
    TPT_CHECK(removeInstalled());
    TPT_CHECK_EQ(msiexec("/i \"" + x86Package + "\" /qn"), 0L);
    TPT_CHECK(tpt::reg::getString(HKEY_LOCAL_MACHINE, kRunKey32, "TAPSTART").has_value());
    TPT_CHECK(logon());
    DWORD pid = 0;
    TPT_CHECK(tpt::waitUntil([&] { return agentWindow(&pid) != nullptr; }, 20000, 20));
    TPT_CHECK_EQ(processImage(pid), kInstallFolder32 + "Tapagent.exe");
    return pid;
}

void x64PackageReplacesIt(const std::string& package, DWORD oldPid) {
    tpt::group("the x64 package replaces it: one product, the 64-bit agent back, the x86 programs gone");
    TPT_CHECK_EQ(msiexec("/i \"" + package + "\" /qn"), 0L);
    TPT_CHECK_EQ(installedProducts().size(), 1u);
    TPT_CHECK_EQ(uninstallEntries().size(), 1u);
    TPT_CHECK(waitProcessGone(oldPid, 10000));
    const DWORD pid = waitNewAgent(oldPid, 20000);
    TPT_CHECK_MSG(pid != 0, "no agent after the install");
    TPT_CHECK_EQ(processImage(pid), tpt::installPath("Tapagent.exe"));
    TPT_CHECK(!fileExists(kInstallFolder32 + "Tapagent.exe"));
    TPT_CHECK(!tpt::reg::valueType(HKEY_LOCAL_MACHINE, kRunKey32, "TAPSTART"));
    TPT_CHECK(tpt::reg::getString(HKEY_LOCAL_MACHINE, kRunKey, "TAPSTART").has_value());
}

void client32CallsTapapi(const std::string& tapapiCall) {
    tpt::group("a 32-bit program loads the 32-bit Tapapi.dll from its Program Files folder and reaches the panel");
    tpt::Sim sim;
    TPT_CHECK(sim.setSpinTop(42));
    sim.mark();
    std::string out;
    const tpt::RunResult r =
        tpt::runCapture("\"" + tapapiCall + "\" GetSpinTop SetSpinTop=7 GetSpinTop", 20000, &out);
    TPT_CHECK_MSG(r.finished && r.exitCode == 0, out);
    TPT_CHECK_MSG(out.find("GetSpinTop() = 42") != std::string::npos, out);
    TPT_CHECK_MSG(out.find("GetSpinTop() = 7") != std::string::npos, out);
    TPT_CHECK_EQ(sim.state()[tpsim::st::kSpinTop], 7u);
    TPT_CHECK(!sim.records(tpsim::kLogRequest, tp::req::kSetSpinTop).empty());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const std::string package = tpt::windowsPath(argv[1]);
    const DWORD pid = x86InstallRuns(tpt::windowsPath(argv[2]));
    if (pid) x64PackageReplacesIt(package, pid);
    client32CallsTapapi(tpt::windowsPath(argv[3]));
    tpt::group("the removal leaves nothing, of either bitness");
    TPT_CHECK(removeInstalled());
    TPT_CHECK_EQ(join(leftovers()), std::string("(nothing)"));
    return tpt::finish();
}
