#include "settings_file.h"


#include "tapcfg_ids.h"
#include "text.h"

namespace tp::cfg {

namespace {

// Bits no part of the suite gives a meaning to.
constexpr uint32_t kUnassignedBits = 0x00000003u | 0xE0000000u;
constexpr uint32_t kCalibrationBits = opt::kCal9 | opt::kCal12 | opt::kCal20;
constexpr uint32_t kKeyBits = opt::kKeyCtrl | opt::kKeyShift | opt::kKeyAlt;
constexpr uint32_t kStdKindShift = 8;

struct Range {
    uint32_t low, high;
};
// What the sound page's sliders and the click page's sliders can set.
constexpr Range kFreqRange{37, 10000};
constexpr Range kDurationRange{1, 1000};
constexpr Range kAreaRange{2, 66};

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return i == a.size() && !b[i];
}

int bitCount(uint32_t v) {
    int n = 0;
    for (; v; v &= v - 1) ++n;
    return n;
}

std::wstring decimal(uint32_t v) { return decimalText(v); }

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

// Decimal or 0x hexadecimal, unsigned, at most 32 bits.
bool parseNumber(const std::string& text, uint32_t* out) {
    const bool isHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t start = isHex ? 2 : 0;
    if (text.size() <= start) return false;
    uint64_t v = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const char c = lowerAscii(text[i]);
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (isHex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        v = v * (isHex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (v > 0xFFFFFFFFu) return false;
    }
    *out = static_cast<uint32_t>(v);
    return true;
}

Problem problem(int id, std::vector<std::wstring> args = {}) { return Problem{id, std::move(args)}; }

std::wstring quotedText(const std::string& text) { return quoted(widen(text)); }

Problem checkRange(int index, uint32_t value, Range r) {
    if (value >= r.low && value <= r.high) return {};
    return problem(IDS_BAD_RANGE, {widen(valueNames()[index].c_str()), decimal(r.low), decimal(r.high)});
}

Problem checkSoundKinds(const std::wstring& name, uint32_t value) {
    for (uint32_t kind : {(value & opt::kKindMask) >> opt::kKindShift, (value & opt::kStdKindMask) >> kStdKindShift})
        if (kind >= kSoundKinds) return problem(IDS_BAD_KIND, {name, decimal(kind)});
    return {};
}

// One "Name=Value" line, comment already removed; problems go to out.
void checkAssignment(const std::string& text, int line, std::vector<int>& firstLine, CheckedSettings& out) {
    for (unsigned char c : text)
        if (c >= 0x80 || (c < 0x20 && c != '\t')) {
            out.problems.push_back({line, problem(IDS_BAD_TEXT)});
            return;
        }
    const size_t eq = text.find('=');
    if (eq == std::string::npos) {
        out.problems.push_back({line, problem(IDS_BAD_SYNTAX)});
        return;
    }
    const std::string name = trim(text.substr(0, eq));
    const std::string number = trim(text.substr(eq + 1));
    const int index = valueIndex(name);
    if (index < 0) {
        out.problems.push_back({line, problem(IDS_BAD_NAME, {quotedText(name)})});
        return;
    }
    const std::wstring canonical = widen(valueNames()[index].c_str());
    if (firstLine[index]) {
        out.problems.push_back({line, problem(IDS_BAD_TWICE, {canonical})});
        return;
    }
    firstLine[index] = line;
    uint32_t value = 0;
    if (!parseNumber(number, &value)) {
        out.problems.push_back({line, problem(IDS_BAD_NUMBER, {quotedText(number)})});
        return;
    }
    if (Problem p = checkValue(index, value); p.messageId) {
        out.problems.push_back({line, p});
        return;
    }
    out.values.push_back({index, value});
}

// The file as single-byte text: a UTF-8 mark dropped, UTF-16LE narrowed
// (anything beyond ASCII becomes a byte the line check refuses).
std::string asSingleBytes(const std::string& bytes) {
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        std::string out;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const unsigned unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
            out += unit < 0x80 ? static_cast<char>(unit) : '\x80';
        }
        return out;
    }
    return bytes;
}

}  // namespace

std::wstring quoted(const std::wstring& text, size_t maxChars) {
    return text.size() <= maxChars ? text : text.substr(0, maxChars) + L"...";
}

std::wstring widen(const std::string& ascii) {
    std::wstring out;
    for (unsigned char c : ascii) out += static_cast<wchar_t>(c);
    return out;
}

const std::vector<ValueName>& valueNames() {
    static const std::vector<ValueName> names = [] {
        std::vector<ValueName> n;
        UserValues v;
        forEachUserValue(v, ValueOrder::ConsoleSave, [&](const ValueName& name, uint32_t&) { n.push_back(name); });
        return n;
    }();
    return names;
}

int valueIndex(const std::string& name) {
    const auto& names = valueNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (sameName(name, names[i].c_str())) return static_cast<int>(i);
    return -1;
}

uint32_t& valueField(UserValues& v, int index) {
    uint32_t* found = &v.option;
    int i = 0;
    forEachUserValue(v, ValueOrder::ConsoleSave, [&](const ValueName&, uint32_t& field) {
        if (i++ == index) found = &field;
    });
    return *found;
}

uint32_t valueOf(const UserValues& v, int index) {
    UserValues copy = v;
    return valueField(copy, index);
}

// The console's order: Option, Freq, Duration, StdFreq, StdDuration, DHeight,
// DWidth, then nine each of Option, Freq, Duration, StdFreq, StdDuration.
ValueKind valueKind(int index) {
    static constexpr ValueKind kGlobal[] = {ValueKind::Option,   ValueKind::Freq, ValueKind::Duration, ValueKind::Freq,
                                            ValueKind::Duration, ValueKind::Area, ValueKind::Area};
    static constexpr ValueKind kPerMonitor[] = {ValueKind::MonitorOption, ValueKind::Freq, ValueKind::Duration,
                                                ValueKind::Freq, ValueKind::Duration};
    if (index < 7) return kGlobal[index];
    return kPerMonitor[(index - 7) / kMaxMonitors];
}

int valueMonitor(int index) { return index < 7 ? 0 : (index - 7) % kMaxMonitors + 1; }

Problem checkValue(int index, uint32_t value) {
    const std::wstring name = widen(valueNames()[index].c_str());
    switch (valueKind(index)) {
        case ValueKind::Freq:
            return checkRange(index, value, kFreqRange);
        case ValueKind::Duration:
            return checkRange(index, value, kDurationRange);
        case ValueKind::Area:
            return checkRange(index, value, kAreaRange);
        case ValueKind::Option:
        case ValueKind::MonitorOption:
            if (value & kUnassignedBits) return problem(IDS_BAD_BITS, {name, hexText(value & kUnassignedBits)});
            if (Problem p = checkSoundKinds(name, value); p.messageId) return p;
            // A per-monitor word carries its other bits along uninterpreted.
            if (valueKind(index) == ValueKind::MonitorOption) return {};
            if (bitCount(value & kCalibrationBits) > 1) return problem(IDS_BAD_CALIBRATION, {name});
            if (bitCount(value & kKeyBits) > 1) return problem(IDS_BAD_KEYS, {name});
            return {};
    }
    return {};
}

CheckedSettings checkSettingsFile(const std::string& bytes) {
    const std::string text = asSingleBytes(bytes);
    CheckedSettings out;
    std::vector<int> firstLine(valueNames().size(), 0);
    int line = 0;
    for (size_t pos = 0; pos <= text.size();) {
        // A lone CR ends a line too: read as part of a line, a comment before
        // it would swallow the values after it unseen.
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        ++line;
        std::string content = text.substr(pos, end - pos);
        if (const size_t semicolon = content.find(';'); semicolon != std::string::npos) content.resize(semicolon);
        content = trim(content);
        if (!content.empty()) checkAssignment(content, line, firstLine, out);
        pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return out;
}

CheckedSettings checkSettingsArguments(const std::vector<std::wstring>& arguments) {
    CheckedSettings out;
    std::vector<int> firstLine(valueNames().size(), 0);
    int number = 0;
    for (const std::wstring& argument : arguments) {
        std::string text;
        for (wchar_t c : argument) text += c < 0x80 ? static_cast<char>(c) : '\x80';
        // "Freq=1200 ; kiosk" as a file line would have it.
        if (const size_t semicolon = text.find(';'); semicolon != std::string::npos) text.resize(semicolon);
        ++number;
        if (const std::string content = trim(text); !content.empty())
            checkAssignment(content, number, firstLine, out);
        else
            out.problems.push_back({number, problem(IDS_BAD_SYNTAX)});
    }
    return out;
}

std::string formatAssignment(int index, uint32_t value) {
    const ValueKind kind = valueKind(index);
    const bool asHex = kind == ValueKind::Option || kind == ValueKind::MonitorOption;
    const std::wstring number = asHex ? hexText(value) : decimalText(value);
    return std::string(valueNames()[index].c_str()) + "=" + std::string(number.begin(), number.end());
}

std::string exportSettings(const UserValues& v, const char* version, const std::vector<std::string>& remarks) {
    std::string out = "; USB TouchPanel user settings, written by Tapcfg ";
    out += version;
    out += "\r\n; Name=Value, numbers in decimal or 0x hexadecimal; read by \"tapcfg import FILE\".\r\n";
    for (size_t i = 0; i < valueNames().size(); ++i) {
        out += formatAssignment(static_cast<int>(i), valueOf(v, static_cast<int>(i)));
        if (i < remarks.size() && !remarks[i].empty()) out += " ; " + remarks[i];
        out += "\r\n";
    }
    return out;
}

}  // namespace tp::cfg
