#include <gtest/gtest.h>

#include "page_rig.h"

namespace tp::console::test {
namespace {

constexpr char kUser[] = "HKCU\\Software\\Korvane Component\\USB";

struct ClickRig : PageRig {
    explicit ClickRig(uint32_t option = def::kOption) : PageRig(makeClickPage) {
        user().option = option;
        rig.system.doubleClickTime = 500;
        loadConsoleSettings(rig.console);  // commits speed 500 and area 34 x 34
        user().option = option;
    }
    std::string spi(uint32_t action, uint32_t param, uint32_t winIni) {
        return "spi " + std::to_string(action) + " " + std::to_string(param) + " " + std::to_string(winIni);
    }
    void slide(int id, int pos) {
        dlg.at(id).pos = pos;
        scroll(id, kSbThumbTrack, pos);
    }
};

TEST(ClickPage, OperateModeButtonsAndHideCursorEditOnlyTheirBits) {
    struct Case {
        const char* name;
        uint32_t option;
        int control;
        uint32_t expected;
    };
    const Case cases[] = {
        {"point mode sets bit 26", def::kOption, IDC_CLICK_POINT, def::kOption | opt::kPointMode},
        {"stream mode clears bit 26", 0xFFFFFFFF, IDC_CLICK_STREAM, 0xFFFFFFFF & ~opt::kPointMode},
        {"hide cursor checked sets bit 24", def::kOption, IDC_CLICK_HIDE_CURSOR, def::kOption | opt::kHideCursor},
        {"hide cursor cleared clears bit 24", 0xFFFFFFFF, IDC_CLICK_HIDE_CURSOR, 0xFFFFFFFF & ~opt::kHideCursor},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClickRig r(c.option);
        r.open();
        if (c.control == IDC_CLICK_HIDE_CURSOR)
            r.toggle(c.control);
        else
            r.choose(c.control);
        EXPECT_EQ(r.user().option, c.expected);
        EXPECT_EQ(r.dlg.modifiedCount, 1);
    }
}

TEST(ClickPage, AHiddenOperateModeLiftsEveryOtherControlByTheGroupsHeight) {
    for (bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "operate mode shown" : "operate mode hidden");
        ClickRig r(shown ? def::kOption | opt::kPointMode : (def::kOption & ~opt::kOfferOperateMode) | opt::kPointMode);
        r.dlg.at(IDC_CLICK_MODE_GROUP).rect = {10, 7, 300, 37};
        for (int id = IDC_CLICK_MODE_GROUP + 1; id <= IDC_CLICK_TEST_ICON; ++id)
            r.dlg.at(id).rect = {id, 40 + id - 1200, id + 20, 60 + id - 1200};
        r.open();
        for (int id : {IDC_CLICK_MODE_GROUP, IDC_CLICK_STREAM, IDC_CLICK_POINT}) {
            EXPECT_EQ(r.dlg.at(id).visible, shown) << id;
            EXPECT_EQ(r.dlg.at(id).checked, shown && id == IDC_CLICK_POINT) << id;
        }
        const int lift = shown ? 0 : 30;
        for (int id = IDC_CLICK_CURSOR_GROUP; id <= IDC_CLICK_TEST_ICON; ++id) {
            const Rect rc = r.dlg.at(id).rect;
            EXPECT_EQ(rc.left, id);
            EXPECT_EQ(rc.top, 40 + id - 1200 - lift) << id;
            EXPECT_EQ(rc.bottom - rc.top, 20) << id;
        }
    }
}

TEST(ClickPage, SlidersPreviewTheSystemDoubleClickValuesWithoutWritingTheProfile) {
    struct Case {
        const char* name;
        int slider, pos;
        uint32_t action, param;
    };
    const Case cases[] = {
        {"width", IDC_CLICK_WIDTH, 66, kSpiSetDoubleClkWidth, 66},
        {"height", IDC_CLICK_HEIGHT, 2, kSpiSetDoubleClkHeight, 2},
        {"speed at its fast end is 200 ms", IDC_CLICK_SPEED, 800, kSpiSetDoubleClickTime, 200},
        {"speed at its slow end is 900 ms", IDC_CLICK_SPEED, 100, kSpiSetDoubleClickTime, 900},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClickRig r;
        r.open();
        r.slide(c.slider, c.pos);
        EXPECT_EQ(r.rig.system.log, std::vector<std::string>{r.spi(c.action, c.param, 0)});
        EXPECT_EQ(c.slider == IDC_CLICK_WIDTH    ? r.settings().dWidthEdit
                  : c.slider == IDC_CLICK_HEIGHT ? r.settings().dHeightEdit
                                                 : r.settings().dClickSpeedEdit,
                  c.pos);
        EXPECT_TRUE(r.settings().settingsChanged);
    }
}

TEST(ClickPage, ASpeedBeyondTheSliderShowsAtItsEndAndStaysStored) {
    struct Case {
        uint32_t doubleClickTime;
        int speed, shown;
    };
    for (const Case& c : {Case{50, 900, 800}, Case{1200, 100, 100}, Case{400, 600, 600}}) {
        ClickRig r;
        r.rig.system.doubleClickTime = c.doubleClickTime;
        loadConsoleSettings(r.rig.console);
        r.open();
        EXPECT_EQ(r.dlg.at(IDC_CLICK_SPEED).pos, c.shown) << c.doubleClickTime;
        EXPECT_EQ(r.settings().dClickSpeedEdit, c.speed) << c.doubleClickTime;
        EXPECT_EQ(r.dlg.at(IDC_CLICK_WIDTH).pos, 34);
        EXPECT_EQ(r.dlg.at(IDC_CLICK_WIDTH).ticks, 8);
    }
}

// Apply and Cancel in the orders a user can reach them, starting from the
// user's own 1100 ms and 9 x 7 (beyond the sliders): Cancel puts back only
// what a slider changed, Apply writes the profile and announces it.
TEST(ClickPage, CancelRestoresOnlyWhatThePageChanged) {
    enum Step { Speed, Width, WidthBack, Height, SoundApply, Apply };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> applyLog;   // SystemParametersInfo calls of the Apply
        std::vector<std::string> cancelLog;  // ... and of the Cancel that follows
        uint32_t time;                       // the system's values after Cancel
        int width, height;
    };
    ClickRig names;
    const uint32_t profile = kSpifUpdateIniFile | kSpifSendChange;
    const Case cases[] = {
        {"open and cancel: nothing written", {}, {}, {}, 1100, 9, 7},
        {"speed moved: only the time goes back", {Speed}, {}, {names.spi(kSpiSetDoubleClickTime, 1100, 0)}, 1100, 9, 7},
        {"width moved: only the width goes back", {Width}, {}, {names.spi(kSpiSetDoubleClkWidth, 9, 0)}, 1100, 9, 7},
        {"all moved: each goes back",
         {Speed, Width, Height},
         {},
         {names.spi(kSpiSetDoubleClickTime, 1100, 0), names.spi(kSpiSetDoubleClkHeight, 7, 0),
          names.spi(kSpiSetDoubleClkWidth, 9, 0)},
         1100,
         9,
         7},
        {"height applied: written once, kept by Cancel",
         {Height, Apply},
         {names.spi(kSpiSetDoubleClkHeight, 50, profile)},
         {},
         1100,
         9,
         50},
        {"all applied after the sound page saved",
         {Speed, Width, Height, SoundApply, Apply},
         {names.spi(kSpiSetDoubleClickTime, 300, profile), names.spi(kSpiSetDoubleClkHeight, 50, profile),
          names.spi(kSpiSetDoubleClkWidth, 50, profile)},
         {},
         300,
         50,
         50},
        {"moved and put back: written, not announced, as nothing moved",
         {Width, WidthBack, Apply},
         {names.spi(kSpiSetDoubleClkWidth, 9, kSpifUpdateIniFile)},
         {},
         1100,
         9,
         7},
        {"moved again after Apply: back to the applied value",
         {Width, Apply, Width},
         {names.spi(kSpiSetDoubleClkWidth, 50, profile)},
         {names.spi(kSpiSetDoubleClkWidth, 50, 0)},
         1100,
         50,
         7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClickRig r;
        r.rig.system.doubleClickTime = 1100;
        r.rig.system.doubleClickWidth = 9;
        r.rig.system.doubleClickHeight = 7;
        loadConsoleSettings(r.rig.console);
        auto sound = makeSoundPage(r.rig.console);
        FakeDialog soundDlg;
        sound->onInit(soundDlg);
        r.open();
        std::vector<std::string> applyLog;
        for (Step step : c.steps) {
            if (step == Speed) r.slide(IDC_CLICK_SPEED, 700);
            if (step == Width) r.slide(IDC_CLICK_WIDTH, 50);
            if (step == WidthBack) r.slide(IDC_CLICK_WIDTH, 9);
            if (step == Height) r.slide(IDC_CLICK_HEIGHT, 50);
            if (step == SoundApply) sound->onApply(soundDlg);
            if (step == Apply) {
                r.rig.system.log.clear();
                r.page->onApply(r.dlg);
                applyLog = r.rig.system.log;
            }
        }
        r.rig.system.log.clear();
        r.page->onCancel(r.dlg);
        EXPECT_EQ(applyLog, c.applyLog);
        EXPECT_EQ(r.rig.system.log, c.cancelLog);
        EXPECT_EQ(r.rig.system.doubleClickTime, c.time);
        EXPECT_EQ(r.rig.system.doubleClickWidth, c.width);
        EXPECT_EQ(r.rig.system.doubleClickHeight, c.height);
    }
}

TEST(ClickPage, TheTimerAnimatesTheCurrentSetAndADoubleClickOnThePictureSwitchesIt) {
    ClickRig r;
    r.dlg.at(IDC_CLICK_TEST_ICON).rect = {100, 50, 132, 82};
    r.dlg.clientOrigin = {400, 300};
    r.open();
    EXPECT_EQ(r.dlg.at(IDC_CLICK_TEST_ICON).icon, IDI_SUN1);
    std::vector<int> shown;
    for (int tick = 0; tick < 5; ++tick) {
        r.page->onTimer(r.dlg, 1);
        shown.push_back(r.dlg.at(IDC_CLICK_TEST_ICON).icon);
    }
    EXPECT_EQ(shown, (std::vector<int>{IDI_SUN1, IDI_SUN2, IDI_SUN3, IDI_SUN4, IDI_SUN1}));

    struct Click {
        Point at;
        int icon;  // afterwards
    };
    const Click clicks[] = {
        {{500, 350}, IDI_MOON1},  // top left corner of the picture
        {{531, 381}, IDI_SUN1},   // bottom right pixel
        {{532, 360}, IDI_SUN1},   // just right of it
        {{110, 60}, IDI_SUN1},    // the picture's client position, elsewhere on screen
    };
    for (const Click& c : clicks) {
        r.rig.system.cursor = c.at;
        r.page->onDoubleClick(r.dlg);
        EXPECT_EQ(r.dlg.at(IDC_CLICK_TEST_ICON).icon, c.icon) << c.at.x << "," << c.at.y;
    }
    r.rig.system.cursor = {510, 360};
    r.page->onDoubleClick(r.dlg);
    r.page->onTimer(r.dlg, 1);
    r.page->onTimer(r.dlg, 1);
    EXPECT_EQ(r.dlg.at(IDC_CLICK_TEST_ICON).icon, IDI_MOON2);
    EXPECT_EQ(r.dlg.modifiedCount, 0);
}

}  // namespace
}  // namespace tp::console::test
