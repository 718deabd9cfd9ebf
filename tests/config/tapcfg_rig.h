// Tapcfg over fakes: the suite's registry and driver fakes, a host that
// keeps files and output and renders the English string table, and an agent
// window that records what it is sent. sequence interleaves registry writes
// ("reg Option"), driver requests ("ioctl 0x22200c"), agent messages
// ("copydata 236") and sleeps ("sleep 1000") in the order they happened.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "fake_driver.h"
#include "fake_save_path.h"
#include "tapcfg.h"

namespace tp::cfg::test {

inline constexpr char kUser[] = "HKCU\\Software\\Korvane Component\\USB";
inline constexpr char kPanel[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\TAPTPU\\Parameters";
inline constexpr char kMulti[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\QTXTPU\\Parameters";

class FakeHost : public HostPort {
public:
    FakeHost();
    std::wstring out, err;
    std::map<std::wstring, std::string> files;
    std::map<std::wstring, FileFacts> facts;
    bool writable = true;

    std::wstring text(int id) override;
    void write(Stream stream, const std::wstring& text) override { (stream == Stream::Out ? out : err) += text; }
    bool readFile(const std::wstring& path, size_t maxBytes, std::string* bytes) override;
    bool writeFile(const std::wstring& path, const std::string& bytes) override;
    uint32_t codePage() override { return 1252; }
    // Code page 1252 where it differs from Latin-1 in the bytes tests use.
    std::wstring ansiToWide(const std::string& text) override;
    std::wstring windowsVersion() override { return L"5.1.2600 Service Pack 3"; }
    std::wstring installFolder() override { return L"C:\\Program Files\\QTX\\PNL\\USBPNL"; }
    FileFacts fileFacts(const std::wstring& path) override;

private:
    std::map<int, std::wstring> strings_;
};

using FakeAgent = tp::test::FakeAgentLink;
using tp::test::SequencedRegistry;
using tp::test::SequencedSleep;

struct CfgRig {
    CfgRig();
    // Runs "tapcfg ARGS..." and returns its exit code.
    int run(std::vector<std::wstring> args);

    std::vector<std::string> sequence;
    SequencedRegistry registry;
    tp::test::FakeDriver driver;
    SequencedSleep sleeper;
    FakeAgent agent;
    FakeHost host;
};

std::string narrow(const std::wstring& text);

}  // namespace tp::cfg::test
