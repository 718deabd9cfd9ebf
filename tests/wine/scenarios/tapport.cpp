// Tapport.exe on Enum keys seeded through the registry: port numbers per
// device instance and driver, SavePort, and its RunOnce entry.
#include "settings.h"
#include "tpt.h"

namespace {

using tpt::reg::getDword;
const HKEY kHklm = HKEY_LOCAL_MACHINE;
const std::string kPanelEnum = tp::key::kPanelEnum;
const std::string kPanelParams = tp::key::kPanelParams;
const std::string kMultiEnum = tp::key::kMultiEnum;
const std::string kMultiParams = tp::key::kMultiParams;

const std::string kPathA = "USB\\VID_0EEF&PID_0001\\5&2A1B3C4D&0&1";
const std::string kPathB = "USB\\VID_0EEF&PID_0001\\5&2A1B3C4D&0&2";
const std::string kPathC = "USB\\VID_0EEF&PID_0001\\6&11AA22BB&0&3";

// Our probe stores its path quoted, so that the blank in "Program Files"
// cannot start C:\Program.exe.
const std::string kRunOnceCommand = "\"C:\\Program Files\\QTX\\PNL\\USBPNL\\Tapport.exe\"";

// An Enum key as the system keeps it: the numbered instance paths plus
// Count and NextInstance, which the probe must not take for instances.
void seedEnum(const std::string& key, const std::vector<std::pair<std::string, std::string>>& entries) {
    TPT_CHECK(tpt::reg::deleteTree(kHklm, key));
    for (const auto& [name, path] : entries) TPT_CHECK(tpt::reg::setString(kHklm, key, name, path));
    TPT_CHECK(tpt::reg::setDword(kHklm, key, "Count", static_cast<uint32_t>(entries.size())));
    TPT_CHECK(tpt::reg::setDword(kHklm, key, "NextInstance", static_cast<uint32_t>(entries.size())));
}

bool runProbe() {
    const tpt::RunResult r = tpt::runProgram("\"" + tpt::installPath("Tapport.exe") + "\"", 30000);
    TPT_CHECK(r.started);
    TPT_CHECK(r.finished);
    TPT_CHECK_EQ(r.exitCode, 0u);
    return r.finished;
}

void firstAndSecondRun() {
    tpt::group("first run numbers two panels, a second run changes nothing");
    tpt::Sim sim;
    sim.mark();
    seedEnum(kPanelEnum, {{"0", kPathA}, {"1", kPathB}});
    if (!runProbe()) return;
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, kPathA), std::optional<uint32_t>(0));
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, kPathB), std::optional<uint32_t>(1));
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, "SavePort"), std::optional<uint32_t>(2));
    TPT_CHECK_EQ(tpt::reg::valueNames(kHklm, kPanelParams).size(), 3u);
    TPT_CHECK_EQ(tpt::reg::getString(kHklm, tp::key::kRunOnce, "TAPPORTCHK"),
                 std::optional<std::string>(kRunOnceCommand));
    TPT_CHECK_EQ(tpt::reg::valueType(kHklm, tp::key::kRunOnce, "TAPPORTCHK"), std::optional<DWORD>(REG_SZ));
    TPT_CHECK(!tpt::reg::keyExists(kHklm, kMultiParams));  // never created

    // The run-once entry is consumed at start; the probe puts it back.
    TPT_CHECK(tpt::reg::deleteValue(kHklm, tp::key::kRunOnce, "TAPPORTCHK"));
    TPT_CHECK(tpt::reg::setDword(kHklm, kPanelParams, "SavePort", 2));
    if (!runProbe()) return;
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, kPathA), std::optional<uint32_t>(0));
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, kPathB), std::optional<uint32_t>(1));
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, "SavePort"), std::optional<uint32_t>(2));
    TPT_CHECK_EQ(tpt::reg::getString(kHklm, tp::key::kRunOnce, "TAPPORTCHK"),
                 std::optional<std::string>(kRunOnceCommand));
    TPT_CHECK(sim.log().empty());  // the probe never talks to the driver
}

void unpluggedPanelKeepsItsNumber() {
    tpt::group("an unplugged panel keeps its number, a new one gets the next");
    seedEnum(kPanelEnum, {{"0", kPathA}, {"1", kPathB}});
    if (!runProbe()) return;
    seedEnum(kPanelEnum, {{"0", kPathC}});
    if (!runProbe()) return;
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, kPathC), std::optional<uint32_t>(2));
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, kPathA), std::optional<uint32_t>(0));
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, "SavePort"), std::optional<uint32_t>(3));
}

void listEndsAtAGap() {
    tpt::group("the instance list ends at the first missing number");
    TPT_CHECK(tpt::reg::deleteTree(kHklm, kPanelParams) && tpt::reg::createKey(kHklm, kPanelParams));
    seedEnum(kPanelEnum, {{"0", kPathA}, {"2", kPathB}});
    if (!runProbe()) return;
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, kPathA), std::optional<uint32_t>(0));
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, kPathB), std::optional<uint32_t>());
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, "SavePort"), std::optional<uint32_t>(1));
}

void driversCountSeparately() {
    tpt::group("each driver has its own counter, also for the same instance");
    TPT_CHECK(tpt::reg::deleteTree(kHklm, kPanelParams) && tpt::reg::createKey(kHklm, kPanelParams));
    TPT_CHECK(tpt::reg::createKey(kHklm, kMultiParams));
    TPT_CHECK(tpt::reg::setDword(kHklm, kMultiParams, "SavePort", 5));
    seedEnum(kPanelEnum, {{"0", kPathA}, {"1", kPathB}});
    seedEnum(kMultiEnum, {{"0", kPathB}});
    if (!runProbe()) return;
    TPT_CHECK_EQ(getDword(kHklm, kMultiParams, kPathB), std::optional<uint32_t>(5));
    TPT_CHECK_EQ(getDword(kHklm, kMultiParams, "SavePort"), std::optional<uint32_t>(6));
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, kPathB), std::optional<uint32_t>(1));
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, "SavePort"), std::optional<uint32_t>(2));
    TPT_CHECK_EQ(getDword(kHklm, kMultiParams, kPathA), std::optional<uint32_t>());
}

void missingKeys() {
    tpt::group("missing Enum or parameters keys");
    TPT_CHECK(tpt::reg::deleteTree(kHklm, kPanelEnum));
    TPT_CHECK(tpt::reg::deleteTree(kHklm, kPanelParams) && tpt::reg::createKey(kHklm, kPanelParams));
    TPT_CHECK(tpt::reg::deleteTree(kHklm, "SYSTEM\\CurrentControlSet\\Services\\QTXTPU"));
    seedEnum(kMultiEnum, {{"0", kPathA}});
    TPT_CHECK(tpt::reg::deleteTree(kHklm, kMultiParams));
    if (!runProbe()) return;
    TPT_CHECK_EQ(getDword(kHklm, kPanelParams, "SavePort"), std::optional<uint32_t>(0));  // rewritten anyway
    TPT_CHECK_EQ(tpt::reg::valueNames(kHklm, kPanelParams).size(), 1u);
    TPT_CHECK(!tpt::reg::keyExists(kHklm, kMultiParams));
    TPT_CHECK_EQ(tpt::reg::getString(kHklm, tp::key::kRunOnce, "TAPPORTCHK"),
                 std::optional<std::string>(kRunOnceCommand));
}

}  // namespace

int main() {
    firstAndSecondRun();
    unpluggedPanelKeepsItsNumber();
    listEndsAtAGap();
    driversCountSeparately();
    missingKeys();
    return tpt::finish();
}
