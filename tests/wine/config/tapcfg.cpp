// Tapcfg.exe as an administrator's script runs it, against the simulated
// panel: export, change and import give the same registry bytes; a file
// with one bad line changes nothing; set reaches the registry, the agent and
// the driver in the console's order; machine defaults seed a new user's key;
// report names the panels and the driver's version.
//
//   wine_tapcfg en   every group
//   wine_tapcfg ja   the messages in Japanese, redirected in code page 932
#include <windows.h>

#include <cstring>
#include <fstream>
#include <map>

#include "agent_common.h"
#include "driver_protocol.h"
#include "settings.h"
#include "tpt.h"

namespace {

const HKEY kHkcu = HKEY_CURRENT_USER;
const HKEY kHklm = HKEY_LOCAL_MACHINE;
const std::string kUser = tp::key::kUser;
const std::string kPanelParams = tp::key::kPanelParams;
// tapcfg's exit codes.
constexpr DWORD kDone = 0, kInvalid = 2;

struct Raw {
    DWORD type = 0;
    std::vector<uint8_t> bytes;
    bool operator==(const Raw&) const = default;
};

// Every value of a key, by name, as the registry holds it.
std::map<std::string, Raw> snapshot(HKEY root, const std::string& path) {
    std::map<std::string, Raw> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    for (const std::string& name : tpt::reg::valueNames(root, path)) {
        Raw r;
        DWORD size = 0;
        RegQueryValueExA(key, name.c_str(), nullptr, &r.type, nullptr, &size);
        r.bytes.resize(size);
        RegQueryValueExA(key, name.c_str(), nullptr, &r.type, r.bytes.data(), &size);
        values[name] = r;
    }
    RegCloseKey(key);
    return values;
}

std::string tempFile(const char* name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    return std::string(folder) + name;
}

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string tapcfg(const std::string& arguments) { return "\"" + tpt::installPath("Tapcfg.exe") + "\" " + arguments; }

// Runs tapcfg with its output captured; the exit code, or 999 when it did not end.
DWORD run(const std::string& arguments, std::string* output) {
    std::string ignored;
    const tpt::RunResult r = tpt::runCapture(tapcfg(arguments), 20000, output ? output : &ignored);
    TPT_CHECK_MSG(r.started && r.finished, arguments);
    return r.finished ? r.exitCode : 999;
}

bool contains(const std::string& text, const std::string& part) {
    return tpt::check(text.find(part) != std::string::npos, "output contains", __FILE__, __LINE__,
                      "\"" + part + "\" not in:\n" + text);
}

// ---- groups ---------------------------------------------------------------

void exportChangeImport() {
    tpt::group("export, change, import: the user key is byte-identical");
    TPT_CHECK_EQ(run("set Freq=1500 Duration=120 Option4=0x000150A0 DWidth=12 /noapply", nullptr), kDone);
    const auto before = snapshot(kHkcu, kUser);
    TPT_CHECK_EQ(before.size(), 52u);
    const std::string file = tempFile("tapcfg_kiosk.txt");
    std::string out;
    TPT_CHECK_EQ(run("export \"" + file + "\"", &out), kDone);
    contains(out, "52 values written to");

    TPT_CHECK_EQ(run("set Freq=900 Option=0x1A0900A4 DWidth=40 /noapply", nullptr), kDone);
    TPT_CHECK_EQ(tpt::reg::getDword(kHkcu, kUser, "Freq"), std::optional<uint32_t>(900));
    TPT_CHECK(snapshot(kHkcu, kUser) != before);

    TPT_CHECK_EQ(run("import \"" + file + "\" /noapply", &out), kDone);
    TPT_CHECK(snapshot(kHkcu, kUser) == before);
    DeleteFileA(file.c_str());
}

void badLineChangesNothing(tpt::Sim& sim, bool japanese) {
    tpt::group("a file with one bad line changes nothing and names the line");
    TPT_CHECK_EQ(run("set Freq=1500 /noapply", nullptr), kDone);
    const auto before = snapshot(kHkcu, kUser);
    const std::string file = tempFile("tapcfg_bad.txt");
    writeText(file, "; kiosk\r\nFreq=2000\r\nDuration=0\r\nDWidth=20\r\n");
    sim.mark();
    std::string out;
    TPT_CHECK_EQ(run("import \"" + file + "\"", &out), kInvalid);
    TPT_CHECK(snapshot(kHkcu, kUser) == before);
    TPT_CHECK(sim.records(tpsim::kLogRequest).empty());
    if (japanese)
        // "、3 行目: Duration は 1 から 1000 の範囲で指定してください" in code page 932.
        contains(out, file +
                          "\x81\x41"
                          "3 \x8d\x73\x96\xda: Duration \x82\xcd 1 \x82\xa9\x82\xe7 1000 \x82\xcc");
    else
        contains(out, file + ", line 3: Duration must be from 1 to 1000");
    DeleteFileA(file.c_str());
}

void setAppliesInTheConsolesOrder(tpt::Sim& sim) {
    tpt::group("set with apply: registry, then the agent, then the driver's signal a second later");
    HANDLE agent = nullptr;
    if (!TPT_CHECK(agentwine::startAgent("runonce", &agent) != nullptr)) return;
    // The agent's own start-up requests are done before the mark.
    agentwine::waitRequests(sim, tp::req::kSetOption, 1, 5000);
    Sleep(300);
    sim.mark();
    constexpr uint32_t kOption = 0x1A0D00A4;  // sound on, Shift
    HANDLE process = tpt::startProgram(tapcfg("set Option=0x1A0D00A4 Freq=1234"));
    if (!TPT_CHECK(process != nullptr)) return;
    const DWORD pid = GetProcessId(process);
    DWORD code = 999;
    TPT_CHECK(agentwine::waitExit(process, 20000, &code));
    CloseHandle(process);
    TPT_CHECK_EQ(code, kDone);
    TPT_CHECK_EQ(tpt::reg::getDword(kHkcu, kUser, "Option"), std::optional<uint32_t>(kOption));
    TPT_CHECK_EQ(tpt::reg::getDword(kHkcu, kUser, "Freq"), std::optional<uint32_t>(1234));

    auto from = [&](uint32_t req) {
        std::vector<tpsim::LogRecord> out;
        for (const auto& r : agentwine::requests(sim, req))
            if (r.pid == pid) out.push_back(r);
        return out;
    };
    const auto layout = from(tp::req::kSetMonitorLayout);
    const auto signal = from(tp::req::kSignalSettingsChanged);
    const auto options = agentwine::requests(sim, tp::req::kSetOption);
    TPT_CHECK_EQ(layout.size(), 1u);
    TPT_CHECK_EQ(signal.size(), 1u);
    if (TPT_CHECK(!options.empty()) && !layout.empty() && !signal.empty()) {
        const tpsim::LogRecord& first = options.front();
        TPT_CHECK_EQ(agentwine::dwordInput(first), kOption);  // the agent took the settings it was sent
        TPT_CHECK(layout[0].seq < first.seq && first.seq < signal[0].seq);
        const double gapMs =
            1000.0 * static_cast<double>(signal[0].ticks - first.ticks) / static_cast<double>(sim.state().frequency());
        TPT_CHECK_MSG(gapMs >= 999.0, "signal " + std::to_string(gapMs) + " ms after the option word");
    }
    TPT_CHECK(tpt::endAgent(10000));
    CloseHandle(agent);
}

void machineDefaultsSeedANewUser() {
    tpt::group("/machine, then a user without a key: the agent seeds it from the machine defaults");
    TPT_CHECK(tpt::reg::deleteTree(kHkcu, kUser));
    TPT_CHECK_EQ(run("set Freq=777 DWidth=20 Option2=0x000100A0 /machine", nullptr), kDone);
    TPT_CHECK_EQ(tpt::reg::getDword(kHklm, kPanelParams, "Freq"), std::optional<uint32_t>(777));
    TPT_CHECK(!tpt::reg::keyExists(kHkcu, kUser));
    HANDLE agent = nullptr;
    if (!TPT_CHECK(agentwine::startAgent("runonce", &agent) != nullptr)) return;
    TPT_CHECK(tpt::waitUntil([] { return tpt::reg::getDword(kHkcu, kUser, "Freq") == std::optional<uint32_t>(777); },
                             10000, 20));
    TPT_CHECK_EQ(tpt::reg::getDword(kHkcu, kUser, "DWidth"), std::optional<uint32_t>(20));
    TPT_CHECK_EQ(tpt::reg::getDword(kHkcu, kUser, "Option2"), std::optional<uint32_t>(0x000100A0));
    TPT_CHECK_EQ(tpt::reg::getDword(kHkcu, kUser, "Freq2"), std::optional<uint32_t>(tp::def::kFreq));
    TPT_CHECK(tpt::endAgent(10000));
    CloseHandle(agent);
}

void reportNamesPanelsAndDriver(tpt::Sim& sim, bool japanese) {
    tpt::group("report: the simulated panels, their tables and the driver's version");
    TPT_CHECK(tpt::reg::setString(kHklm, kPanelParams, "Version", "SIM 2.5"));
    TPT_CHECK(tpt::reg::setBinary(kHkcu, kUser, "9Cal3", std::vector<uint8_t>(110, 7)));
    tp::PanelIdTable table;
    for (int32_t& p : table.port) p = tp::kEmptySlot;
    table.port[0] = 3;
    table.port[1] = 0;
    TPT_CHECK(sim.setPanels(table));
    std::string out;
    TPT_CHECK_EQ(run("report", &out), kDone);
    if (japanese) {
        contains(out, "SIM 2.5");
        contains(out, "\x83\x58\x83\x8d\x83\x62\x83\x67 1: \x83\x7c\x81\x5b\x83\x67 3");  // スロット 1: ポート 3
    } else {
        for (const char* line :
             {"Driver version: SIM 2.5", "slot 1: port 3", "slot 2: port 0", "port 3: 9Cal3 (110 bytes)", "Tapcfg.exe",
              "Agent (Tapagent): not running", "Option=0x"})
            contains(out, line);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool japanese = argc > 1 && std::strcmp(argv[1], "ja") == 0;
    tpt::Sim sim;
    if (japanese) {
        TPT_CHECK_EQ(GetACP(), 932u);
        badLineChangesNothing(sim, true);
        reportNamesPanelsAndDriver(sim, true);
        return tpt::finish();
    }
    exportChangeImport();
    badLineChangesNothing(sim, false);
    setAppliesInTheConsolesOrder(sim);
    machineDefaultsSeedANewUser();
    reportNamesPanelsAndDriver(sim, false);
    return tpt::finish();
}
