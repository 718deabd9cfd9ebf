#include <gtest/gtest.h>

#include <cstring>

#include "console_rig.h"

namespace tp::console::test {
namespace {

TEST(DriverInfoPage, ShowsTheVersionAndWindows8InEachLanguagesOrder) {
    struct Case {
        Language language;
        uint32_t codePage;
        const char* version;
        std::wstring upper, lower;
    };
    const Case cases[] = {
        {Language::Japanese, 932, "2.10.4", L"Windows 8", L"2.10.4"},
        {Language::English, 1252, "2.10.4", L"2.10.4", L"Windows 8"},
        {Language::English, 1252, "", L"", L"Windows 8"},
        // Read in the system's code page, shown as the characters it means there.
        {Language::Japanese, 932,
         "\x94\xC5"
         "4.21.7\x81\x69"
         "2013\x81\x6A",
         L"Windows 8",
         L"\x7248"
         L"4.21.7\xFF08"
         L"2013\xFF09"},  // 版4.21.7（2013）
        {Language::English, 1252, "v\xE9r", L"v\xE9r", L"Windows 8"},
    };
    for (const Case& c : cases) {
        ConsoleRig rig(c.language);
        rig.system.codePage = c.codePage;
        std::strcpy(rig.settings().version, c.version);
        FakeDialog dlg;
        dlg.strings[IDS_WINDOWS8] = L"Windows 8";
        makeDriverInfoPage(rig.console)->onInit(dlg);
        EXPECT_EQ(dlg.at(IDC_INFO_UPPER).text, c.upper) << c.version;
        EXPECT_EQ(dlg.at(IDC_INFO_LOWER).text, c.lower) << c.version;
        const int systemLine = c.language == Language::Japanese ? IDC_INFO_UPPER : IDC_INFO_LOWER;
        EXPECT_EQ(dlg.at(systemLine).textStringId, IDS_WINDOWS8);
    }
}

TEST(DriverInfoPage, AVersionFillingItsWholeFieldStaysTerminated) {
    ConsoleRig rig;
    std::memset(rig.settings().version, 'v', sizeof rig.settings().version - 1);
    FakeDialog dlg;
    makeDriverInfoPage(rig.console)->onInit(dlg);
    EXPECT_EQ(dlg.at(IDC_INFO_UPPER).text, std::wstring(sizeof rig.settings().version - 1, L'v'));
}

TEST(DriverInfoPage, FileVersionButtonMakesTheListReadOnlyAndOpensItQuoted) {
    struct Case {
        const char* name;
        bool fileExists;
        std::vector<std::string> log;
    };
    const std::string notes = "C:\\Program Files\\QTX\\PNL\\USBPNL\\Drvnotes.txt";
    const std::string start = "start \"C:\\windows\\NOTEPAD.EXE\" \"" + notes + "\"";
    const Case cases[] = {
        {"the list installed: archive bit kept, read-only added", true, {"setattr " + notes + " 33", start}},
        {"no list: no attribute written, Notepad all the same", false, {start}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConsoleRig rig(Language::Japanese);
        if (c.fileExists) {
            rig.system.files[notes] = {'x'};
            rig.system.attributes[notes] = 0x20;
        }
        FakeDialog dlg;
        auto page = makeDriverInfoPage(rig.console);
        page->onCommand(dlg, IDC_INFO_UPPER, kBnClicked);
        page->onCommand(dlg, IDC_INFO_FILES, kEnChange);
        page->onCommand(dlg, IDC_INFO_FILES, kBnClicked);
        EXPECT_EQ(rig.system.log, c.log);
        EXPECT_EQ(dlg.modifiedCount, 0);
        page->onApply(dlg);
        EXPECT_TRUE(rig.sequence.empty());
    }
}

}  // namespace
}  // namespace tp::console::test
