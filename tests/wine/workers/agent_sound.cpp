// Which sound a touch plays, seen end to end: the agent runs with Wine's
// relay trace limited to Beep and MessageBeep (WINEDEBUG=+relay with
// HKCU\Software\Wine\Debug RelayInclude), written to a file, and the
// scenario reads the calls back.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "agent_common.h"
#include "settings.h"

namespace {

using namespace agentwine;
namespace req = tp::req;

const char kDebugKey[] = "Software\\Wine\\Debug";
// The agent inherits this program's standard error, where Wine writes its
// trace; the harness sends that to a file, whose Linux path is the argument.
std::string tracePath;

std::string readTrace() {
    std::ifstream in(tpt::windowsPath(tracePath), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int countOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

HANDLE startTracedAgent() {
    SetEnvironmentVariableA("WINEDEBUG", "+relay");
    HANDLE process = tpt::startProgram("\"" + tpt::installPath("Tapagent.exe") + "\" runonce");
    SetEnvironmentVariableA("WINEDEBUG", nullptr);
    return process;
}

std::vector<uint8_t> settingsBlock(uint32_t option, uint32_t freq, uint32_t duration) {
    std::vector<uint8_t> bytes(236, 0);
    tp::put32(bytes.data() + 4, freq);
    tp::put32(bytes.data() + 8, duration);
    tp::put32(bytes.data() + 12, option);
    for (int i = 0; i < 9; ++i) {
        tp::put32(bytes.data() + 20 + 4 * i, 1000);
        tp::put32(bytes.data() + 56 + 4 * i, 50);
        tp::put32(bytes.data() + 92 + 4 * i, 0xA0);
    }
    return bytes;
}

void sendSettings(HWND window, const std::vector<uint8_t>& bytes) {
    COPYDATASTRUCT cds{0, static_cast<DWORD>(bytes.size()), const_cast<uint8_t*>(bytes.data())};
    SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
}

bool touch(tpt::Sim& sim, uint32_t word) {
    sim.mark();
    if (!sim.injectEvent(word)) return false;
    if (!waitRequests(sim, req::kRegisterPanelEvent, 1, 3000)) return false;
    Sleep(200);  // the sound comes after the registration, a tone on its own thread
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    tpt::group("the agent runs with Beep and MessageBeep traced");
    tracePath = argc > 1 ? argv[1] : "";
    TPT_CHECK(tpt::reg::setString(HKEY_CURRENT_USER, kDebugKey, "RelayInclude",
                                  "KERNEL32.Beep;KERNELBASE.Beep;user32.MessageBeep"));
    const uint32_t common = tp::opt::kSameSoundAllMonitors | tp::opt::kSoundOn;
    // Common settings, sound at touch, kind 4: the critical-stop system sound.
    TPT_CHECK(tpt::reg::setDword(HKEY_CURRENT_USER, kUserKey, "Option", common | tp::opt::kBeepAtTouch | 0x4000));
    tpt::Sim sim;
    sim.mark();
    HANDLE process = startTracedAgent();
    TPT_CHECK(process != nullptr);
    HWND window = nullptr;
    TPT_CHECK(tpt::waitUntil([&] { return (window = agentWindow()) != nullptr; }, 15000, 20));
    TPT_CHECK(waitRequests(sim, req::kRegisterPanelEvent, 1, 10000));
    Sleep(500);
    TPT_CHECK_MSG(readTrace().find("RelayInclude") != std::string::npos,
                  "the trace is readable at " + tracePath + " (run by the harness?)");
    if (!window) return tpt::finish();

    tpt::group("kind 4 at touch: MessageBeep(MB_ICONHAND) for the touch, nothing for the release");
    TPT_CHECK(touch(sim, tp::encodePanelEvent(0, tp::kEventTouch)));
    TPT_CHECK(touch(sim, tp::encodePanelEvent(0, tp::kEventRelease)));
    std::string trace = readTrace();
    TPT_CHECK_EQ(countOf(trace, "Call user32.MessageBeep(00000010)"), 1);
    TPT_CHECK_EQ(countOf(trace, "Call user32.MessageBeep("), 1);
    TPT_CHECK_EQ(countOf(trace, "Call KERNEL32.Beep("), 0);

    tpt::group("kind 0 at release: a tone of Freq Hz for Duration ms");
    sendSettings(window, settingsBlock(common, 1234, 40));
    TPT_CHECK(touch(sim, tp::encodePanelEvent(0, tp::kEventTouch)));
    TPT_CHECK(touch(sim, tp::encodePanelEvent(5, tp::kEventSecondaryRelease)));
    trace = readTrace();
    TPT_CHECK_EQ(countOf(trace, "Call KERNEL32.Beep(000004d2,00000028)"), 1);
    TPT_CHECK_EQ(countOf(trace, "Call user32.MessageBeep("), 1);

    tpt::group("per-monitor settings: monitor 3 follows Option3, Freq3, Duration3");
    std::vector<uint8_t> block = settingsBlock(tp::opt::kSoundOn, 1234, 40);      // common word: per monitor
    tp::put32(block.data() + 20 + 8, 2500);                                       // Freq3
    tp::put32(block.data() + 56 + 8, 30);                                         // Duration3
    tp::put32(block.data() + 92 + 8, tp::opt::kSoundOn | tp::opt::kBeepAtTouch);  // Option3
    sendSettings(window, block);
    TPT_CHECK(touch(sim, 0x20000000));
    TPT_CHECK(touch(sim, 0x10000000));  // monitor 2 keeps 0xA0: sound off
    trace = readTrace();
    TPT_CHECK_EQ(countOf(trace, "Call KERNEL32.Beep(000009c4,0000001e)"), 1);
    TPT_CHECK_EQ(countOf(trace, "Call KERNEL32.Beep("), 2);

    tpt::group("the agent ends");
    PostMessageA(window, WM_DESTROY, 0, 0);
    DWORD code = 1;
    TPT_CHECK(waitExit(process, 10000, &code));
    CloseHandle(process);
    tpt::reg::deleteValue(HKEY_CURRENT_USER, kDebugKey, "RelayInclude");
    return tpt::finish();
}
