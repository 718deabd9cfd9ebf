// Without taphook.dll beside it the agent warns once, then shuts down and
// tells the driver that the buttons are not swapped.
#include "agent_common.h"

namespace {

using namespace agentwine;

struct Text {
    const char* want;
    bool found;
};

BOOL CALLBACK findText(HWND child, LPARAM context) {
    auto* t = reinterpret_cast<Text*>(context);
    char text[128] = {};
    GetWindowTextA(child, text, sizeof text);
    if (lstrcmpA(text, t->want) == 0) t->found = true;
    return TRUE;
}

void warnsAndShutsDown(tpt::Sim& sim) {
    tpt::group("the warning box appears once, then an orderly shutdown");
    sim.mark();
    HANDLE process = tpt::startProgram("\"" + tpt::installPath("Tapagent.exe") + "\" runonce");
    TPT_CHECK(process != nullptr);
    if (!process) return;
    const DWORD pid = GetProcessId(process);
    HWND box = nullptr;
    tpt::waitUntil([&] { return (box = findOwnedWindow("#32770", "Korvane Tapagent", pid)) != nullptr; }, 15000, 20);
    TPT_CHECK_MSG(box != nullptr, "the warning box");
    if (box) {
        Text text{"Korvane extern library not found!", false};
        EnumChildWindows(box, findText, reinterpret_cast<LPARAM>(&text));
        TPT_CHECK_MSG(text.found, "its text");
        TPT_CHECK_EQ(requests(sim, tp::req::kButtonsNotSwapped).size(), 0u);  // nothing before the box is answered
        const auto before = sim.log().size();
        HWND ok = GetDlgItem(box, IDOK);
        TPT_CHECK(ok != nullptr);
        SendMessageA(ok, BM_CLICK, 0, 0);
        DWORD code = 1;
        TPT_CHECK(waitExit(process, 5000, &code));
        TPT_CHECK_EQ(code, 0ul);
        const auto after = sim.log();
        const auto swaps = requests(sim, tp::req::kButtonsNotSwapped);
        TPT_CHECK_EQ(swaps.size(), 1u);
        TPT_CHECK_MSG(after.size() > before, "the shutdown talks to the driver");
        TPT_CHECK_EQ(requests(sim, tp::req::kSetOrientation).size(), 0u);
        TPT_CHECK(findOwnedWindow("#32770", "Korvane Tapagent", pid) == nullptr);
    }
    TerminateProcess(process, 1);
    CloseHandle(process);
    TPT_CHECK(agentWindow() == nullptr);
}

}  // namespace

int main() {
    const std::string hook = tpt::installPath("taphook.dll");
    const std::string aside = hook + ".aside";
    const bool present = GetFileAttributesA(hook.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (present && !MoveFileA(hook.c_str(), aside.c_str())) {
        TPT_CHECK_MSG(false, "taphook.dll can be moved aside");
        return tpt::finish();
    }
    {
        tpt::Sim sim;
        warnsAndShutsDown(sim);
    }
    if (present) TPT_CHECK_MSG(MoveFileA(aside.c_str(), hook.c_str()), "taphook.dll put back");
    return tpt::finish();
}
