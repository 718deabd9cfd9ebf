// simctl as scripts use it: each command changes what the simulator
// answers, state and log print in their documented forms, and mistakes
// give the documented exit codes. Argument: simctl.exe's Linux path.
#include <cstring>

#include "tpt.h"

namespace {

namespace st = tpsim::st;
namespace req = tp::req;

std::string g_simctl;

struct Out {
    DWORD code = 99;
    std::string text;
};

Out simctl(const std::string& args) {
    Out o;
    const tpt::RunResult r = tpt::runCapture("\"" + g_simctl + "\" " + args, 10000, &o.text);
    TPT_CHECK_MSG(r.finished, "simctl " + args + " ends");
    o.code = r.exitCode;
    return o;
}

bool hasLine(const std::string& text, const std::string& line) {
    size_t at = 0;
    for (;;) {
        size_t end = text.find('\n', at);
        std::string l = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (l == line) return true;
        if (end == std::string::npos) return false;
        at = end + 1;
    }
}

void commandsChangeTheAnswers() {
    tpt::group("commands change what the simulator answers");
    tpt::Sim sim;
    TPT_CHECK_EQ(simctl("reset").code, 0u);
    TPT_CHECK_EQ(simctl("spintop 0x1234").code, 0u);
    TPT_CHECK_EQ(sim.state()[st::kSpinTop], 0x1234u);
    TPT_CHECK_EQ(simctl("disabled 2 7").code, 0u);
    TPT_CHECK_EQ(sim.state()[st::kDisabled2], 7u);
    TPT_CHECK_EQ(simctl("panels 3 - 12").code, 0u);
    tpsim::State s = sim.state();
    TPT_CHECK_EQ(s[st::kPanels + 0], 3u);
    TPT_CHECK_EQ(s[st::kPanels + 1], 0xFFFFFFFFu);
    TPT_CHECK_EQ(s[st::kPanels + 2], 12u);
    TPT_CHECK_EQ(s[st::kPanels + 8], 0xFFFFFFFFu);
    TPT_CHECK_EQ(simctl("inject secondary-release 9").code, 0u);
    TPT_CHECK_EQ(simctl("inject touch 1").code, 0u);
    s = sim.state();
    TPT_CHECK_EQ(s[st::kPendingEventCount], 2u);
    TPT_CHECK_EQ(s[st::kPendingEvents], 0x80000002u);
    TPT_CHECK_EQ(s[st::kPendingEvents + 1], 0x00000000u);
    TPT_CHECK_EQ(simctl("vendor-answer 01 00 ff").code, 0u);
    TPT_CHECK_EQ(sim.state()[st::kVendorAnswerLength], 3u);
    TPT_CHECK_EQ(simctl("fail 0x222030").code, 0u);
    TPT_CHECK(!tpt::request(tp::kPanelDevicePath, req::kGetSpinTop, nullptr, 0, nullptr, 4).ok);
    TPT_CHECK_EQ(simctl("unfail all").code, 0u);
    uint8_t out[4];
    TPT_CHECK(tpt::request(tp::kPanelDevicePath, req::kGetSpinTop, nullptr, 0, out, 4).ok);
    TPT_CHECK_EQ(simctl("unplug").code, 0u);
    TPT_CHECK(!tpt::request(tp::kPanelDevicePath, req::kGetSpinTop, nullptr, 0, out, 4).opened);
    TPT_CHECK_EQ(simctl("replug").code, 0u);
    TPT_CHECK(tpt::request(tp::kPanelDevicePath, req::kGetSpinTop, nullptr, 0, out, 4).opened);
}

void stateAndLogForms() {
    tpt::group("state and log in their readable and machine forms");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());
    TPT_CHECK(sim.setSpinTop(5));
    const uint8_t option[4] = {0xA4, 0x00, 0x08, 0x1A};
    TPT_CHECK(tpt::request(tp::kPanelDevicePath, req::kSetOption, option, 4).ok);
    TPT_CHECK(!tpt::request(tp::kPanelDevicePath, req::kSetOption, option, 3).ok);
    TPT_CHECK(sim.waitClosesBalanced());

    Out state = simctl("state --machine");
    TPT_CHECK_EQ(state.code, 0u);
    TPT_CHECK_MSG(hasLine(state.text, "spintop=5"), state.text);
    TPT_CHECK(hasLine(state.text, "option=0x1A0800A4"));
    TPT_CHECK(hasLine(state.text, "panels=0,-1,-1,-1,-1,-1,-1,-1,-1"));
    TPT_CHECK(hasLine(state.text, "protocol_errors=1"));
    TPT_CHECK(hasLine(state.text, "plugged=yes"));

    Out log = simctl("log --machine");
    TPT_CHECK_EQ(log.code, 0u);
    TPT_CHECK_MSG(log.text.find("dev=TAPTPU kind=ioctl code=0x222034 in=4 out=0 status=0x00000000 result=ok "
                                "bytes=A400081A") != std::string::npos,
                  log.text);
    TPT_CHECK(log.text.find("code=0x222034 in=3 out=0 status=0xC0000206 result=protocol-error bytes=A40008") !=
              std::string::npos);
    TPT_CHECK(log.text.find("kind=open") != std::string::npos);
    TPT_CHECK(log.text.find("kind=close") != std::string::npos);

    Out readable = simctl("log");
    TPT_CHECK(readable.text.find("SetOption") != std::string::npos);
    TPT_CHECK(readable.text.find("[A4 00 08 1A]") != std::string::npos);
    TPT_CHECK(readable.text.find("records, 1 protocol errors") != std::string::npos);

    TPT_CHECK_EQ(simctl("clear-log").code, 0u);
    log = simctl("log --machine");
    TPT_CHECK_EQ(log.text, std::string());
}

void mistakes() {
    tpt::group("usage mistakes give exit code 2 and change nothing");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());
    for (const char* args : {"", "inject touch 0", "inject touch 10", "inject poke 1", "panels 1 2 3 4 5 6 7 8 9 10",
                             "disabled 3 1", "vendor-answer 100", "fail", "spintop x", "log --from"})
        TPT_CHECK_MSG(simctl(args).code == 2, std::string("simctl ") + args);
    TPT_CHECK_EQ(sim.state()[st::kPendingEventCount], 0u);
    TPT_CHECK_EQ(simctl("help").code, 0u);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    g_simctl = tpt::windowsPath(argv[1]);
    commandsChangeTheAnswers();
    stateAndLogForms();
    mistakes();
    return tpt::finish();
}
