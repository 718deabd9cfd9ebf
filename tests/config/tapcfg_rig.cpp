#include "tapcfg_rig.h"

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include "driver_protocol.h"

namespace tp::cfg::test {

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The rc file's text of a string: "" is a quote, \\ a backslash, \n a line end.
std::wstring unescape(const std::string& rc) {
    std::wstring out;
    for (size_t i = 0; i < rc.size(); ++i) {
        if (rc[i] == '"' && i + 1 < rc.size() && rc[i + 1] == '"') {
            out += L'"';
            ++i;
        } else if (rc[i] == '\\' && i + 1 < rc.size()) {
            out += rc[i + 1] == 'n' ? L'\n' : static_cast<wchar_t>(rc[i + 1]);
            ++i;
        } else {
            out += static_cast<wchar_t>(static_cast<unsigned char>(rc[i]));
        }
    }
    return out;
}

}  // namespace

FakeHost::FakeHost() {
    std::map<std::string, int> ids;
    const std::string header = slurp(TAPCFG_SOURCE_DIR "/tapcfg_ids.h");
    const std::regex define(R"(#define (IDS_\w+) (\d+))");
    for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it)
        ids[(*it)[1]] = std::stoi((*it)[2]);
    std::istringstream rc(slurp(TAPCFG_SOURCE_DIR "/tapcfg_en.rc"));
    const std::regex entry(R"re(^\s*(IDS_\w+),\s*"(.*)"\s*$)re");
    for (std::string line; std::getline(rc, line);) {
        std::smatch m;
        if (std::regex_match(line, m, entry) && ids.count(m[1])) strings_[ids[m[1]]] = unescape(m[2]);
    }
}

std::wstring FakeHost::text(int id) {
    auto it = strings_.find(id);
    return it != strings_.end() ? it->second : L"<missing " + std::to_wstring(id) + L">";
}

bool FakeHost::readFile(const std::wstring& path, size_t maxBytes, std::string* bytes) {
    auto it = files.find(path);
    if (it == files.end() || it->second.size() > maxBytes) return false;
    *bytes = it->second;
    return true;
}

bool FakeHost::writeFile(const std::wstring& path, const std::string& bytes) {
    if (!writable) return false;
    files[path] = bytes;
    return true;
}

std::wstring FakeHost::ansiToWide(const std::string& text) {
    std::wstring out;
    for (unsigned char c : text) out += c == 0x80 ? L'\u20AC' : c == 0x99 ? L'\u2122' : static_cast<wchar_t>(c);
    return out;
}

FileFacts FakeHost::fileFacts(const std::wstring& path) {
    auto it = facts.find(path);
    return it != facts.end() ? it->second : FileFacts{};
}

CfgRig::CfgRig() {
    registry.sequence = &sequence;
    sleeper.sequence = &sequence;
    agent.sequence = &sequence;
    registry.addKey(kPanel);  // as an installed driver leaves it
    for (uint32_t code : {req::kSetMonitorLayout, req::kSignalSettingsChanged})
        driver.onRequest(code, [this, code](const std::vector<uint8_t>&) {
            char text[32];
            std::snprintf(text, sizeof text, "ioctl 0x%06x", code);
            sequence.push_back(text);
        });
}

int CfgRig::run(std::vector<std::wstring> args) {
    return cfg::run(CfgPorts{registry, driver, sleeper, agent, host}, args);
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

}  // namespace tp::cfg::test
