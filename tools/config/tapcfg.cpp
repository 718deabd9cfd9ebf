#include "tapcfg.h"

#include <algorithm>
#include <set>

#include "calibration.h"
#include "driver_channel.h"
#include "panel_settings.h"
#include "registry.h"
#include "save_notify.h"
#include "settings_file.h"
#include "tapcfg_ids.h"
#include "text.h"
#include "touch_check.h"

namespace tp::cfg {

const char kSuiteVersion[] = TP_SUITE_VERSION;

namespace {

// The files the package puts in the suite's folder.
constexpr const wchar_t* kSuiteFiles[] = {L"Tapagent.exe", L"taphook.dll", L"Tapapi.dll", L"Tapport.exe",
                                          L"Tapstart.exe", L"Taplink.exe", L"Tapcon.exe", L"Tapcfg.exe",
                                          L"panel.bmp",    L"Drvnotes.txt"};
// Port numbers looked at for calibration tables beyond the connected panels:
// the ones the probe has handed out, up to this many.
constexpr uint32_t kMaxProbedPorts = 64;
// Where the meaning starts after "Name=Value".
constexpr size_t kMeaningColumn = 22;

std::wstring dec(uint64_t v) { return decimalText(static_cast<int64_t>(v)); }

std::wstring lower(const std::wstring& s) {
    std::wstring out = s;
    for (wchar_t& c : out)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return out;
}

std::wstring withSigned(int32_t v) { return decimalText(v); }

std::string utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t w : text) {
        const uint32_t c = static_cast<uint32_t>(w);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {  // the string tables hold no characters beyond the first plane
            out += static_cast<char>(0xE0 | ((c >> 12) & 0x0F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

class Session {
public:
    explicit Session(const CfgPorts& p) : p_(p) {}

    std::wstring t(int id, const std::vector<std::wstring>& args = {}) { return fill(p_.host.text(id), args); }
    void out(const std::wstring& line) { p_.host.write(Stream::Out, line + L"\n"); }
    void err(const std::wstring& line) { p_.host.write(Stream::Err, line + L"\n"); }

    int usageError(const std::vector<std::wstring>& args) {
        std::wstring joined;
        for (const std::wstring& a : args) joined += (joined.empty() ? L"" : L" ") + a;
        err(t(IDS_ERR_COMMAND, {quoted(joined)}));
        return kExitUsage;
    }

    int show(const std::vector<std::wstring>& names);
    int exportTo(const std::wstring& path);
    int importFrom(const std::wstring& path, bool machine, bool noApply);
    int set(const std::vector<std::wstring>& assignments, bool machine, bool noApply);
    int report();

private:
    int refuse(const CheckedSettings& checked, const std::wstring& file);
    int store(const CheckedSettings& checked, bool machine, bool noApply);
    int storeMachine(const CheckedSettings& checked);
    int storeFailed(const StoreResult& result, const std::wstring& keyPath);
    bool userKeyExists();
    void load(PanelSettings& s);
    std::vector<std::wstring> settingLines(const PanelSettings& s, const std::vector<int>& indices,
                                           int* refused = nullptr);
    std::wstring refusal(int index, uint32_t value);
    std::vector<std::wstring> layoutLines(const PanelSettings& s);
    void reportFiles();
    std::set<uint32_t> reportDriver();
    void reportCalibration(const std::set<uint32_t>& ports);
    void reportTouchCheck();

    const CfgPorts& p_;
};

// ---------------------------------------------------------------- show

bool Session::userKeyExists() {
    RegKey key = 0;
    if (p_.registry.open(RegRoot::CurrentUser, key::kUser, kKeyRead, &key) != kErrorSuccess || !key) return false;
    p_.registry.close(key);
    return true;
}

// The user's settings as they stand. A user without a key yet gets the
// machine defaults at the agent's first run, so they stand in for the
// compiled-in ones: a save must not bury them under a key of its own.
void Session::load(PanelSettings& s) {
    loadPanelSettings(p_.registry, s);
    if (userKeyExists()) return;
    RegKey raw = 0;
    if (p_.registry.open(RegRoot::LocalMachine, key::kPanelParams, kKeyRead, &raw) != kErrorSuccess || !raw) return;
    ScopedKey seed(p_.registry, raw);
    forEachUserValue(s.user, ValueOrder::Seeding, [&](const ValueName& name, uint32_t& field) {
        readDword(p_.registry, seed.get(), name.c_str(), &field);
    });
    s.dHeightEdit = static_cast<int>(s.user.dHeight);
    s.dWidthEdit = static_cast<int>(s.user.dWidth);
}

// Empty when import would take the value; else why it would not.
std::wstring Session::refusal(int index, uint32_t value) {
    const Problem p = checkValue(index, value);
    return p.messageId ? t(IDS_REFUSED_VALUE, {t(p.messageId, p.args)}) : std::wstring();
}

// A stored value import would refuse (hand-edited, seeded by an older tool)
// is shown as it is, with a comment that says so, counted in *refused.
std::vector<std::wstring> Session::settingLines(const PanelSettings& s, const std::vector<int>& indices,
                                                int* refused) {
    std::vector<std::wstring> lines;
    for (int index : indices) {
        const uint32_t value = valueOf(s.user, index);
        if (const std::wstring why = refusal(index, value); !why.empty()) {
            lines.push_back(widen(formatAssignment(index, value)) + L" ; " + why);
            if (refused) ++*refused;
            continue;
        }
        std::wstring line = widen(formatAssignment(index, value));
        const int monitor = valueMonitor(index);
        auto onScreen = [&](const std::wstring& meaning) {
            return monitor ? t(IDS_C_SCREEN, {dec(static_cast<uint64_t>(monitor)), meaning}) : meaning;
        };
        static constexpr int kMeanings[] = {0, IDS_C_FREQ, IDS_C_DURATION, IDS_C_STD_FREQ, IDS_C_STD_DURATION};
        const ValueKind kind = valueKind(index);
        if (kind == ValueKind::Option || kind == ValueKind::MonitorOption) {
            lines.push_back(line);
            for (const std::wstring& words : describeOption(p_.host, value, kind == ValueKind::MonitorOption))
                lines.push_back(L"    ; " + onScreen(words));
            continue;
        }
        int meaning;
        if (kind == ValueKind::Area)
            meaning = index == valueIndex(val::kDHeight) ? IDS_C_HEIGHT : IDS_C_WIDTH;
        else  // Freq, Duration, StdFreq, StdDuration, globally or per monitor
            meaning = kMeanings[index < 7 ? index : (index - 7) / kMaxMonitors];
        line.resize(std::max(line.size() + 1, kMeaningColumn), L' ');
        lines.push_back(line + L"; " + onScreen(t(meaning)));
    }
    return lines;
}

std::vector<std::wstring> Session::layoutLines(const PanelSettings& s) {
    const std::wstring path = widen(key::kMultiParams);
    if (!s.multiMonitorDriver) return {L"; " + t(IDS_L_NONE, {path})};
    std::vector<std::wstring> lines{L"; " + t(IDS_L_TITLE, {path})};
    const MonitorLayoutBlock& l = s.layout;
    const int count = monitorCount(l.resolution);
    for (int i = 0; i < count; ++i)
        lines.push_back(L";   " +
                        t(IDS_L_SCREEN, {dec(static_cast<uint64_t>(i + 1)), dec(resolutionWidth(l.resolution[i])),
                                         dec(resolutionHeight(l.resolution[i])), withSigned(decodeOrigin(l.originX[i])),
                                         withSigned(decodeOrigin(l.originY[i]))}));
    if (count == 0) lines.push_back(L";   " + t(IDS_L_NO_SCREEN));
    lines.push_back(L";   " +
                    t(IDS_L_MODE, {dec(l.nComm), t(l.nComm & 1 ? IDS_ON : IDS_OFF), t(l.nComm & 2 ? IDS_YES : IDS_NO),
                                   dec(l.disableMode), t(l.disableMode & 1 ? IDS_OFF : IDS_ON)}));
    return lines;
}

int Session::show(const std::vector<std::wstring>& names) {
    std::vector<int> indices;
    bool unknown = false;
    for (const std::wstring& name : names) {
        std::string ascii;
        for (wchar_t c : name) ascii += c < 0x80 ? static_cast<char>(c) : '\x80';
        const int index = valueIndex(ascii);
        if (index < 0) {
            err(t(IDS_ERR_SHOW_NAME, {quoted(name)}));
            unknown = true;
        }
        indices.push_back(index);
    }
    if (unknown) return kExitInvalid;
    if (names.empty())
        for (int i = 0; i < static_cast<int>(valueNames().size()); ++i) indices.push_back(i);

    PanelSettings s;
    load(s);
    out(L"; " + t(IDS_SHOW_TITLE, {widen(key::kUser)}));
    if (!userKeyExists()) out(L"; " + t(IDS_SHOW_DEFAULTS));
    int refused = 0;
    for (const std::wstring& line : settingLines(s, indices, &refused)) out(line);
    if (names.empty())
        for (const std::wstring& line : layoutLines(s)) out(line);
    if (!refused) return kExitDone;
    err(t(IDS_WARN_SHOW_REFUSED, {dec(static_cast<uint64_t>(refused))}));
    return kExitStoredInvalid;
}

// ---------------------------------------------------------------- export, import, set

int Session::exportTo(const std::wstring& path) {
    PanelSettings s;
    load(s);
    std::vector<std::string> remarks(valueNames().size());
    int refused = 0;
    for (size_t i = 0; i < remarks.size(); ++i) {
        remarks[i] = utf8(refusal(static_cast<int>(i), valueOf(s.user, static_cast<int>(i))));
        if (!remarks[i].empty()) ++refused;
    }
    const std::wstring shown = quoted(path, kMaxQuotedPathChars);
    if (!p_.host.writeFile(path, exportSettings(s.user, kSuiteVersion, remarks))) {
        err(t(IDS_ERR_WRITE, {shown}));
        return kExitFailed;
    }
    out(t(IDS_DONE_EXPORT, {dec(valueNames().size()), shown}));
    if (!refused) return kExitDone;
    err(t(IDS_WARN_EXPORT_REFUSED, {dec(static_cast<uint64_t>(refused)), shown}));
    return kExitStoredInvalid;
}

int Session::refuse(const CheckedSettings& checked, const std::wstring& file) {
    for (const LineProblem& lp : checked.problems) {
        const std::wstring reason = t(lp.problem.messageId, lp.problem.args);
        err(file.empty() ? t(IDS_ERR_ARGUMENT, {dec(static_cast<uint64_t>(lp.line)), reason})
                         : t(IDS_ERR_LINE, {quoted(file, kMaxQuotedPathChars), dec(static_cast<uint64_t>(lp.line)),
                                            reason}));
    }
    err(t(IDS_ERR_NOTHING_WRITTEN));
    return kExitInvalid;
}

int Session::storeFailed(const StoreResult& result, const std::wstring& keyPath) {
    const std::wstring code = dec(static_cast<uint32_t>(result.error));
    if (result.failedValue.text[0])
        err(t(IDS_ERR_VALUE, {widen(result.failedValue.c_str()), keyPath, code}));
    else
        err(t(IDS_ERR_USER_KEY, {widen(key::kUser), code}));
    return kExitFailed;
}

int Session::storeMachine(const CheckedSettings& checked) {
    RegKey raw = 0;
    const long rc = p_.registry.open(RegRoot::LocalMachine, key::kPanelParams, kKeyRead | kKeySetValue, &raw);
    const std::wstring path = widen(key::kPanelParams);
    if (rc == kErrorAccessDenied) {
        err(t(IDS_ERR_ACCESS));
        return kExitAccessDenied;
    }
    if (rc == kErrorFileNotFound) {
        err(t(IDS_ERR_NO_DRIVER, {path}));
        return kExitNoDriver;
    }
    if (rc != kErrorSuccess || !raw) {
        err(t(IDS_ERR_MACHINE_KEY, {path, dec(static_cast<uint64_t>(rc))}));
        return kExitFailed;
    }
    ScopedKey seed(p_.registry, raw);
    // A file without values has had its rights and driver checked all the same.
    if (checked.values.empty()) return kExitDone;
    std::vector<bool> given(valueNames().size(), false);
    UserValues values;
    for (const Assignment& a : checked.values) {
        given[a.index] = true;
        valueField(values, a.index) = a.value;
    }
    // The agent reads the seed values in its own order; write them in that order too,
    // and stop at the first one refused: a deployment must not half-succeed unseen.
    StoreResult written;
    forEachUserValue(values, ValueOrder::Seeding, [&](const ValueName& name, uint32_t& field) {
        if (!written.ok() || !given[valueIndex(name.c_str())]) return;
        written.error = writeDword(p_.registry, seed.get(), name.c_str(), field);
        if (!written.ok()) written.failedValue = name;
    });
    if (!written.ok()) return storeFailed(written, L"HKLM\\" + path);
    out(t(IDS_DONE_MACHINE, {dec(checked.values.size()), path}));
    return kExitDone;
}

int Session::store(const CheckedSettings& checked, bool machine, bool noApply) {
    if (machine) return storeMachine(checked);
    // The record as the console would have it at start, changed as its pages would.
    PanelSettings s;
    load(s);
    for (const Assignment& a : checked.values) valueField(s.user, a.index) = a.value;
    s.dHeightEdit = static_cast<int>(s.user.dHeight);
    s.dWidthEdit = static_cast<int>(s.user.dWidth);
    const StoreResult stored = noApply ? saveUserValues(p_.registry, s)
                                       : SaveAndNotify(s, SavePorts{p_.registry, p_.driver, p_.sleeper, p_.agent});
    if (!stored.ok()) return storeFailed(stored, L"HKCU\\" + widen(key::kUser));
    out(t(IDS_DONE_USER, {dec(checked.values.size()), widen(key::kUser)}));
    if (!noApply) out(t(IDS_DONE_APPLIED));
    return kExitDone;
}

int Session::importFrom(const std::wstring& path, bool machine, bool noApply) {
    std::string bytes;
    const std::wstring shown = quoted(path, kMaxQuotedPathChars);
    if (!p_.host.readFile(path, kMaxFileBytes, &bytes)) {
        err(t(IDS_ERR_READ, {shown}));
        return kExitFailed;
    }
    const CheckedSettings checked = checkSettingsFile(bytes);
    if (!checked.ok()) return refuse(checked, path);
    // Nothing to change: no save, as the console's Apply saves nothing without a change;
    // but a deployment still learns that the machine key is out of its reach.
    if (checked.values.empty()) {
        if (machine)
            if (const int code = storeMachine(checked); code != kExitDone) return code;
        out(t(IDS_DONE_NOTHING, {shown}));
        return kExitDone;
    }
    return store(checked, machine, noApply);
}

int Session::set(const std::vector<std::wstring>& assignments, bool machine, bool noApply) {
    const CheckedSettings checked = checkSettingsArguments(assignments);
    if (!checked.ok()) return refuse(checked, L"");
    return store(checked, machine, noApply);
}

// ---------------------------------------------------------------- report

void Session::reportFiles() {
    const std::wstring folder = p_.host.installFolder();
    out(t(IDS_R_FILES, {folder}));
    for (const wchar_t* name : kSuiteFiles) {
        const FileFacts f = p_.host.fileFacts(folder + L"\\" + name);
        out(f.present ? t(IDS_R_FILE, {name, dec(f.size), f.version.empty() ? L"-" : f.version})
                      : t(IDS_R_FILE_MISSING, {name}));
    }
}

// Prints the driver's version and panels; returns the port numbers worth
// looking up calibration tables for.
std::set<uint32_t> Session::reportDriver() {
    std::set<uint32_t> ports;
    for (const char* path : {key::kPanelParams, key::kMultiParams}) {
        RegKey raw = 0;
        if (p_.registry.open(RegRoot::LocalMachine, path, kKeyRead, &raw) != kErrorSuccess || !raw) {
            if (path == key::kPanelParams) out(t(IDS_R_NO_DRIVER_KEY, {widen(path)}));
            continue;
        }
        ScopedKey k(p_.registry, raw);
        if (path == key::kPanelParams) {
            char version[kVersionMaxBytes];
            readString(p_.registry, k.get(), val::kVersion, version, sizeof version);
            // The driver's installer writes the version in the system's code page.
            out(t(IDS_R_DRIVER_VERSION, {version[0] ? p_.host.ansiToWide(version) : t(IDS_R_EMPTY)}));
        }
        uint32_t next = 0;
        readDword(p_.registry, k.get(), val::kSavePort, &next);
        for (uint32_t port = 0; port < next && port < kMaxProbedPorts; ++port) ports.insert(port);
    }

    const std::wstring device = widen(kPanelDevicePath);
    out(t(IDS_R_PANELS, {device}));
    Device d(p_.driver, kPanelDevicePath);
    uint8_t bytes[kPanelIdTableSize] = {};
    if (!d) {
        out(L"  " + t(IDS_R_NO_DEVICE, {device}));
    } else if (!d.send(req::kGetPanelIds, nullptr, 0, bytes, sizeof bytes)) {
        out(L"  " + t(IDS_R_REFUSED));
    } else {
        const PanelIdTable table = decodePanelIdTable(bytes);
        bool any = false;
        for (int slot = 0; slot < kPanelSlots; ++slot) {
            if (table.port[slot] == kEmptySlot) continue;
            any = true;
            out(L"  " + t(IDS_R_SLOT, {dec(static_cast<uint64_t>(slot + 1)), withSigned(table.port[slot])}));
            if (table.port[slot] >= 0) ports.insert(static_cast<uint32_t>(table.port[slot]));
        }
        if (!any) out(L"  " + t(IDS_R_NO_PANELS));
    }
    return ports;
}

void Session::reportCalibration(const std::set<uint32_t>& ports) {
    out(t(IDS_R_CAL, {widen(key::kUser)}));
    RegKey raw = 0;
    if (p_.registry.open(RegRoot::CurrentUser, key::kUser, kKeyRead, &raw) != kErrorSuccess) raw = 0;
    ScopedKey user(p_.registry, raw);
    bool any = false;
    for (uint32_t port : ports) {
        std::wstring tables;
        for (const CalibrationTableKind& kind : kCalibrationKinds) {
            const ValueName name = calibrationValueName(kind, static_cast<int32_t>(port));
            uint8_t probe[1];
            uint32_t type = 0, size = 0;
            if (!user) break;
            const long rc = p_.registry.query(user.get(), name.c_str(), &type, probe, &size);
            if (rc != kErrorSuccess && rc != kErrorMoreData) continue;
            const std::wstring entry = size > kind.maxBytes
                                           ? t(IDS_R_CAL_TOO_LONG, {widen(name.c_str()), dec(size), dec(kind.maxBytes)})
                                           : t(IDS_R_CAL_TABLE, {widen(name.c_str()), dec(size)});
            tables += (tables.empty() ? L"" : L", ") + entry;
        }
        if (tables.empty()) continue;
        any = true;
        out(L"  " + t(IDS_R_CAL_PORT, {dec(port), tables}));
    }
    if (!any) out(L"  " + t(IDS_R_CAL_NONE));
}

// What Taptest kept of the last accuracy check: support's first question.
void Session::reportTouchCheck() {
    out(t(IDS_R_CHECK, {widen(check::kRecordKey)}));
    check::Record r;
    const check::LoadResult loaded = check::loadRecord(p_.registry, &r);
    if (loaded != check::LoadResult::Loaded) {
        out(L"  " + t(loaded == check::LoadResult::None ? IDS_R_CHECK_NONE : IDS_R_CHECK_UNREADABLE));
        return;
    }
    auto two = [](uint16_t v) { return std::wstring(v < 10 ? L"0" : L"") + dec(v); };
    const std::wstring when = dec(r.time.year) + L"-" + two(r.time.month) + L"-" + two(r.time.day) + L" " +
                              two(r.time.hour) + L":" + two(r.time.minute) + L":" + two(r.time.second);
    wchar_t a[16], b[16], c[16], d[16];
    check::formatHundredths(r.tolerance, a, 16);
    out(L"  " +
        t(IDS_R_CHECK_WHERE, {when, r.screen ? t(IDS_R_CHECK_SCREEN, {dec(r.screen)}) : t(IDS_R_CHECK_PRIMARY),
                              dec(static_cast<uint64_t>(r.monitor.width)), dec(static_cast<uint64_t>(r.monitor.height)),
                              withSigned(r.monitor.left), withSigned(r.monitor.top), a}));
    for (int i = 0; i < check::kTargetCount; ++i) {
        const check::Offset& o = r.offsets[i];
        const check::Offset one[check::kTargetCount] = {o, o, o, o, o};
        check::formatSigned(o.dx, a, 16);
        check::formatSigned(o.dy, b, 16);
        check::formatTenths(check::summarize(one, r.monitor, r.tolerance).maxMilliPx, c, 16);
        out(L"  " + t(IDS_R_CHECK_TARGET, {t(IDS_R_TARGET_FIRST + i), a, b, c}));
    }
    const check::Summary s = check::summarize(r.offsets, r.monitor, r.tolerance);
    check::formatTenths(s.maxMilliPx, a, 16);
    check::formatHundredths(s.maxHundredths, b, 16);
    check::formatTenths(s.meanMilliPx, c, 16);
    check::formatHundredths(s.meanHundredths, d, 16);
    out(L"  " + t(IDS_R_CHECK_SUMMARY, {a, b, c, d, t(r.pass ? IDS_R_CHECK_PASS : IDS_R_CHECK_FAIL)}));
}

int Session::report() {
    out(t(IDS_R_TITLE));
    out(t(IDS_R_SUITE, {widen(kSuiteVersion)}));
    reportFiles();
    const std::set<uint32_t> ports = reportDriver();
    reportCalibration(ports);
    reportTouchCheck();
    PanelSettings s;
    load(s);
    for (const std::wstring& line : layoutLines(s)) out(line.substr(2));
    out(t(IDS_R_AGENT, {t(p_.agent.findAgentWindow() ? IDS_R_RUNNING : IDS_R_NOT_RUNNING)}));
    out(t(IDS_R_WINDOWS, {p_.host.windowsVersion(), dec(p_.host.codePage())}));
    out(t(IDS_R_SETTINGS));
    std::vector<int> all;
    for (int i = 0; i < static_cast<int>(valueNames().size()); ++i) all.push_back(i);
    if (!userKeyExists()) out(L"; " + t(IDS_SHOW_DEFAULTS));
    for (const std::wstring& line : settingLines(s, all)) out(line);
    return kExitDone;
}

bool isSwitch(const std::wstring& arg) { return !arg.empty() && (arg[0] == L'/' || arg[0] == L'-'); }

bool isHelp(const std::wstring& arg) {
    const std::wstring a = lower(arg);
    return a == L"/?" || a == L"-?" || a == L"/h" || a == L"-h" || a == L"--help";
}

}  // namespace

std::wstring fill(const std::wstring& pattern, const std::vector<std::wstring>& args) {
    std::wstring out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t c = pattern[i];
        if (c == L'%' && i + 1 < pattern.size() && pattern[i + 1] >= L'1' && pattern[i + 1] <= L'9') {
            const size_t n = static_cast<size_t>(pattern[++i] - L'1');
            if (n < args.size()) out += args[n];
            continue;
        }
        out += c;
    }
    return out;
}

std::vector<std::wstring> describeOption(HostPort& host, uint32_t option, bool perMonitor) {
    auto t = [&](int id, const std::vector<std::wstring>& args = {}) { return fill(host.text(id), args); };
    auto onOff = [&](bool on) { return t(on ? IDS_ON : IDS_OFF); };
    auto kindName = [&](uint32_t kind) {
        return kind < kSoundKinds ? t(IDS_KIND0 + static_cast<int>(kind)) : t(IDS_R_UNKNOWN);
    };
    const uint32_t kind = (option & opt::kKindMask) >> opt::kKindShift;
    const uint32_t stdKind = (option & opt::kStdKindMask) >> 8;
    std::vector<std::wstring> lines{
        t(IDS_W_SOUND, {onOff(option & opt::kSoundOn), t(option & opt::kBeepAtTouch ? IDS_AT_TOUCH : IDS_AT_RELEASE),
                        kindName(kind), dec(kind)}),
        t(IDS_W_STD, {onOff(option & opt::kStdSoundOn), t(option & opt::kStdTouchOn ? IDS_AT_TOUCH : IDS_AT_RELEASE),
                      kindName(stdKind), dec(stdKind)}),
    };
    if (perMonitor) return lines;
    lines.push_back(t(IDS_W_SAME, {t(option & opt::kSameSoundAllMonitors ? IDS_SAME_ALL : IDS_SAME_OWN)}));
    // The right-click page reads the key with Alt before Shift before Ctrl.
    const int key = option & opt::kKeyAlt     ? IDS_KEY_ALT
                    : option & opt::kKeyShift ? IDS_KEY_SHIFT
                    : option & opt::kKeyCtrl  ? IDS_KEY_CTRL
                                              : IDS_KEY_NONE;
    lines.push_back(t(IDS_W_RIGHT, {onOff(option & opt::kKeyRightClick), t(key),
                                    t(option & opt::kKeyHeld ? IDS_KEY_HELD : IDS_KEY_ONCE)}));
    lines.push_back(t(IDS_W_MODE, {t(option & opt::kPointMode ? IDS_MODE_POINT : IDS_MODE_STREAM)}));
    lines.push_back(t(IDS_W_MODE_CHOICE, {t(option & opt::kOfferOperateMode ? IDS_SHOWN : IDS_HIDDEN)}));
    lines.push_back(t(IDS_W_CURSOR, {t(option & opt::kHideCursor ? IDS_HIDDEN : IDS_SHOWN)}));
    lines.push_back(t(IDS_W_ICONS, {onOff(option & opt::kTrayIcon), onOff(option & opt::kFloatingIcon)}));
    // 20 is tested first, then 12; none set reads as 9, as on the calibration page.
    const uint32_t points = option & opt::kCal20 ? 20 : option & opt::kCal12 ? 12 : 9;
    lines.push_back(t(IDS_W_CALIBRATION, {dec(points)}));
    if (option & opt::kDriverReserved) lines.push_back(t(IDS_W_DRIVER_BITS, {hexText(opt::kDriverReserved)}));
    return lines;
}

int run(const CfgPorts& ports, const std::vector<std::wstring>& args) {
    Session s(ports);
    if (args.empty() || std::any_of(args.begin(), args.end(), isHelp)) {
        s.out(s.t(IDS_USAGE));
        return kExitDone;
    }
    const std::wstring verb = lower(args[0]);
    std::vector<std::wstring> operands;
    bool machine = false, noApply = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring a = lower(args[i]);
        if (a == L"/machine" || a == L"-machine")
            machine = true;
        else if (a == L"/noapply" || a == L"-noapply")
            noApply = true;
        else if (isSwitch(args[i]))
            return s.usageError(args);
        else
            operands.push_back(args[i]);
    }
    const bool writes = verb == L"import" || verb == L"set";
    if ((machine || noApply) && !writes) return s.usageError(args);
    if (verb == L"show") return s.show(operands);
    if (verb == L"export" && operands.size() == 1) return s.exportTo(operands[0]);
    if (verb == L"import" && operands.size() == 1) return s.importFrom(operands[0], machine, noApply);
    if (verb == L"set" && !operands.empty()) return s.set(operands, machine, noApply);
    if (verb == L"report" && operands.empty()) return s.report();
    return s.usageError(args);
}

}  // namespace tp::cfg
