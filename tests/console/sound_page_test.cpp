#include <gtest/gtest.h>

#include "page_rig.h"

namespace tp::console::test {
namespace {

constexpr uint32_t kCommon = opt::kSameSoundAllMonitors;

struct SoundRig : PageRig {
    explicit SoundRig(uint32_t option = def::kOption) : PageRig(makeSoundPage) { user().option = option; }
};

TEST(SoundPage, ScrollCodesMoveWithinEachBarsLimits) {
    struct Case {
        const char* name;
        int bar;
        uint32_t start;
        int code, pos;
        uint32_t expected;
    };
    const Case cases[] = {
        {"page left at 100 Hz falls to the minimum", IDC_SOUND_FREQ_BAR, 100, kSbPageLeft, 0, 37},
        {"page left at 101 Hz would pass the minimum", IDC_SOUND_FREQ_BAR, 101, kSbPageLeft, 0, 37},
        {"page left at 60 ms falls to the minimum", IDC_SOUND_DUR_BAR, 60, kSbPageLeft, 0, 1},
        {"page left at 500 ms steps by 100", IDC_SOUND_DUR_BAR, 500, kSbPageLeft, 0, 400},
        {"page right at 9950 Hz stops at the maximum", IDC_SOUND_FREQ_BAR, 9950, kSbPageRight, 0, 10000},
        {"line left at the minimum stays", IDC_SOUND_FREQ_BAR, 37, kSbLineLeft, 0, 37},
        {"line right at 1000 ms stays", IDC_SOUND_DUR_BAR, 1000, kSbLineRight, 0, 1000},
        {"line right steps by one", IDC_SOUND_FREQ_BAR, 440, kSbLineRight, 0, 441},
        {"thumb track takes the carried position", IDC_SOUND_FREQ_BAR, 1000, kSbThumbTrack, 4321, 4321},
        {"thumb position beyond the maximum is limited", IDC_SOUND_DUR_BAR, 50, kSbThumbPosition, 5000, 1000},
        {"home goes to the minimum", IDC_SOUND_DUR_BAR, 300, kSbLeft, 0, 1},
        {"end goes to the maximum", IDC_SOUND_FREQ_BAR, 300, kSbRight, 0, 10000},
        {"end of scroll keeps the position", IDC_SOUND_FREQ_BAR, 2500, kSbEndScroll, 9999, 2500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SoundRig r;
        const bool freq = c.bar == IDC_SOUND_FREQ_BAR;
        (freq ? r.user().freq : r.user().duration) = c.start;
        r.open();
        r.scroll(c.bar, c.code, c.pos);
        EXPECT_EQ(freq ? r.user().freq : r.user().duration, c.expected);
        EXPECT_EQ(r.dlg.at(c.bar).pos, static_cast<int>(c.expected));
        EXPECT_EQ(r.text(freq ? IDC_SOUND_FREQ_VALUE : IDC_SOUND_DUR_VALUE), std::to_wstring(c.expected));
        EXPECT_TRUE(r.settings().settingsChanged);
        EXPECT_EQ(r.dlg.modifiedCount, 1);
    }
}

TEST(SoundPage, CommonCheckboxAndMonitorListFollowTheDriverAndTheCommonBit) {
    struct Case {
        const char* name;
        bool multiDriver;
        uint32_t option;
        bool commonEnabled, monitorEnabled;
    };
    const Case cases[] = {
        {"multi-monitor driver, common set", true, def::kOption, true, false},
        {"multi-monitor driver, per-monitor sets", true, def::kOption & ~kCommon, true, true},
        {"no multi-monitor driver, common set", false, def::kOption, false, false},
        {"no multi-monitor driver, per-monitor sets", false, def::kOption & ~kCommon, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SoundRig r(c.option);
        r.settings().multiMonitorDriver = c.multiDriver;
        r.open();
        EXPECT_EQ(r.dlg.at(IDC_SOUND_COMMON).checked, (c.option & kCommon) != 0);
        EXPECT_EQ(r.dlg.at(IDC_SOUND_COMMON).enabled, c.commonEnabled);
        EXPECT_EQ(r.dlg.at(IDC_SOUND_MONITOR).enabled, c.monitorEnabled);
    }
}

// The five values the standard buttons copy, of the edited set.
struct Current {
    bool on, atPress;
    uint32_t kind, freq, duration;
    bool operator==(const Current&) const = default;
};
Current currentOf(uint32_t option, uint32_t freq, uint32_t duration) {
    return {(option & opt::kSoundOn) != 0, (option & opt::kBeepAtTouch) != 0, (option & opt::kKindMask) >> 12, freq,
            duration};
}

TEST(SoundPage, SetAsStandardThenChangesThenBackToStandardRestoresAllFive) {
    for (bool common : {true, false}) {
        SCOPED_TRACE(common ? "common set" : "monitor 2");
        SoundRig r(common ? 0x10013080 | opt::kOfferOperateMode : 0x00000000);
        r.settings().multiMonitorDriver = true;
        uint32_t& option = common ? r.user().option : r.user().monitorOption[1];
        uint32_t& freq = common ? r.user().freq : r.user().monitorFreq[1];
        uint32_t& duration = common ? r.user().duration : r.user().monitorDuration[1];
        option = (option & ~0xFFFFu) | 0x3080;
        freq = 2345;
        duration = 77;
        r.open();
        if (!common) r.select(IDC_SOUND_MONITOR, 1);
        r.toggle(IDC_SOUND_ENABLE);
        const Current before = currentOf(option, freq, duration);
        r.page->onCommand(r.dlg, IDC_SOUND_SET_STD, kBnClicked);
        EXPECT_EQ(r.text(IDC_SOUND_STD_FREQ), L"2345");
        EXPECT_EQ(r.dlg.at(IDC_SOUND_STD_KIND).textStringId, IDS_SOUND_KIND3);
        EXPECT_EQ(r.dlg.at(IDC_SOUND_STD_ONOFF).textStringId, before.on ? IDS_SOUND_STD_ON : IDS_SOUND_STD_OFF);

        r.choose(IDC_SOUND_RELEASE);
        r.select(IDC_SOUND_KIND, 5);
        r.scroll(IDC_SOUND_FREQ_BAR, kSbRight);
        r.scroll(IDC_SOUND_DUR_BAR, kSbLeft);
        r.toggle(IDC_SOUND_ENABLE);
        ASSERT_NE(currentOf(option, freq, duration), before);

        r.page->onCommand(r.dlg, IDC_SOUND_BACK_STD, kBnClicked);
        EXPECT_EQ(currentOf(option, freq, duration), before);
        EXPECT_EQ(r.dlg.at(IDC_SOUND_FREQ_BAR).pos, 2345);
        EXPECT_EQ(r.text(IDC_SOUND_DUR_VALUE), L"77");
        EXPECT_EQ(r.dlg.at(IDC_SOUND_KIND).selection, 3);
        EXPECT_EQ(r.dlg.at(IDC_SOUND_ENABLE).checked, before.on);
        EXPECT_TRUE(r.dlg.at(IDC_SOUND_PRESS).checked);
        EXPECT_EQ(r.dlg.at(IDC_SOUND_FREQ_BAR).enabled, before.on);
    }
}

TEST(SoundPage, BackToInitialValuesTurnsTheSoundOffAndLeavesTheStandardAlone) {
    SoundRig r(kCommon | opt::kSoundOn | 0x4000 | 0x0200 | opt::kStdSoundOn);  // released, kind 4, std kind 2
    r.user().freq = 5000;
    r.user().stdFreq = 3000;
    r.user().stdDuration = 400;
    r.open();
    r.page->onCommand(r.dlg, IDC_SOUND_INITIAL, kBnClicked);
    EXPECT_EQ(currentOf(r.user().option, r.user().freq, r.user().duration), (Current{false, true, 0, 1000, 50}));
    EXPECT_EQ(r.user().option & (opt::kStdKindMask | opt::kStdSoundOn | opt::kStdTouchOn), 0x0200u | opt::kStdSoundOn);
    EXPECT_EQ(r.user().stdFreq, 3000u);
    EXPECT_EQ(r.user().stdDuration, 400u);
    EXPECT_FALSE(r.dlg.at(IDC_SOUND_ENABLE).checked);
    EXPECT_FALSE(r.dlg.at(IDC_SOUND_DUR_BAR).enabled);
    EXPECT_EQ(r.text(IDC_SOUND_FREQ_VALUE), L"1000");
    EXPECT_TRUE(r.settings().settingsChanged);
}

TEST(SoundPage, PerMonitorEditsTouchOnlyTheChosenMonitor) {
    SoundRig r(def::kOption & ~kCommon);
    r.settings().multiMonitorDriver = true;
    r.user().monitorFreq[2] = 3333;
    const UserValues before = r.user();
    r.open();
    r.select(IDC_SOUND_MONITOR, 2);
    EXPECT_EQ(r.text(IDC_SOUND_FREQ_VALUE), L"3333");
    EXPECT_EQ(r.dlg.modifiedCount, 0);  // choosing a monitor edits nothing
    r.scroll(IDC_SOUND_FREQ_BAR, kSbLineRight);
    r.toggle(IDC_SOUND_ENABLE);
    for (int i = 0; i < kMaxMonitors; ++i) {
        EXPECT_EQ(r.user().monitorFreq[i], i == 2 ? 3334u : before.monitorFreq[i]) << i;
        EXPECT_EQ(r.user().monitorOption[i],
                  i == 2 ? before.monitorOption[i] | opt::kSoundOn : before.monitorOption[i]);
    }
    EXPECT_EQ(r.user().freq, before.freq);
    EXPECT_EQ(r.user().option, before.option);
}

TEST(SoundPage, TheCommonCheckboxSwitchesTheEditedSet) {
    struct Case {
        const char* name;
        uint32_t option;
        uint32_t shownAfter;  // the frequency on display after the click
        bool commonAfter;
    };
    // Common 1111 Hz; monitor 1 2222 Hz; monitor 4, the one last chosen, 4444 Hz.
    const Case cases[] = {
        {"clearing it shows the monitor last chosen", def::kOption, 4444, false},
        {"setting it shows the common set", def::kOption & ~kCommon, 1111, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SoundRig r(c.option);
        r.settings().multiMonitorDriver = true;
        r.user().freq = 1111;
        r.user().monitorFreq[0] = 2222;
        r.user().monitorFreq[3] = 4444;
        r.open();
        r.select(IDC_SOUND_MONITOR, 3);
        r.toggle(IDC_SOUND_COMMON);
        EXPECT_EQ((r.user().option & kCommon) != 0, c.commonAfter);
        EXPECT_EQ(r.text(IDC_SOUND_FREQ_VALUE), std::to_wstring(c.shownAfter));
        EXPECT_EQ(r.dlg.at(IDC_SOUND_MONITOR).enabled, !c.commonAfter);
        r.scroll(IDC_SOUND_FREQ_BAR, kSbLineLeft);
        EXPECT_EQ(c.commonAfter ? r.user().freq : r.user().monitorFreq[3], c.shownAfter - 1);
        EXPECT_TRUE(r.settings().settingsChanged);
    }
}

TEST(SoundPage, RepaintRebuildsTheMonitorListAndEditsFollowTheEntryShown) {
    struct Case {
        const char* name;
        int chosen, lastMonitorNow;
        int selectionAfter;
        int editedMonitor;  // whose frequency the next scroll changes
    };
    const Case cases[] = {
        {"the chosen monitor is still listed", 2, 4, 2, 2},
        {"more monitors keep the choice", 2, 8, 2, 2},
        {"the chosen monitor is gone: first entry and monitor 1", 4, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SoundRig r(def::kOption & ~kCommon);
        r.settings().multiMonitorDriver = true;
        for (int i = 0; i < kMaxMonitors; ++i) r.user().monitorFreq[i] = 1000 + 100 * static_cast<uint32_t>(i);
        r.open();
        r.select(IDC_SOUND_MONITOR, c.chosen);
        r.settings().lastMonitor = c.lastMonitorNow;
        r.page->onPaint(r.dlg);
        EXPECT_EQ(r.dlg.at(IDC_SOUND_MONITOR).items.size(), static_cast<size_t>(c.lastMonitorNow + 1));
        EXPECT_EQ(r.dlg.at(IDC_SOUND_MONITOR).selection, c.selectionAfter);
        EXPECT_EQ(r.text(IDC_SOUND_FREQ_VALUE), std::to_wstring(1000 + 100 * c.editedMonitor));
        EXPECT_EQ(r.dlg.modifiedCount, 0);
        r.scroll(IDC_SOUND_FREQ_BAR, kSbLineRight);
        EXPECT_EQ(r.user().monitorFreq[c.editedMonitor], 1001u + 100 * static_cast<uint32_t>(c.editedMonitor));
    }
}

TEST(SoundPage, AStoredKindBeyondTheListShowsTheFirstNameAndSelectsNothing) {
    SoundRig r(kCommon | 0x9000 | 0x0C00);
    r.open();
    EXPECT_EQ(r.dlg.at(IDC_SOUND_KIND).selection, -1);
    EXPECT_EQ(r.dlg.at(IDC_SOUND_STD_KIND).textStringId, IDS_SOUND_KIND0);
}

}  // namespace
}  // namespace tp::console::test
