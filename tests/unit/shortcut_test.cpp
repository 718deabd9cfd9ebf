#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "shortcut.h"

namespace tp::shortcut {
namespace {

constexpr HResult kFail = static_cast<HResult>(0x80004005);  // E_FAIL
const std::wstring kPrograms = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
const std::wstring kProgramFiles = L"C:\\Program Files";
const std::wstring kFolder = kPrograms + L"\\QTX USB TouchPanel";
const std::wstring kLink = kFolder + L"\\TouchPanel Setting.lnk";
const std::wstring kTarget = kProgramFiles + L"\\QTX\\PNL\\USBPNL\\Tapcon.exe";

struct Link {
    std::wstring path, description = L"?", arguments = L"?", workingDirectory = L"?", iconPath;
    int iconIndex = -1, showCmd = -1;
};

// The shell's link object, COM and the file system as state: live objects
// with reference counts, the apartment depth, folders and saved links.
// Failures are injected per call name for the next n calls.
class FakeShell : public ShellLinkPort, public FolderPort, public SleepPort {
public:
    HResult coInitialize() override { return step("CoInitialize") ? (++apartment, 0) : kFail; }
    void coUninitialize() override {
        journal.push_back("CoUninitialize");
        --apartment;
    }
    HResult createShellLink(ComObject* link) override {
        *link = 0;
        if (!step("CoCreateInstance")) return kFail;
        *link = next_++;
        refs[*link] = 1;
        links[*link] = {};
        return 0;
    }
    HResult queryPersistFile(ComObject link, ComObject* file) override {
        *file = 0;
        if (!step("QueryInterface")) return kFail;
        *file = next_++;
        refs[*file] = 1;
        owner[*file] = link;
        ++refs[link];  // the persist-file interface keeps the object alive
        return 0;
    }
    HResult setPath(ComObject l, const wchar_t* p) override { return set("SetPath", links[l].path = p); }
    HResult setDescription(ComObject l, const wchar_t* t) override {
        return set("SetDescription", links[l].description = t);
    }
    HResult setArguments(ComObject l, const wchar_t* a) override { return set("SetArguments", links[l].arguments = a); }
    HResult setWorkingDirectory(ComObject l, const wchar_t* f) override {
        return set("SetWorkingDirectory", links[l].workingDirectory = f);
    }
    HResult setIconLocation(ComObject l, const wchar_t* p, int i) override {
        links[l].iconIndex = i;
        return set("SetIconLocation", links[l].iconPath = p);
    }
    HResult setShowCmd(ComObject l, int show) override {
        links[l].showCmd = show;
        return step("SetShowCmd") ? 0 : kFail;
    }
    HResult save(ComObject file, const wchar_t* name, bool remember) override {
        if (!step("Save") || !folders.count(parentOf(name))) return kFail;
        saved[name] = links[owner[file]];
        remembered = remember;
        return 0;
    }
    uint32_t release(ComObject object) override {
        journal.push_back(owner.count(object) ? "Release file" : "Release link");
        if (owner.count(object)) --refs[owner[object]];
        return static_cast<uint32_t>(--refs[object]);
    }
    bool createDirectory(const wchar_t* path) override {
        journal.push_back("CreateDirectory");
        return folders.insert(path).second;
    }
    void sleep(uint32_t ms) override { sleeps.push_back(ms); }

    int live() const {
        int n = 0;
        for (const auto& [object, count] : refs) n += count != 0;
        return n;
    }
    void run() { runShortcutMaker(*this, *this, *this, kPrograms.c_str(), kProgramFiles.c_str()); }

    std::map<std::string, int> failNext;
    std::vector<std::string> journal;
    std::map<ComObject, int> refs;
    std::map<ComObject, ComObject> owner;  // persist-file interface -> its link object
    std::map<ComObject, Link> links;
    std::set<std::wstring> folders{kPrograms};
    std::map<std::wstring, Link> saved;
    std::vector<uint32_t> sleeps;
    int apartment = 0;
    bool remembered = false;

private:
    bool step(const std::string& call) {
        journal.push_back(call);
        auto it = failNext.find(call);
        if (it == failNext.end() || it->second == 0) return true;
        --it->second;
        return false;
    }
    HResult set(const std::string& call, const std::wstring&) { return step(call) ? 0 : kFail; }
    static std::wstring parentOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }
    ComObject next_ = 0x100;
};

TEST(Shortcut, FirstRunMakesTheFolderAndALinkThatOpensTheConsoleInANormalWindow) {
    FakeShell shell;
    shell.run();
    ASSERT_EQ(shell.saved.size(), 1u);
    ASSERT_TRUE(shell.saved.count(kLink));
    const Link& link = shell.saved[kLink];
    EXPECT_EQ(link.path, kTarget);
    EXPECT_EQ(link.arguments, L"");
    EXPECT_EQ(link.description, L"");
    EXPECT_EQ(link.workingDirectory, L"");
    EXPECT_EQ(link.iconPath, kTarget);
    EXPECT_EQ(link.iconIndex, 0);
    EXPECT_EQ(link.showCmd, kSwShowNormal);
    EXPECT_TRUE(shell.remembered);
    EXPECT_TRUE(shell.sleeps.empty());
    EXPECT_EQ(shell.live(), 0);
    EXPECT_EQ(shell.apartment, 0);
}

TEST(Shortcut, RetriesEvery20msUpTo50AttemptsAndAlwaysCleansUp) {
    struct Case {
        const char* name;
        std::map<std::string, int> failures;
        size_t attempts;
        bool saved;
    } cases[] = {
        {"the first save fails, the second succeeds", {{"Save", 1}}, 2, true},
        {"the link object is never available", {{"CoCreateInstance", 99}}, 50, false},
        {"the persist-file interface is never available", {{"QueryInterface", 99}}, 50, false},
        {"the target path is refused every time", {{"SetPath", 99}}, 50, false},
        {"COM never initialises", {{"CoInitialize", 99}}, 50, false},
        {"the description is refused but the link is still saved", {{"SetDescription", 99}}, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeShell shell;
        shell.failNext = c.failures;
        shell.run();
        size_t attempts = 0;
        for (const auto& call : shell.journal) attempts += call == "CoInitialize";
        EXPECT_EQ(attempts, c.attempts);
        EXPECT_EQ(shell.sleeps, std::vector<uint32_t>(c.attempts - c.saved, 20));
        EXPECT_EQ(shell.saved.count(kLink), c.saved ? 1u : 0u);
        EXPECT_EQ(shell.live(), 0) << "every interface obtained is released";
        EXPECT_EQ(shell.apartment, 0) << "CoUninitialize exactly after each successful CoInitialize";
    }
}

TEST(Shortcut, ReleasesTheLinkObjectBeforeItsPersistFileInterface) {
    FakeShell shell;
    shell.failNext = {{"Save", 1}};
    shell.run();
    std::vector<std::string> releases;
    for (const auto& call : shell.journal)
        if (call.rfind("Release", 0) == 0 || call == "CoUninitialize") releases.push_back(call);
    EXPECT_EQ(releases, (std::vector<std::string>{"Release link", "Release file", "CoUninitialize", "Release link",
                                                  "Release file", "CoUninitialize"}));
}

TEST(Shortcut, RunTwiceLeavesOneFolderAndOneLink) {
    FakeShell shell;
    shell.run();
    shell.run();
    EXPECT_EQ(shell.folders, (std::set<std::wstring>{kPrograms, kFolder}));
    EXPECT_EQ(shell.saved.size(), 1u);
    EXPECT_TRUE(shell.sleeps.empty()) << "an existing folder is no failure";
}

TEST(Shortcut, UnknownOrOverlongFoldersMakeNothing) {
    const std::wstring deep = L"C:\\" + std::wstring(230, L'd');
    struct Case {
        const char* name;
        const wchar_t* programs;
        const wchar_t* programFiles;
    } cases[] = {
        {"no common Programs folder", nullptr, kProgramFiles.c_str()},
        {"no Program Files folder", kPrograms.c_str(), nullptr},
        {"a link path beyond 260 characters", deep.c_str(), kProgramFiles.c_str()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeShell shell;
        runShortcutMaker(shell, shell, shell, c.programs, c.programFiles);
        EXPECT_TRUE(shell.journal.empty());
    }
}

}  // namespace
}  // namespace tp::shortcut
