// Without taphook.dll beside it the agent warns once, then shuts down and
// tells the driver that the buttons are not swapped. It runs from a folder of
// its own with a working taphook.dll planted in its current directory: the
// warning proves the plant was never loaded.
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

HANDLE startIn(const std::string& program, const std::string& directory) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string command = "\"" + program + "\" runonce";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(), &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

void warnsAndShutsDown(tpt::Sim& sim, const std::string& program, const std::string& directory) {
    tpt::group("the warning box appears once, then an orderly shutdown");
    sim.mark();
    HANDLE process = startIn(program, directory);
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
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string alone = std::string(temp) + "agent_alone\\";
    const std::string planted = std::string(temp) + "agent_plant\\";
    CreateDirectoryA(alone.c_str(), nullptr);
    CreateDirectoryA(planted.c_str(), nullptr);
    const std::string program = alone + "Tapagent.exe";
    const std::string plant = planted + "taphook.dll";
    TPT_CHECK(CopyFileA(tpt::installPath("Tapagent.exe").c_str(), program.c_str(), FALSE));
    TPT_CHECK_MSG(CopyFileA(tpt::installPath("taphook.dll").c_str(), plant.c_str(), FALSE),
                  "a working hook planted in the current directory");
    {
        tpt::Sim sim;
        warnsAndShutsDown(sim, program, planted);
    }
    DeleteFileA(program.c_str());
    DeleteFileA(plant.c_str());
    RemoveDirectoryA(alone.c_str());
    RemoveDirectoryA(planted.c_str());
    return tpt::finish();
}
