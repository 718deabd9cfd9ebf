// The package's SETTINGS=FILE: a good file becomes the machine's defaults for
// new users; a file Tapcfg refuses fails the installation, with Tapcfg's
// reason in the installer's log, and leaves nothing installed or written.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "msi_common.h"
#include "settings.h"

namespace {

using namespace msiwine;
const HKEY kHklm = HKEY_LOCAL_MACHINE;
const std::string kLog = "C:\\windows\\temp\\suite-msiexec.log";

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// The log as text, whether Wine wrote it in UTF-16 or in bytes.
std::string readLog() {
    std::ifstream in(kLog, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string text;
    for (char c : s.str())
        if (c) text += c;
    return text;
}

void badFileFailsTheInstall(const Packages& p) {
    tpt::group("a file Tapcfg refuses fails the installation and the log says why");
    if (!TPT_CHECK(removeInstalled())) return;
    const std::string file = "C:\\windows\\temp\\tapcfg_bad_defaults.txt";
    writeText(file, "Freq=2000\r\nDuration=0\r\n");
    const long code = msiexec("/i \"" + p.current + "\" SETTINGS=\"" + file + "\" /qn");
    TPT_CHECK_EQ(code, 1603L);
    TPT_CHECK(installedProducts().empty());
    TPT_CHECK(!fileExists(tpt::installPath("Tapcfg.exe")));
    TPT_CHECK(!tpt::reg::getDword(kHklm, tp::key::kPanelParams, "Freq").has_value());
    const std::string log = readLog();
    TPT_CHECK_MSG(log.find(file + ", line 2: Duration must be from 1 to 1000") != std::string::npos, log);
    DeleteFileA(file.c_str());
}

void goodFileSetsMachineDefaults(const Packages& p) {
    tpt::group("a good file becomes the machine defaults; without SETTINGS nothing is imported");
    if (!TPT_CHECK(removeInstalled())) return;
    const std::string file = "C:\\windows\\temp\\tapcfg_defaults.txt";
    writeText(file, "; fleet defaults\r\nFreq=1500\r\nOption=0x1A0900A4\r\n");
    TPT_CHECK_EQ(msiexec("/i \"" + p.current + "\" SETTINGS=\"" + file + "\" /qn"), 0L);
    TPT_CHECK_EQ(tpt::reg::getDword(kHklm, tp::key::kPanelParams, "Freq"), std::optional<uint32_t>(1500));
    TPT_CHECK_EQ(tpt::reg::getDword(kHklm, tp::key::kPanelParams, "Option"), std::optional<uint32_t>(0x1A0900A4));
    TPT_CHECK(!tpt::reg::getDword(kHklm, tp::key::kPanelParams, "Duration").has_value());
    TPT_CHECK(removeInstalled());
    // The defaults belong to the machine, not to the package: a removal keeps them.
    TPT_CHECK_EQ(tpt::reg::getDword(kHklm, tp::key::kPanelParams, "Freq"), std::optional<uint32_t>(1500));

    TPT_CHECK(tpt::reg::deleteValue(kHklm, tp::key::kPanelParams, "Freq"));
    TPT_CHECK_EQ(msiexec("/i \"" + p.current + "\" /qn"), 0L);
    TPT_CHECK(!tpt::reg::getDword(kHklm, tp::key::kPanelParams, "Freq").has_value());
    TPT_CHECK(removeInstalled());
    DeleteFileA(file.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const Packages p = packages(argc, argv);
    badFileFailsTheInstall(p);
    goodFileSetsMachineDefaults(p);
    return tpt::finish();
}
