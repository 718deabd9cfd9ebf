// simctl: drives the simulated panel from the command line (under Wine).
// See docs/simctl.md.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "simclient.h"

namespace {

using tpsim::Client;
using tpsim::State;
namespace st = tpsim::st;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoSimulator = 3;

const char kUsage[] =
    "usage: simctl COMMAND [ARGS]\n"
    "  state [--machine]                 show the simulated driver's state\n"
    "  log [--machine] [--from SEQ]      show the request log (oldest first)\n"
    "  clear-log                         forget the log\n"
    "  reset                             defaults, empty log, registrations dropped\n"
    "  inject touch|release|secondary-release MONITOR\n"
    "                                    queue a panel event for monitor 1-9\n"
    "  panels PORT...                    connected panels by slot (- = empty slot)\n"
    "  spintop VALUE                     the SpinTop value the driver answers\n"
    "  disabled TYPE VALUE               the answer to the enable query of type 1 or 2\n"
    "                                    (0 = enabled, other = disabled)\n"
    "  vendor-answer [BYTE...]           the data stage of vendor IN requests (hex bytes)\n"
    "  fail CODE|all                     make a request of the suite fail\n"
    "  unfail CODE|all                   stop failing it (all: clear every failure)\n"
    "  unplug | replug                   panel devices refuse opens, or accept them again\n"
    "  calibration                       show the stored calibration blocks\n"
    "  touch PORT                        a finger on the connected panel with this port\n"
    "                                    (taken for the screen being identified)\n";

bool parseNumber(const char* text, long long* value) {
    if (!text || !*text) return false;
    char* end = nullptr;
    *value = std::strtoll(text, &end, 0);
    return *end == '\0';
}

int requestResult(const Client& sim, bool ok, const char* what) {
    if (ok) return 0;
    std::fprintf(stderr, "simctl: %s failed (error %lu)\n", what, sim.lastError());
    return kExitFailed;
}

std::string onOff(uint32_t v) { return v ? "yes" : "no"; }

int showState(Client& sim, bool machine) {
    State s;
    if (!sim.getState(&s)) return requestResult(sim, false, "state");
    std::string panels;
    for (int i = 0; i < tp::kPanelSlots; ++i) {
        if (i) panels += ',';
        panels += std::to_string(static_cast<int32_t>(s[st::kPanels + i]));
    }
    std::string layout;
    for (uint32_t i = 0; i < tp::kMonitorLayoutBlockSize / 4; ++i) {
        char word[12];
        std::snprintf(word, sizeof word, "%s%08X", i ? "," : "", s[st::kLayout + i]);
        layout += word;
    }
    std::string pending;
    for (uint32_t i = 0; i < s[st::kPendingEventCount] && i < 16; ++i) {
        char word[12];
        std::snprintf(word, sizeof word, "%s%08X", i ? "," : "", s[st::kPendingEvents + i]);
        pending += word;
    }
    std::string calibration;
    for (uint32_t i = 0; i < s[st::kCalibrationCount]; ++i) {
        if (i) calibration += ',';
        calibration += std::to_string(static_cast<int32_t>(s[st::kCalibrationKeys + i]));
    }
    std::string failing = s[st::kFailAll] ? "all" : "";
    for (uint32_t i = 0; i < s[st::kFailCount]; ++i) {
        char code[12];
        std::snprintf(code, sizeof code, "%s0x%06X", failing.empty() ? "" : ",", s[st::kFailCodes + i]);
        failing += code;
    }
    std::string identified;
    for (int i = 0; i < tp::kMaxMonitors; ++i) {
        const uint32_t port = s[st::kIdentified + i];
        identified += (i ? "," : "") + (port == tpsim::kNoPanel ? std::string("-") : std::to_string(port));
    }
    uint8_t vendor[8];
    tp::put32(vendor, s[st::kLastVendorLow]);
    tp::put32(vendor + 4, s[st::kLastVendorHigh]);
    const std::string lastVendor = s[st::kLastVendorSet] ? tpsim::hexBytes(vendor, 8) : "";

    struct Row {
        const char* key;
        std::string value;
    };
    char hex[3][16];
    std::snprintf(hex[0], sizeof hex[0], "0x%08X", s[st::kOption]);
    std::snprintf(hex[1], sizeof hex[1], "0x%08X", s[st::kIdentifyPanelWord]);
    std::snprintf(hex[2], sizeof hex[2], "0x%08X", s[st::kIdentifyMultiWord]);
    const Row rows[] = {
        {"plugged", onOff(s[st::kPlugged])},
        {"panels", panels},
        {"button", s[st::kButtonSecondary] ? "secondary" : "primary"},
        {"swapped", s[st::kSwapKnown] ? onOff(s[st::kSwapped]) : "unset"},
        {"option", s[st::kOptionSet] ? hex[0] : "unset"},
        {"orientation", s[st::kOrientationSet] ? std::to_string(s[st::kOrientation]) : "unset"},
        {"layout", s[st::kLayoutSet] ? layout : "unset"},
        {"identify_panel", s[st::kIdentifyPanelActive] ? hex[1] : "off"},
        {"identify_multi", s[st::kIdentifyMultiActive] ? hex[2] : "off"},
        {"identified", identified},
        {"spintop", std::to_string(static_cast<int32_t>(s[st::kSpinTop]))},
        {"disabled1", std::to_string(s[st::kDisabled1])},
        {"disabled2", std::to_string(s[st::kDisabled2])},
        {"pending_events", std::to_string(s[st::kPendingEventCount]) + (pending.empty() ? "" : " " + pending)},
        {"panel_registration", onOff(s[st::kPanelRegistered])},
        {"settings_registrations", std::to_string(s[st::kSettingsRegistrations])},
        {"signals_sent", std::to_string(s[st::kSignalsSent])},
        {"vendor_answer_bytes", std::to_string(s[st::kVendorAnswerLength])},
        {"last_vendor_request", s[st::kLastVendorSet] ? lastVendor : "none"},
        {"calibration_ports", calibration.empty() ? "none" : calibration},
        {"failing", failing.empty() ? "none" : failing},
        {"protocol_errors", std::to_string(s[st::kProtocolErrors])},
        {"log_next_seq", std::to_string(s[st::kNextSeq])},
    };
    for (const Row& row : rows) {
        if (machine) {
            std::string v = row.value;
            for (char& c : v)
                if (c == ' ') c = ',';
            std::printf("%s=%s\n", row.key, v.c_str());
        } else {
            std::printf("%-23s %s\n", row.key, row.value.c_str());
        }
    }
    return 0;
}

int showLog(Client& sim, bool machine, uint32_t from) {
    State s;
    std::vector<tpsim::LogRecord> records;
    if (!sim.getState(&s) || !sim.readLog(from, &records)) return requestResult(sim, false, "log");
    const uint64_t origin = records.empty() ? 0 : records.front().ticks;
    for (const tpsim::LogRecord& r : records) {
        const std::string line =
            machine ? tpsim::formatMachine(r, s.frequency()) : tpsim::formatReadable(r, s.frequency(), origin);
        std::printf("%s\n", line.c_str());
    }
    if (!machine) {
        unsigned errors = 0;
        for (const tpsim::LogRecord& r : records) errors += (r.flags & tpsim::logflag::kProtocolError) ? 1 : 0;
        std::printf("-- %zu records, %u protocol errors\n", records.size(), errors);
    }
    return 0;
}

int showCalibration(Client& sim) {
    for (uint32_t slot = 0; slot < tpsim::kCalibrationSlots; ++slot) {
        uint32_t port = 0;
        uint8_t block[tp::kCalibrationTableBlockSize];
        if (!sim.getCalibration(slot, &port, block)) break;
        std::printf("port %d flags 0x%08X\n", static_cast<int32_t>(port), tp::get32(block));
        for (uint32_t off = 0; off < sizeof block; off += 32) {
            const uint32_t n = sizeof block - off < 32 ? sizeof block - off : 32;
            std::printf("  %03X  %s\n", off, tpsim::hexBytes(block + off, n).c_str());
        }
    }
    return 0;
}

bool parseCode(const char* text, uint32_t* code) {
    if (std::strcmp(text, "all") == 0) {
        *code = tpsim::kAllCodes;
        return true;
    }
    long long v = 0;
    if (!parseNumber(text, &v) || v <= 0 || v > 0xFFFFFFFFll) return false;
    *code = static_cast<uint32_t>(v);
    return true;
}

int usage() {
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string cmd = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (cmd == "help" || cmd == "--help" || cmd == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Client sim;
    if (!sim.ok()) {
        std::fprintf(stderr, "simctl: the simulated panel is not loaded (error %lu)\n", sim.lastError());
        return kExitNoSimulator;
    }
    long long a = 0, b = 0;
    if (cmd == "state") return showState(sim, args.size() == 1 && args[0] == "--machine");
    if (cmd == "log") {
        bool machine = false;
        uint32_t from = 0;
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--machine") {
                machine = true;
            } else if (args[i] == "--from" && i + 1 < args.size() && parseNumber(args[i + 1].c_str(), &a) && a >= 0) {
                from = static_cast<uint32_t>(a);
                ++i;
            } else {
                return usage();
            }
        }
        return showLog(sim, machine, from);
    }
    if (cmd == "clear-log" && args.empty()) return requestResult(sim, sim.clearLog(), cmd.c_str());
    if (cmd == "reset" && args.empty()) return requestResult(sim, sim.reset(), cmd.c_str());
    if (cmd == "unplug" && args.empty()) return requestResult(sim, sim.setPlugged(false), cmd.c_str());
    if (cmd == "replug" && args.empty()) return requestResult(sim, sim.setPlugged(true), cmd.c_str());
    if (cmd == "calibration" && args.empty()) return showCalibration(sim);
    if (cmd == "inject" && args.size() == 2) {
        uint32_t code;
        if (args[0] == "touch")
            code = tp::kEventTouch;
        else if (args[0] == "release")
            code = tp::kEventRelease;
        else if (args[0] == "secondary-release")
            code = tp::kEventSecondaryRelease;
        else
            return usage();
        if (!parseNumber(args[1].c_str(), &a) || a < 1 || a > tp::kMaxMonitors) return usage();
        return requestResult(sim, sim.injectEvent(tp::encodePanelEvent(static_cast<uint32_t>(a - 1), code)),
                             cmd.c_str());
    }
    if (cmd == "panels" && args.size() <= static_cast<size_t>(tp::kPanelSlots)) {
        tp::PanelIdTable table;
        for (int i = 0; i < tp::kPanelSlots; ++i) table.port[i] = tp::kEmptySlot;
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "-") continue;
            if (!parseNumber(args[i].c_str(), &a) || a < -0x80000000ll || a > 0x7FFFFFFFll) return usage();
            table.port[i] = static_cast<int32_t>(a);
        }
        return requestResult(sim, sim.setPanels(table), cmd.c_str());
    }
    if (cmd == "touch" && args.size() == 1 && parseNumber(args[0].c_str(), &a) && a >= 0 && a <= 0x7FFFFFFFll)
        return requestResult(sim, sim.touchPanel(static_cast<uint32_t>(a)), cmd.c_str());
    if (cmd == "spintop" && args.size() == 1 && parseNumber(args[0].c_str(), &a))
        return requestResult(sim, sim.setSpinTop(static_cast<uint32_t>(a)), cmd.c_str());
    if (cmd == "disabled" && args.size() == 2 && parseNumber(args[0].c_str(), &a) && (a == 1 || a == 2) &&
        parseNumber(args[1].c_str(), &b))
        return requestResult(sim, sim.setDisabledAnswer(static_cast<uint32_t>(a), static_cast<uint32_t>(b)),
                             cmd.c_str());
    if (cmd == "vendor-answer" && args.size() <= tp::kVendorAnswerSize) {
        std::vector<uint8_t> bytes;
        for (const std::string& arg : args) {
            char* end = nullptr;
            const unsigned long v = std::strtoul(arg.c_str(), &end, 16);
            if (arg.empty() || *end || v > 0xFF) return usage();
            bytes.push_back(static_cast<uint8_t>(v));
        }
        return requestResult(sim, sim.setVendorAnswer(bytes.data(), static_cast<uint32_t>(bytes.size())), cmd.c_str());
    }
    if ((cmd == "fail" || cmd == "unfail") && args.size() == 1) {
        uint32_t code = 0;
        if (!parseCode(args[0].c_str(), &code)) return usage();
        if (cmd == "unfail" && code == tpsim::kAllCodes) code = tpsim::kNoFailures;
        return requestResult(sim, sim.setFailure(code, cmd == "fail"), cmd.c_str());
    }
    return usage();
}
