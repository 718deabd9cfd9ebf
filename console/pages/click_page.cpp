// Click page: stream or point mode, cursor hiding, and the system's
// double-click width, height and time. Moving a slider previews its value
// for this session only; Apply writes it to the user's profile, Cancel puts
// back what the system had before, for the sliders that moved. A test picture
// switches between sun and moon on a double-click the system recognised.
#include "console.h"

namespace tp::console {
namespace {

constexpr int kTimerId = 1;
constexpr uint32_t kFrameMs = 1000;
constexpr int kSunFrames[] = {IDI_SUN1, IDI_SUN2, IDI_SUN3, IDI_SUN4};
constexpr int kMoonFrames[] = {IDI_MOON1, IDI_MOON2, IDI_MOON3, IDI_MOON4};
constexpr int kFrameCount = 4;

// Everything below the operate-mode group, which moves up when it is hidden.
constexpr int kBelowOperateMode[] = {
    IDC_CLICK_CURSOR_GROUP, IDC_CLICK_HIDE_CURSOR, IDC_CLICK_DCLICK_GROUP, IDC_CLICK_EXPLAIN,
    IDC_CLICK_WIDTH_LABEL,  IDC_CLICK_WIDTH,       IDC_CLICK_WIDTH_LOW,    IDC_CLICK_WIDTH_HIGH,
    IDC_CLICK_HEIGHT_LABEL, IDC_CLICK_HEIGHT,      IDC_CLICK_HEIGHT_LOW,   IDC_CLICK_HEIGHT_HIGH,
    IDC_CLICK_SPEED_LABEL,  IDC_CLICK_SPEED,       IDC_CLICK_SPEED_LOW,    IDC_CLICK_SPEED_HIGH,
    IDC_CLICK_TEST_GROUP,   IDC_CLICK_TEST_ICON,
};

struct Slider {
    int id;
    int min, max, ticks, step;
};
constexpr Slider kWidth{IDC_CLICK_WIDTH, 2, 66, 8, 8};
constexpr Slider kHeight{IDC_CLICK_HEIGHT, 2, 66, 8, 8};
constexpr Slider kSpeed{IDC_CLICK_SPEED, 100, 800, 100, 50};

// The double-click time the system takes for a speed.
uint32_t timeOfSpeed(int speed) { return static_cast<uint32_t>(1000 - speed); }

class ClickPage final : public Page {
public:
    using Page::Page;

    void onInit(DialogPort& dlg) override {
        if (has(opt::kOfferOperateMode)) {
            dlg.checkButton(IDC_CLICK_STREAM, !has(opt::kPointMode));
            dlg.checkButton(IDC_CLICK_POINT, has(opt::kPointMode));
        } else {
            hideOperateMode(dlg);
        }
        step_ = 0;
        dlg.setItemIcon(IDC_CLICK_TEST_ICON, frames()[0]);
        PanelSettings& s = settings();
        setUp(dlg, kHeight, s.dHeightEdit);
        setUp(dlg, kWidth, s.dWidthEdit);
        // A speed beyond the slider's end shows at the end and stays stored as it is.
        setUp(dlg, kSpeed, s.dClickSpeedEdit);
        dlg.checkButton(IDC_CLICK_HIDE_CURSOR, has(opt::kHideCursor));
        dlg.setTimer(kTimerId, kFrameMs);
        // The user's own values, which may lie beyond the sliders' ranges.
        SystemPort& sys = console().ports.system;
        system_[kWidthAt] = static_cast<uint32_t>(sys.getSystemMetrics(kSmCxDoubleClk));
        system_[kHeightAt] = static_cast<uint32_t>(sys.getSystemMetrics(kSmCyDoubleClk));
        system_[kTimeAt] = sys.getDoubleClickTime();
    }

    void onCommand(DialogPort& dlg, int id, int code) override {
        if (code != kBnClicked) return;
        switch (id) {
            case IDC_CLICK_STREAM:
                put(opt::kPointMode, false);
                break;
            case IDC_CLICK_POINT:
                put(opt::kPointMode, true);
                break;
            case IDC_CLICK_HIDE_CURSOR:
                put(opt::kHideCursor, dlg.isButtonChecked(IDC_CLICK_HIDE_CURSOR));
                break;
            default:
                return;
        }
        markModified(dlg);
    }

    void onHScroll(DialogPort& dlg, int id, int, int) override {
        PanelSettings& s = settings();
        const int pos = dlg.trackPos(id);
        if (id == kWidth.id) {
            s.dWidthEdit = pos;
            preview(kWidthAt, static_cast<uint32_t>(pos));
        } else if (id == kHeight.id) {
            s.dHeightEdit = pos;
            preview(kHeightAt, static_cast<uint32_t>(pos));
        } else if (id == kSpeed.id) {
            s.dClickSpeedEdit = pos;
            preview(kTimeAt, timeOfSpeed(pos));
        } else {
            return;
        }
        markModified(dlg);
    }

    void onTimer(DialogPort& dlg, int timerId) override {
        if (timerId != kTimerId) return;
        dlg.setItemIcon(IDC_CLICK_TEST_ICON, frames()[step_]);
        step_ = (step_ + 1) % kFrameCount;
    }

    void onDoubleClick(DialogPort& dlg) override {
        const Point p = console().ports.system.getCursorPos();
        const Rect r = dlg.itemScreenRect(IDC_CLICK_TEST_ICON);
        if (p.x < r.left || p.x >= r.right || p.y < r.top || p.y >= r.bottom) return;
        moon_ = !moon_;
        dlg.setItemIcon(IDC_CLICK_TEST_ICON, frames()[0]);
        step_ = 0;
    }

    void onDestroy(DialogPort& dlg) override { dlg.killTimer(kTimerId); }

    // The sound page's save may already have cleared SettingsChanged (and
    // stored the edited width and height): the edits are committed whenever
    // they differ, so that a later Cancel keeps what the registry holds.
    bool onApply(DialogPort& dlg) override {
        PanelSettings& s = settings();
        const bool edited = s.dClickSpeedEdit != s.dClickSpeed || s.dHeightEdit != static_cast<int>(s.user.dHeight) ||
                            s.dWidthEdit != static_cast<int>(s.user.dWidth);
        if (s.settingsChanged || edited) {
            s.dClickSpeed = s.dClickSpeedEdit;
            s.user.dHeight = static_cast<uint32_t>(s.dHeightEdit);
            s.user.dWidth = static_cast<uint32_t>(s.dWidthEdit);
        }
        // The previews become the user's own values, announced to every
        // program when they moved (a slider moved and put back did not).
        for (int i = 0; i < kValues; ++i) {
            if (!previewed_[i]) continue;
            const uint32_t announce = shown_[i] != system_[i] ? kSpifSendChange : 0;
            console().ports.system.systemParametersInfo(kActions[i], shown_[i], kSpifUpdateIniFile | announce);
            system_[i] = shown_[i];
            previewed_[i] = false;
        }
        return saveIfChanged(dlg);
    }

    // Only what this page previewed goes back; the profile was never written.
    void onCancel(DialogPort&) override {
        for (int i = 0; i < kValues; ++i) {
            if (!previewed_[i]) continue;
            console().ports.system.systemParametersInfo(kActions[i], system_[i], 0);
            previewed_[i] = false;
        }
    }

private:
    // The three system values, in the order Cancel restores them.
    enum { kTimeAt, kHeightAt, kWidthAt, kValues };
    static constexpr uint32_t kActions[kValues] = {kSpiSetDoubleClickTime, kSpiSetDoubleClkHeight,
                                                   kSpiSetDoubleClkWidth};

    void preview(int at, uint32_t value) {
        console().ports.system.systemParametersInfo(kActions[at], value, 0);
        shown_[at] = value;
        previewed_[at] = true;
    }

    bool has(uint32_t bit) { return (settings().user.option & bit) != 0; }
    void put(uint32_t bit, bool on) {
        uint32_t& option = settings().user.option;
        option = on ? option | bit : option & ~bit;
    }
    const int* frames() const { return moon_ ? kMoonFrames : kSunFrames; }

    static void setUp(DialogPort& dlg, const Slider& s, int pos) {
        dlg.setTrackRange(s.id, s.min, s.max);
        dlg.setTrackTicks(s.id, s.ticks);
        dlg.setTrackLineSize(s.id, s.step);
        dlg.setTrackPageSize(s.id, s.step);
        dlg.setTrackPos(s.id, pos);
    }

    static void hideOperateMode(DialogPort& dlg) {
        const Rect group = dlg.itemRect(IDC_CLICK_MODE_GROUP);
        const int lift = group.bottom - group.top;
        for (int id : {IDC_CLICK_MODE_GROUP, IDC_CLICK_STREAM, IDC_CLICK_POINT}) dlg.showItem(id, false);
        for (int id : kBelowOperateMode) {
            Rect r = dlg.itemRect(id);
            r.top -= lift;
            r.bottom -= lift;
            dlg.moveItem(id, r);
        }
    }

    bool moon_ = false;
    int step_ = 0;
    uint32_t system_[kValues] = {};  // the values before any preview, or as last applied
    uint32_t shown_[kValues] = {};   // the values previewed
    bool previewed_[kValues] = {};
};

}  // namespace

std::unique_ptr<Page> makeClickPage(Console& console) { return std::make_unique<ClickPage>(console); }

}  // namespace tp::console
