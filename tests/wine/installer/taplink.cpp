// Taplink.exe run twice, as the harness installed it: one folder and one
// link in the all-users Start menu, rewritten by the second run, opening the
// console with its first icon in a normal window.
#include <shlobj.h>

#include "msi_common.h"

namespace {

std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

void removeMenu(const std::string& folder) {
    DeleteFileA((folder + "\\TouchPanel Setting.lnk").c_str());
    RemoveDirectoryA(folder.c_str());
}

bool runTaplink() {
    const tpt::RunResult r = tpt::runProgram("\"" + tpt::installPath("Taplink.exe") + "\"", 20000);
    TPT_CHECK(r.finished);
    TPT_CHECK_EQ(r.exitCode, 0u);
    return r.finished;
}

}  // namespace

int main() {
    using namespace msiwine;
    char programs[MAX_PATH] = {};
    TPT_CHECK(SHGetSpecialFolderPathA(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE));
    const std::string folder = std::string(programs) + "\\QTX USB TouchPanel";
    const std::string linkPath = folder + "\\TouchPanel Setting.lnk";
    removeMenu(folder);

    tpt::group("the first run makes the folder and the link to the console");
    if (runTaplink()) {
        const Link link = readLink(linkPath);
        TPT_CHECK(link.read);
        TPT_CHECK_EQ(link.target, tpt::installPath("Tapcon.exe"));
        TPT_CHECK_EQ(link.arguments, std::string());
        TPT_CHECK_EQ(link.workingDirectory, std::string());
        TPT_CHECK_EQ(link.description, std::string());
        TPT_CHECK_EQ(link.iconPath, tpt::installPath("Tapcon.exe"));
        TPT_CHECK_EQ(link.iconIndex, 0);
        TPT_CHECK_EQ(link.showCmd, SW_SHOWNORMAL);
    }

    tpt::group("the second run rewrites the link and leaves one folder and one link");
    HANDLE spoiled = CreateFileA(linkPath.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
    TPT_CHECK(spoiled != INVALID_HANDLE_VALUE);
    if (spoiled != INVALID_HANDLE_VALUE) CloseHandle(spoiled);
    if (runTaplink()) {
        TPT_CHECK_EQ(join(entries(folder)), std::string("TouchPanel Setting.lnk"));
        TPT_CHECK_EQ(readLink(linkPath).target, tpt::installPath("Tapcon.exe"));
    }
    removeMenu(folder);
    TPT_CHECK(!folderExists(folder));
    return tpt::finish();
}
