#include "taptest.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "fake_registry.h"
#include "taptest_ids.h"

namespace tp::taptest {
namespace {

using test::FakeRegistry;

TEST(TaptestCommandLine, TakesTheModeAToleranceAndAScreenAndRefusesEverythingElse) {
    struct Case {
        const wchar_t* line;
        bool ok;
        Mode mode;
        uint32_t tolerance;
        int screen;
    } cases[] = {
        {L"Taptest.exe", true, Mode::Draw, 100, 0},
        {L"\"C:\\Program Files\\QTX\\PNL\\USBPNL\\Taptest.exe\" /check", true, Mode::Check, 100, 0},
        {L"Taptest /CHECK /tolerance:1.5", true, Mode::Check, 150, 0},
        {L"Taptest -draw /Tolerance:0.25 /screen:3", true, Mode::Draw, 25, 3},
        {L"Taptest /tolerance:2", true, Mode::Draw, 200, 0},
        {L"Taptest /tolerance:100", true, Mode::Draw, 10000, 0},
        {L"Taptest /tolerance:.5", true, Mode::Draw, 50, 0},
        {L"Taptest /tolerance:0", false, Mode::Draw, 0, 0},
        {L"Taptest /tolerance:100.01", false, Mode::Draw, 0, 0},
        {L"Taptest /tolerance:1.234", false, Mode::Draw, 0, 0},
        {L"Taptest /tolerance:1,5", false, Mode::Draw, 0, 0},
        {L"Taptest /tolerance:", false, Mode::Draw, 0, 0},
        {L"Taptest /tolerance:1.", false, Mode::Draw, 0, 0},
        {L"Taptest /tolerance:1 /tolerance:2", false, Mode::Draw, 0, 0},
        {L"Taptest /check /draw", false, Mode::Draw, 0, 0},
        {L"Taptest /screen:0", false, Mode::Draw, 0, 0},
        {L"Taptest /screen:10", false, Mode::Draw, 0, 0},
        {L"Taptest check", false, Mode::Draw, 0, 0},
        {L"Taptest /checks", false, Mode::Draw, 0, 0},
    };
    for (const Case& c : cases) {
        Options o;
        o.tolerance = 0;
        ASSERT_EQ(parseCommandLine(c.line, &o), c.ok) << std::wstring(c.line).size();
        if (!c.ok) continue;
        EXPECT_EQ(o.mode, c.mode);
        EXPECT_EQ(o.tolerance, c.tolerance);
        EXPECT_EQ(o.screen, c.screen);
    }
}

const DisplayMonitor kTwo[] = {{{0, 0, 1024, 768}, true}, {{-1280, 0, 1280, 1024}, false}};

MonitorSettings layout(uint32_t nComm, std::vector<std::pair<uint32_t, int32_t>> screens) {
    MonitorSettings s;
    s.present = true;
    s.layout.nComm = nComm;
    for (size_t i = 0; i < 9; ++i) s.layout.resolution[i] = i < screens.size() ? screens[i].first : 0;
    for (size_t i = 0; i < screens.size(); ++i) s.layout.originX[i] = encodeOrigin(screens[i].second);
    return s;
}

TEST(TaptestMonitor, IsTheScreenTheMultiMonitorSettingsMapThePanelToElseThePrimary) {
    const uint32_t k1280 = packResolution(1280, 1024), k1024 = packResolution(1024, 768);
    struct Case {
        const char* what;
        MonitorSettings settings;
        int requested;
        uint32_t screen;
        int32_t left;
    } cases[] = {
        {"no multi-monitor driver", MonitorSettings{}, 0, 0, 0},
        {"the function not in use", layout(0, {{k1280, -1280}, {k1024, 0}}), 0, 0, 0},
        {"screen 1 left of the primary", layout(1, {{k1280, -1280}, {k1024, 0}}), 0, 1, -1280},
        {"screen 2 asked for", layout(1, {{k1280, -1280}, {k1024, 0}}), 2, 2, 0},
        {"a screen beyond the count falls back to screen 1", layout(1, {{k1280, -1280}, {k1024, 0}}), 5, 1, -1280},
        {"stale stored size: the real monitor's bounds", layout(1, {{k1024, -1024}}), 0, 1, -1280},
        {"no real monitor there", layout(1, {{k1024, 4000}}), 0, 0, 0},
        {"no monitor in use", layout(1, {}), 0, 0, 0},
    };
    for (const Case& c : cases) {
        const Choice got = chooseMonitor(c.settings, kTwo, 2, c.requested);
        EXPECT_EQ(got.screen, c.screen) << c.what;
        EXPECT_EQ(got.monitor.left, c.left) << c.what;
        EXPECT_EQ(got.monitor.width, c.left == -1280 ? 1280 : 1024) << c.what;
    }
    const DisplayMonitor primarySecond[] = {{{-1280, 0, 1280, 1024}, false}, {{0, 0, 800, 600}, true}};
    EXPECT_EQ(chooseMonitor(MonitorSettings{}, primarySecond, 2, 0).monitor.width, 800);
}

TEST(TaptestMonitor, SettingsAreReadFromTheMultiMonitorDriversKeyWithTheConsolesDefaults) {
    FakeRegistry reg;
    EXPECT_FALSE(loadMonitorSettings(reg).present);
    const std::string k = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\QTXTPU\\Parameters";
    reg.addKey(k);
    reg.setDword(k, "Resolution1", packResolution(1280, 1024));
    reg.setDword(k, "OrgResolutionX1", 0x10000500);
    reg.setDword(k, "nComm", 1);
    const MonitorSettings s = loadMonitorSettings(reg);
    EXPECT_TRUE(s.present);
    EXPECT_EQ(s.layout.resolution[0], packResolution(1280, 1024));
    EXPECT_EQ(s.layout.resolution[1], def::kResolution);
    EXPECT_EQ(decodeOrigin(s.layout.originX[0]), -1280);
    EXPECT_EQ(s.layout.nComm, 1u);
    EXPECT_EQ(reg.openHandles(), 0);
}

TEST(TaptestText, FillPutsTheArgumentsInPlaceAndCutsToTheBuffer) {
    const wchar_t* args[] = {L"7.2", L"0.56"};
    wchar_t out[64];
    fill(L"Largest: %1 px = %2 %, %3!", args, 2, out, 64);
    EXPECT_EQ(std::wstring(out), L"Largest: 7.2 px = 0.56 %, !");
    wchar_t small[6];
    fill(L"%1%2", args, 2, small, 6);
    EXPECT_EQ(std::wstring(small), L"7.20.");
}

// ---------------------------------------------------------------- the screens

struct FakeHost : HostPort {
    const wchar_t* text(int id) override {
        texts.push_back(std::to_wstring(id));
        if (id == IDS_RESULT_MAX) return L"max %1 px %2 % at %3";
        if (id == IDS_DRAW_POINT) return L"point %1, %2";
        if (id == IDS_OFFSET) return L"%1,%2";
        return texts.back().c_str();
    }
    void invalidate(const Rect*) override { ++invalidations; }
    void close() override { ++closes; }
    bool startCalibration() override {
        ++calibrations;
        return consoleStarts;
    }
    check::LocalTime localTime() override { return {2026, 12, 9, 0, 30, 5}; }

    std::deque<std::wstring> texts;  // stable addresses: the app holds several at once
    int invalidations = 0, closes = 0, calibrations = 0;
    bool consoleStarts = true;
};

struct FakeCanvas : CanvasPort {
    struct Line {
        Point from, to;
        uint32_t rgb;
    };
    void fill(const Rect&, uint32_t) override {}
    void line(Point from, Point to, uint32_t rgb, int) override { lines.push_back({from, to, rgb}); }
    void circle(Point c, int r, uint32_t rgb, int) override { circles.push_back({c, {r, r}, rgb}); }
    void text(const Rect&, const wchar_t* t, uint32_t rgb, Align, bool) override {
        texts.push_back(t);
        colours.push_back(rgb);
    }
    bool hasText(const std::wstring& t) const {
        for (const auto& x : texts)
            if (x == t) return true;
        return false;
    }
    bool hasLine(Point a, Point b, uint32_t rgb) const {
        for (const Line& l : lines)
            if (l.from.x == a.x && l.from.y == a.y && l.to.x == b.x && l.to.y == b.y && l.rgb == rgb) return true;
        return false;
    }
    std::vector<Line> lines, circles;
    std::vector<std::wstring> texts;
    std::vector<uint32_t> colours;
};

const Choice kLeftScreen{1, {-1280, 0, 1280, 1024}};

struct Rig {
    explicit Rig(Mode mode, uint32_t tolerance = 100, Choice where = kLeftScreen, int dpi = 96)
        : app(host, reg, Options{mode, tolerance, 0}, where, dpi) {}
    Point centreOf(Button b) const {
        Button kinds[3];
        Rect rects[3];
        const int n = app.buttons(kinds, rects);
        for (int i = 0; i < n; ++i)
            if (kinds[i] == b) return {(rects[i].left + rects[i].right) / 2, (rects[i].top + rects[i].bottom) / 2};
        return {-99999, -99999};
    }
    // A tap on a button, given in client pixels.
    void tap(Button b) {
        const Point c = centreOf(b);
        app.press({c.x + kLeftScreen.monitor.left, c.y + kLeftScreen.monitor.top}, canvas);
        app.release();
    }
    void touch(int target, int dx, int dy) {
        const check::Point t = check::targetOf(kLeftScreen.monitor, target);
        app.press({t.x + dx, t.y + dy}, canvas);
        app.release();
    }
    FakeHost host;
    FakeRegistry reg;
    FakeCanvas canvas;
    App app;
};

TEST(TaptestCheck, RecordsTheOffsetOfEveryTouchOnANegativeMonitorAndKeepsTheResultForSupport) {
    struct Case {
        int dx, dy;
        uint32_t tolerance;
        bool pass;
    } cases[] = {{6, -4, 100, true}, {-11, 11, 100, true}, {12, 12, 100, false}, {12, 12, 150, true}};
    for (const Case& c : cases) {
        Rig rig(Mode::Check, c.tolerance);
        ASSERT_EQ(rig.app.screen(), Screen::Target);
        for (int i = 0; i < check::kTargetCount; ++i) {
            EXPECT_EQ(rig.app.current(), i);
            rig.touch(i, c.dx, c.dy);
        }
        ASSERT_EQ(rig.app.screen(), Screen::Result);
        check::Record r;
        ASSERT_EQ(check::loadRecord(rig.reg, &r), check::LoadResult::Loaded);
        for (const check::Offset& o : r.offsets) {
            EXPECT_EQ(o.dx, c.dx);
            EXPECT_EQ(o.dy, c.dy);
        }
        EXPECT_EQ(r.pass, c.pass) << c.dx << " " << c.tolerance;
        EXPECT_EQ(r.tolerance, c.tolerance);
        EXPECT_EQ(r.screen, 1u);
        EXPECT_EQ(r.monitor.left, -1280);
        EXPECT_EQ(r.time.hour, 0);
        EXPECT_EQ(r.time.minute, 30);
        EXPECT_TRUE(rig.app.saved());
        EXPECT_EQ(rig.host.closes, 0);
    }
}

TEST(TaptestCheck, ATargetTouchedTwiceTakesTheLastTouch) {
    Rig rig(Mode::Check);
    rig.touch(0, 20, 20);
    rig.touch(1, 1, 1);
    rig.touch(0, -2, 3);  // nearer the first target than the third: a second touch of the first
    EXPECT_EQ(rig.app.current(), 2);
    EXPECT_EQ(rig.app.offset(0).dx, -2);
    EXPECT_EQ(rig.app.offset(0).dy, 3);
    rig.touch(2, 0, 0);
    rig.touch(3, 0, 0);
    rig.touch(4, 5, 5);
    check::Record r;
    ASSERT_EQ(check::loadRecord(rig.reg, &r), check::LoadResult::Loaded);
    EXPECT_EQ(r.offsets[0].dx, -2);
    EXPECT_EQ(r.offsets[1].dx, 1);
    EXPECT_EQ(r.offsets[4].dy, 5);
}

TEST(TaptestCheck, EscapeLeavesAtAnyTimeAndAnUnfinishedCheckKeepsNothing) {
    Rig rig(Mode::Check);
    rig.touch(0, 1, 1);
    rig.touch(1, 1, 1);
    rig.app.escape();
    EXPECT_EQ(rig.host.closes, 1);
    check::Record r;
    EXPECT_EQ(check::loadRecord(rig.reg, &r), check::LoadResult::None);
    Rig close(Mode::Check);
    close.tap(Button::Close);
    EXPECT_EQ(close.host.closes, 1);
    EXPECT_EQ(close.app.current(), 0);  // the tap on the button was no touch of a target
}

TEST(TaptestResult, OffersRecalibrationOnlyWhenTheVerdictAsksForItAndThenGivesWayToTheConsole) {
    for (bool pass : {true, false}) {
        Rig rig(Mode::Check);
        for (int i = 0; i < check::kTargetCount; ++i) rig.touch(i, pass ? 3 : 30, 0);
        EXPECT_EQ(rig.centreOf(Button::Recalibrate).x != -99999, !pass);
        EXPECT_NE(rig.centreOf(Button::Again).x, -99999);
        if (pass) continue;
        rig.host.consoleStarts = false;
        rig.tap(Button::Recalibrate);
        EXPECT_EQ(rig.host.calibrations, 1);
        EXPECT_EQ(rig.host.closes, 0);  // nothing started: the result stays, with a word why
        FakeCanvas shown;
        rig.app.paint(shown);
        EXPECT_TRUE(shown.hasText(std::to_wstring(IDS_NO_CONSOLE)));
        rig.host.consoleStarts = true;
        rig.tap(Button::Recalibrate);
        EXPECT_EQ(rig.host.calibrations, 2);
        EXPECT_EQ(rig.host.closes, 1);
    }
}

TEST(TaptestResult, DrawsAnArrowFromEachTargetToItsTouchAndTheVerdict) {
    Rig rig(Mode::Check);
    for (int i = 0; i < check::kTargetCount; ++i) rig.touch(i, i == 2 ? 20 : 6, -4);
    FakeCanvas shown;
    rig.app.paint(shown);
    for (int i = 0; i < check::kTargetCount; ++i) {
        const check::Point t = check::targetOf(kLeftScreen.monitor, i);
        const Point from{t.x + 1280, t.y};  // client pixels of the monitor at -1280
        const Point to{from.x + (i == 2 ? 20 : 6), from.y - 4};
        EXPECT_TRUE(shown.hasLine(from, to, colour::kArrow)) << i;
    }
    // 20.4 px on a 1639.2 px diagonal, at the bottom right.
    EXPECT_TRUE(shown.hasText(L"max 20.4 px 1.24 % at " + std::to_wstring(IDS_TARGET_BOTTOM_RIGHT)));
    EXPECT_TRUE(shown.hasText(L"+6,-4"));
    EXPECT_TRUE(shown.hasText(std::to_wstring(IDS_VERDICT_FAIL)));
    Rig again(Mode::Check);
    for (int i = 0; i < check::kTargetCount; ++i) again.touch(i, 6, -4);
    again.tap(Button::Again);
    EXPECT_EQ(again.app.screen(), Screen::Target);
    EXPECT_EQ(again.app.current(), 0);
}

TEST(TaptestDraw, FollowsThePanelInScreenPixelsAndClearsOrLeavesFromItsCornerButtons) {
    Rig rig(Mode::Draw);
    rig.app.press({-1000, 500}, rig.canvas);
    rig.app.drag({-990, 505}, rig.canvas);
    rig.app.drag({-980, 515}, rig.canvas);
    rig.app.release();
    rig.app.drag({-900, 600}, rig.canvas);  // not pressed: no trail
    EXPECT_EQ(rig.app.trailPoints(), 3);
    EXPECT_EQ(rig.app.lastPoint().x, -980);
    EXPECT_TRUE(rig.canvas.hasLine({290, 505}, {300, 515}, colour::kTrail));
    FakeCanvas shown;
    rig.app.paint(shown);
    EXPECT_TRUE(shown.hasText(L"point -980, 515"));
    EXPECT_TRUE(shown.hasLine({280, 500}, {290, 505}, colour::kTrail));

    const Point clear = rig.centreOf(Button::Clear);
    EXPECT_GT(clear.x, 1280 / 2);  // the top right corner
    EXPECT_LT(clear.y, 60);
    rig.tap(Button::Clear);
    EXPECT_EQ(rig.app.trailPoints(), 0);
    rig.tap(Button::Check);
    EXPECT_EQ(rig.app.screen(), Screen::Target);
    rig.app.escape();
    EXPECT_EQ(rig.host.closes, 1);
    EXPECT_EQ(rig.reg.valueCount("HKCU\\Software\\Korvane Component\\Taptest"), 0u);
}

TEST(TaptestDraw, ButtonsGrowWithTheScreensDpi) {
    Rig normal(Mode::Draw, 100, kLeftScreen, 96), large(Mode::Draw, 100, kLeftScreen, 144);
    Button kinds[3];
    Rect a[3], b[3];
    ASSERT_EQ(normal.app.buttons(kinds, a), 3);
    ASSERT_EQ(large.app.buttons(kinds, b), 3);
    EXPECT_EQ((b[0].right - b[0].left) * 2, (a[0].right - a[0].left) * 3);
    EXPECT_EQ((b[0].bottom - b[0].top) * 2, (a[0].bottom - a[0].top) * 3);
}

}  // namespace
}  // namespace tp::taptest
