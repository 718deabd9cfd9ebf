#include <gtest/gtest.h>

#include "console_rig.h"
#include "pages/monitor_pages.h"

namespace tp::console::test {
namespace {

struct CalibrationRig {
    explicit CalibrationRig(bool withMonitor, int lastMonitor = 0, uint32_t option = def::kOption) {
        rig.settings().user.option = option;
        rig.settings().lastMonitor = lastMonitor;
        page = makeCalibrationPage(rig.console, withMonitor);
        page->onInit(dlg);
    }
    void click(int id) { page->onCommand(dlg, id, kBnClicked); }
    std::vector<std::string> starts() const {
        std::vector<std::string> out;
        for (const std::string& line : rig.system.log)
            if (line.rfind("start ", 0) == 0 || line.rfind("message ", 0) == 0) out.push_back(line);
        return out;
    }
    ConsoleRig rig;
    FakeDialog dlg;
    std::unique_ptr<Page> page;
};

int checkedCount(FakeDialog& dlg) {
    int shown = 0;
    for (int id : {IDC_CALIB_9, IDC_CALIB_12, IDC_CALIB_20}) shown = shown * 10 + dlg.at(id).checked;
    return shown;
}

TEST(CalibrationPage, ShowsTwentyBeforeTwelveBeforeNineAndAClickLeavesExactlyItsBit) {
    struct Case {
        uint32_t option;
        int shown;  // checked state of 9, 12, 20 as digits
        int click;
        uint32_t after;
    };
    const Case cases[] = {
        {0x1A0800A0, 100, IDC_CALIB_20, 0x1A0800B0},  // none set: 9 points
        {0x1A0800B8, 1, IDC_CALIB_12, 0x1A0800A8},    // 12 and 20 set: 20 points
        {0x1A0800AC, 10, IDC_CALIB_9, 0x1A0800A4},
        {def::kOption, 100, IDC_CALIB_9, def::kOption},  // the checked one still counts as a change
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        CalibrationRig r(false, 0, c.option);
        EXPECT_EQ(checkedCount(r.dlg), c.shown);
        r.click(c.click);
        EXPECT_EQ(r.rig.settings().user.option, c.after);
        EXPECT_TRUE(r.rig.settings().calibrationChangePending);
        EXPECT_TRUE(r.rig.settings().settingsChanged);
        EXPECT_EQ(r.dlg.modifiedCount, 1);
    }
}

TEST(CalibrationPage, APendingCountBlocksTheProgramWithAMessageUntilApplied) {
    CalibrationRig r(true, 1);
    r.click(IDC_CALIB_12);
    r.click(IDC_CALIB_START);
    r.page->onApply(r.dlg);
    r.click(IDC_CALIB_START);
    EXPECT_EQ(r.starts(), (std::vector<std::string>{
                              "message 2400 2401 0",
                              "start \"C:\\Program Files\\QTX\\PNL\\USBPNL\\Tapcal.exe\"",
                          }));
    EXPECT_EQ(r.rig.registry.dword("HKCU\\Software\\Korvane Component\\USB", "Option"), 0x1A0800A8u);
}

TEST(CalibrationPage, TheCommandLineQuotesThePathAndNamesScreensFromTwoOn) {
    struct Case {
        const char* name;
        bool withMonitor;
        int lastMonitor, selection;
        std::string programFiles, line;
    };
    const std::string tapcal = "\\QTX\\PNL\\USBPNL\\Tapcal.exe";
    const Case cases[] = {
        {"Screen1: no argument", true, 1, 0, "C:\\Program Files", "\"C:\\Program Files" + tapcal + "\""},
        {"Screen2: argument 2", true, 1, 1, "C:\\Program Files", "\"C:\\Program Files" + tapcal + "\" 2"},
        {"Screen9: argument 9", true, 8, 8, "D:\\P F", "\"D:\\P F" + tapcal + "\" 9"},
        {"no selection: no argument", true, -1, -1, "C:\\Program Files", "\"C:\\Program Files" + tapcal + "\""},
        {"single monitor: never an argument", false, 8, 3, "C:\\Program Files", "\"C:\\Program Files" + tapcal + "\""},
        {"Program Files unknown: the tail alone", true, 1, 1, "", "\"" + tapcal + "\" 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CalibrationRig r(c.withMonitor, c.lastMonitor);
        r.rig.system.programFiles = c.programFiles;
        r.dlg.comboSelect(IDC_CALIB_MONITOR, c.selection);
        r.click(IDC_CALIB_START);
        EXPECT_EQ(r.starts(), std::vector<std::string>{"start " + c.line});
    }
}

TEST(CalibrationPage, APaintListsTheCurrentMonitorsAndKeepsAChoiceThatStillExists) {
    struct Case {
        int before, selected, after;
        int selectedAfter;
    };
    const Case cases[] = {{3, 3, 1, 0}, {3, 1, 1, 1}, {1, 1, 4, 1}, {3, 2, -1, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before * 100 + c.selected * 10 + c.after);
        CalibrationRig r(true, c.before);
        EXPECT_EQ(r.dlg.at(IDC_CALIB_MONITOR).selection, 0);
        r.dlg.comboSelect(IDC_CALIB_MONITOR, c.selected);
        r.rig.settings().lastMonitor = c.after;
        r.page->onPaint(r.dlg);
        std::vector<std::wstring> names;
        for (int i = 0; i <= c.after; ++i) names.push_back(L"Screen" + std::to_wstring(i + 1));
        EXPECT_EQ(r.dlg.at(IDC_CALIB_MONITOR).items, names);
        EXPECT_EQ(r.dlg.at(IDC_CALIB_MONITOR).selection, c.selectedAfter);
    }
}

}  // namespace
}  // namespace tp::console::test
