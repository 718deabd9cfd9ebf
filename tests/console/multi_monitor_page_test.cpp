#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "console_rig.h"
#include "pages/monitor_pages.h"

namespace tp::console::test {
namespace {

TEST(MultiMonitorText, TypedResolutionsAreReadSideBySideAndLimitedTo16Bits) {
    const std::pair<std::wstring, uint32_t> cases[] = {
        {L"1280x1024", 0x05000400},   {L"1920X1080", 0x07800438},
        {L"800", 0x03200000},         {L"x600", 0x00000258},
        {L" 640x 480", 0x028001E0},   {L"1x23x4", 0x0001002B},  // height "23" rewritten to "43"
        {L"-5x6", 0x00000006},        {L"abc", 0},
        {L"70000x65536", 0xFFFFFFFF}, {std::wstring(kFieldTextMax, L'9'), 0xFFFF0000},
    };
    for (const auto& [text, stored] : cases) EXPECT_EQ(parseResolutionText(text.c_str()), stored) << text.size();
}

TEST(MultiMonitorText, TypedOriginsAreSignedAndLimitedBelowTheSignFlag) {
    const std::pair<std::wstring, uint32_t> cases[] = {
        {L"-1280", 0x10000500},
        {L"1280", 0x00000500},
        {L"  +17px", 17},
        {L"", 0},
        {L"--5", 0},
        {L"- 5", 0},
        {L"-268435456", 0x1FFFFFFF},
        {L"300000000", 0x0FFFFFFF},
        {std::wstring(kFieldTextMax, L'9'), 0x0FFFFFFF},
    };
    for (const auto& [text, stored] : cases)
        EXPECT_EQ(encodeOrigin(parseOriginText(text.c_str())), stored) << text.size();
}

// What a Japanese IME types reads as the ASCII it stands for, in both kinds of field.
TEST(MultiMonitorText, ImeInputIsFoldedToAsciiBeforeParsing) {
    enum Field { Resolution, Origin };
    struct Case {
        Field field;
        std::wstring text;
        uint32_t stored;
    };
    const Case cases[] = {
        {Resolution, L"\xFF11\xFF12\xFF18\xFF10\xFF58\xFF11\xFF10\xFF12\xFF14", 0x05000400},  // １２８０ｘ１０２４
        {Resolution, L"\xFF11\xFF19\xFF12\xFF10\xFF38\xFF11\xFF10\xFF18\xFF10", 0x07800438},  // １９２０Ｘ１０８０
        {Resolution,
         L"800\x00D7"
         L"600",
         0x03200258},  // 800×600
        {Resolution,
         L"\x3000"
         L"640x480",
         0x028001E0},  // ideographic space
        {Resolution,
         L"1024\xFF0A"
         L"768",
         0x04000000},                                             // ＊ is no separator
        {Origin, L"\xFF0D\xFF11\xFF12\xFF18\xFF10", 0x10000500},  // －１２８０
        {Origin,
         L"\x2212"
         L"1280",
         0x10000500},  // minus sign
        {Origin,
         L"\x30FC"
         L"768",
         0x10000300},                  // ー, the kana-mode minus
        {Origin, L"\xFF0B\xFF17", 7},  // ＋７
        {Origin, L"\xFF21", 0},        // Ａ is no digit
    };
    for (const Case& c : cases) {
        const uint32_t stored =
            c.field == Resolution ? parseResolutionText(c.text.c_str()) : encodeOrigin(parseOriginText(c.text.c_str()));
        EXPECT_EQ(stored, c.stored) << (c.field == Resolution ? "resolution " : "origin ") << c.text.size();
    }
}

struct MultiRig {
    MultiRig(int monitors, Language language = Language::English, uint32_t nComm = 1,
             const std::function<void(PanelSettings&)>& prepare = {})
        : rig(language) {
        PanelSettings& s = rig.settings();
        for (int i = 0; i < kMaxMonitors; ++i) s.layout.resolution[i] = i < monitors ? 0x05000400 + i : 0;
        s.layout.nComm = nComm;
        s.lastMonitor = s.lastMonitorAtStart = monitors - 1;
        if (prepare) prepare(s);
        dlg.editIds = {IDC_MULTI_X, IDC_MULTI_Y};
        page = makeMultiMonitorPage(rig.console);
        dlg.logic = page.get();
        page->onInit(dlg);
    }
    void choose(int id, int index) {
        dlg.comboSelect(id, index);
        page->onCommand(dlg, id, kCbnSelChange);
    }
    void type(int id, const std::wstring& text) {
        dlg.setItemText(id, text.c_str());
        if (id == IDC_MULTI_RES) page->onCommand(dlg, id, kCbnEditChange);
    }
    std::wstring text(int id) { return dlg.at(id).text; }
    MonitorLayoutBlock& layout() { return rig.settings().layout; }

    ConsoleRig rig;
    FakeDialog dlg;
    std::unique_ptr<Page> page;
};

constexpr int kModeControls[] = {IDC_MULTI_AUTO, IDC_MULTI_MONITOR, IDC_MULTI_COUNT, IDC_MULTI_Y,
                                 IDC_MULTI_X,    IDC_MULTI_RES,     IDC_MULTI_OS,    IDC_MULTI_IDENTIFY};

TEST(MultiMonitorPage, OpeningShowsMonitorOneEnablesByTheUseBitAndChangesNothing) {
    for (uint32_t nComm : {0u, 1u}) {
        MultiRig r(3, Language::English, nComm, [](PanelSettings& s) { s.layout.originX[0] = encodeOrigin(-1024); });
        for (int id : kModeControls) EXPECT_EQ(r.dlg.at(id).enabled, nComm == 1) << id;
        EXPECT_TRUE(r.dlg.at(IDC_MULTI_USE).enabled);
        EXPECT_EQ(r.dlg.at(IDC_MULTI_COUNT).selection, 2);
        EXPECT_EQ(r.dlg.at(IDC_MULTI_MONITOR).items, (std::vector<std::wstring>{L"Screen1", L"Screen2", L"Screen3"}));
        EXPECT_EQ(r.text(IDC_MULTI_RES), L"1280x1024");
        EXPECT_EQ(r.text(IDC_MULTI_X), L"-1024");
        EXPECT_EQ(r.layout().originX[0], 0x10000400u);
        EXPECT_FALSE(r.rig.settings().settingsChanged);
        EXPECT_EQ(r.dlg.modifiedCount, 0);
    }
}

TEST(MultiMonitorPage, LookingAtEveryMonitorAndPressingOkSavesNothing) {
    MultiRig r(3, Language::Japanese, 1, [](PanelSettings& s) { s.layout.originY[2] = encodeOrigin(-768); });
    for (int i : {1, 2, 0}) r.choose(IDC_MULTI_MONITOR, i);
    r.page->onApply(r.dlg);
    EXPECT_EQ(r.dlg.modifiedCount, 0);
    EXPECT_TRUE(r.rig.sequence.empty());
    EXPECT_TRUE(r.rig.driver.log().empty());
    // The first real edit is one.
    r.type(IDC_MULTI_Y, L"5");
    EXPECT_EQ(r.dlg.modifiedCount, 1);
    r.page->onApply(r.dlg);
    EXPECT_EQ(r.rig.driver.countOf(req::kSetMonitorLayout), 1);
}

TEST(MultiMonitorPage, TypingThatReadsAsNoSizeKeepsTheLastValidOne) {
    MultiRig r(2);
    const std::pair<std::wstring, uint32_t> steps[] = {
        {L"\xFF11\xFF12\xFF18\xFF10\xFF58\xFF11\xFF10\xFF12\xFF14", 0x05000400},  // １２８０ｘ１０２４
        {L"", 0x05000400},                                                        // cleared to retype
        {L"abc", 0x05000400},
        {L"x", 0x05000400},
        {L"6", 0x05000400},
        {L"1280x", 0x05000400},
        {L"x1024", 0x05000400},
        {L"640x480", 0x028001E0},
    };
    for (const auto& [text, stored] : steps) {
        r.type(IDC_MULTI_RES, text);
        EXPECT_EQ(r.layout().resolution[0], stored) << text.size();
    }
    EXPECT_EQ(r.layout().resolution[1], 0x05000401u);
}

TEST(MultiMonitorPage, ModeBoxesSetOnlyTheirOwnBits) {
    struct Case {
        int id;
        bool checked;
        uint32_t nComm, disableMode;
    };
    const Case cases[] = {{IDC_MULTI_USE, false, 0x10, 0x10},
                          {IDC_MULTI_OS, true, 0x13, 0x10},
                          {IDC_MULTI_AUTO, false, 0x11, 0x11},
                          {IDC_MULTI_AUTO, true, 0x11, 0x10}};
    for (const Case& c : cases) {
        MultiRig r(2, Language::English, 0x11);
        r.layout().disableMode = 0x10;
        r.dlg.checkButton(c.id, c.checked);
        r.page->onCommand(r.dlg, c.id, kBnClicked);
        EXPECT_EQ(r.layout().nComm, c.nComm) << c.id;
        EXPECT_EQ(r.layout().disableMode, c.disableMode) << c.id;
        EXPECT_EQ(r.dlg.at(IDC_MULTI_X).enabled, c.id != IDC_MULTI_USE) << c.id;
    }
}

TEST(MultiMonitorPage, ShrinkingBelowTheEditedMonitorShowsMonitorOneWholeAndEditsGoThere) {
    MultiRig r(4, Language::English, 1, [](PanelSettings& s) { s.layout.originY[0] = encodeOrigin(-20); });
    r.choose(IDC_MULTI_MONITOR, 3);
    r.type(IDC_MULTI_X, L"-1280");
    r.choose(IDC_MULTI_COUNT, 1);
    EXPECT_EQ(r.rig.settings().lastMonitor, 1);
    EXPECT_EQ(r.dlg.at(IDC_MULTI_MONITOR).items, (std::vector<std::wstring>{L"Screen1", L"Screen2"}));
    EXPECT_EQ(r.dlg.at(IDC_MULTI_MONITOR).selection, 0);
    EXPECT_EQ(r.text(IDC_MULTI_RES), L"1280x1024");
    EXPECT_EQ(r.text(IDC_MULTI_X), L"0");
    EXPECT_EQ(r.text(IDC_MULTI_Y), L"-20");
    r.type(IDC_MULTI_X, L"7");
    EXPECT_EQ(r.layout().originX[0], 7u);
    EXPECT_EQ(r.layout().originX[3], 0x10000500u);
}

TEST(MultiMonitorPage, RaisingTheCountGivesEmptyMonitors1024x768AndKeepsTheChoice) {
    MultiRig r(2);
    r.choose(IDC_MULTI_MONITOR, 1);
    r.choose(IDC_MULTI_COUNT, 4);
    EXPECT_EQ(r.dlg.at(IDC_MULTI_MONITOR).items.size(), 5u);
    EXPECT_EQ(r.dlg.at(IDC_MULTI_MONITOR).selection, 1);
    EXPECT_EQ(r.layout().resolution[1], 0x05000401u);
    for (int i = 2; i < kMaxMonitors; ++i) EXPECT_EQ(r.layout().resolution[i], i <= 4 ? 0x04000300u : 0u) << i;
}

TEST(MultiMonitorPage, EditsStoreForTheChosenMonitorAndShowTheStoredValueWhenChosenAgain) {
    struct Case {
        int id;
        std::wstring typed;
        uint32_t stored;
        std::wstring shown;
    };
    const Case cases[] = {
        {IDC_MULTI_X, L"-1280", 0x10000500, L"-1280"},         {IDC_MULTI_X, L"-999999999", 0x1FFFFFFF, L"-268435455"},
        {IDC_MULTI_Y, L"300000000", 0x0FFFFFFF, L"268435455"}, {IDC_MULTI_RES, L"1920x1080", 0x07800438, L"1920x1080"},
        {IDC_MULTI_RES, L"99999x1", 0xFFFF0001, L"65535x1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        MultiRig r(3);
        r.choose(IDC_MULTI_MONITOR, 1);
        r.type(c.id, c.typed);
        const uint32_t* field = c.id == IDC_MULTI_X   ? r.layout().originX
                                : c.id == IDC_MULTI_Y ? r.layout().originY
                                                      : r.layout().resolution;
        EXPECT_EQ(field[1], c.stored);
        r.choose(IDC_MULTI_MONITOR, 0);
        r.choose(IDC_MULTI_MONITOR, 1);
        EXPECT_EQ(r.text(c.id), c.shown);
        EXPECT_EQ(field[1], c.stored);
    }
    MultiRig r(3);
    for (auto [index, stored] : {std::pair{5, 0x05000400u}, {-1, 0x04000300u}}) {
        r.choose(IDC_MULTI_RES, index);
        EXPECT_EQ(r.layout().resolution[0], stored);
    }
}

// ---------------------------------------------------------------- identification

enum class Press { Ok, Cancel, Escape, TimeOut };

TEST(TouchIdentification, EachScreenRunsBetweenBeginAndEndRequestsUntilCancelOrTimeOut) {
    struct Case {
        const char* name;
        int monitors;
        const char* absent;
        std::vector<Press> presses;  // the one that ends each screen's dialog, Escape before it
        int screensRun;
    };
    const Case cases[] = {
        {"three screens, OK each", 3, "", {Press::Ok, Press::Ok, Press::Ok}, 3},
        {"Cancel on screen 2", 3, "", {Press::Ok, Press::Cancel}, 2},
        {"Escape does nothing, time-out stops", 3, "", {Press::TimeOut}, 1},
        {"no monitor", 0, "", {}, 0},
        {"multi-monitor device missing", 3, kMultiDevicePath, {}, 0},
        {"panel device missing", 3, kPanelDevicePath, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MultiRig r(c.monitors);
        r.rig.driver.setPresent(c.absent, false);
        const int modified = r.dlg.modifiedCount;
        std::vector<int> screens;
        r.rig.system.modal = [&](int templateId, DialogLogic& logic) {
            EXPECT_EQ(templateId, IDD_IDENTIFY);
            screens.push_back(r.rig.driver.countOf(req::kIdentifyPanelStart));
            FakeDialog d;
            d.outer = {0, 0, 430, 200};
            logic.onInit(d);
            EXPECT_EQ(d.placedAt.x, 425);  // centred on a 1280-wide screen at 0, 0
            EXPECT_EQ(d.at(IDC_IDENTIFY_TEXT).textStringId,
                      IDS_IDENTIFY_SCREEN1 + static_cast<int>(screens.size()) - 1);
            d.timers[kIdentifyTimer] = 1;  // stands for whatever is left of the period
            logic.onActivity(d);
            EXPECT_EQ(d.timers[kIdentifyTimer], kIdentifyTimeoutMs);
            logic.onCommand(d, 2, kBnClicked);  // Escape
            EXPECT_EQ(d.endResult, -1);
            const Press p = c.presses.at(screens.size() - 1);
            if (p == Press::TimeOut)
                logic.onTimer(d, kIdentifyTimer);
            else
                logic.onCommand(d, p == Press::Ok ? kIdOk : IDC_IDENTIFY_CANCEL, kBnClicked);
            const int result = d.endResult;
            logic.onDestroy(d);
            EXPECT_EQ(d.endResult, result);
            EXPECT_EQ(d.timers.count(kIdentifyTimer), 0u);
            EXPECT_EQ(r.rig.driver.countOf(req::kIdentifyMultiEnd), static_cast<int>(screens.size()) - 1);
            return result;
        };
        r.page->onCommand(r.dlg, IDC_MULTI_IDENTIFY, kBnClicked);
        std::vector<std::string> want;
        for (int s = 0; s < c.screensRun; ++s) {
            const std::string in = " in=00 00 00 " + std::string(1, static_cast<char>('0' + s)) + "0";
            want.insert(want.end(), {"0x222068" + in, "0x222004" + in, "0x22206c", "0x222008"});
            EXPECT_EQ(screens.at(s), s + 1);
        }
        EXPECT_EQ(r.rig.driver.requests(), want);
        EXPECT_EQ(screens.size(), static_cast<size_t>(c.screensRun));
        EXPECT_EQ(r.rig.driver.openHandles(), 0);
        EXPECT_EQ(r.rig.driver.log().size(), want.size() + 4u - (*c.absent ? 1 : 0));  // two opens, two closes
        EXPECT_EQ(r.dlg.modifiedCount, modified);
    }
}

TEST(IdentifyDialog, IsCentredOnItsScreenWithTheLanguagesBandMovedToItsEdge) {
    struct Case {
        Language language;
        int width;
        uint32_t resolution, originX;
        int x;
    };
    const Case cases[] = {
        {Language::Japanese, 430, 0x04000300, 0, 296}, {Language::English, 430, 0x04000300, 0, 272},
        {Language::English, 478, 0x04000300, 0, 272},  {Language::Japanese, 478, 0x04000300, 0, 273},
        {Language::Japanese, 368, 0x04000300, 0, 328}, {Language::English, 431, 0x05000400, encodeOrigin(-1280), -855},
    };
    for (const Case& c : cases) {
        const Point at = identifyDialogPosition(c.language, c.resolution, c.originX, encodeOrigin(-20), c.width, 201);
        EXPECT_EQ(at.x, c.x) << c.width;
        EXPECT_EQ(at.y, static_cast<int>(resolutionHeight(c.resolution)) / 2 - 100 - 20) << c.width;
    }
}

}  // namespace
}  // namespace tp::console::test
