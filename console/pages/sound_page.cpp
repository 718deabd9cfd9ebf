// Sound page: touch sound on/off, press or release, kind, beep frequency and
// duration, for all monitors alike or for each monitor, with a standard
// snapshot the user can take and return to.
#include "console.h"

namespace tp::console {
namespace {

constexpr uint32_t kStdKindShift = 8;
constexpr int kKindCount = 6;
constexpr uint32_t kInitialFreq = 1000;
constexpr uint32_t kInitialDuration = 50;

struct Bar {
    int bar, value;
    int min, max;
};
constexpr Bar kFreqBar{IDC_SOUND_FREQ_BAR, IDC_SOUND_FREQ_VALUE, 37, 10000};
constexpr Bar kDurationBar{IDC_SOUND_DUR_BAR, IDC_SOUND_DUR_VALUE, 1, 1000};

// Enabled exactly while the edited set has its sound on.
constexpr int kDependents[] = {
    IDC_SOUND_PRESS,      IDC_SOUND_RELEASE,   IDC_SOUND_KIND_LABEL, IDC_SOUND_KIND,       IDC_SOUND_BEEP_GROUP,
    IDC_SOUND_FREQ_LABEL, IDC_SOUND_DUR_LABEL, IDC_SOUND_FREQ_RANGE, IDC_SOUND_DUR_RANGE,  IDC_SOUND_FREQ_UNIT,
    IDC_SOUND_DUR_UNIT,   IDC_SOUND_FREQ_BAR,  IDC_SOUND_DUR_BAR,    IDC_SOUND_FREQ_VALUE, IDC_SOUND_DUR_VALUE,
};

// One set of sound settings inside the record: common or one monitor's.
struct SoundSet {
    uint32_t& option;
    uint32_t& freq;
    uint32_t& duration;
    uint32_t& stdFreq;
    uint32_t& stdDuration;

    bool has(uint32_t bit) const { return (option & bit) != 0; }
    void put(uint32_t bit, bool on) { option = on ? option | bit : option & ~bit; }
    uint32_t kind() const { return (option & opt::kKindMask) >> opt::kKindShift; }
    uint32_t stdKind() const { return (option & opt::kStdKindMask) >> kStdKindShift; }
    void setKind(uint32_t k) { option = (option & ~opt::kKindMask) | ((k << opt::kKindShift) & opt::kKindMask); }
    void setStdKind(uint32_t k) { option = (option & ~opt::kStdKindMask) | ((k << kStdKindShift) & opt::kStdKindMask); }
};

void setNumber(DialogPort& dlg, int id, uint32_t value) { dlg.setItemText(id, decimalText(value).c_str()); }

class SoundPage final : public Page {
public:
    using Page::Page;

    void onInit(DialogPort& dlg) override {
        for (int k = 0; k < kKindCount; ++k) dlg.comboAddString(IDC_SOUND_KIND, IDS_SOUND_KIND0 + k);
        show(dlg, edited());
        fillMonitors(dlg);
        dlg.comboSelect(IDC_SOUND_MONITOR, 0);
        dlg.checkButton(IDC_SOUND_COMMON, common());
        if (settings().multiMonitorDriver) {
            dlg.enableItem(IDC_SOUND_MONITOR, !common());
        } else {
            dlg.enableItem(IDC_SOUND_COMMON, false);
            dlg.enableItem(IDC_SOUND_MONITOR, false);
        }
    }

    void onCommand(DialogPort& dlg, int id, int code) override {
        if (id == IDC_SOUND_KIND || id == IDC_SOUND_MONITOR) {
            if (code == kCbnSelChange) onSelection(dlg, id);
            return;
        }
        if (code != kBnClicked) return;
        SoundSet x = edited();
        switch (id) {
            case IDC_SOUND_ENABLE:
                x.put(opt::kSoundOn, dlg.isButtonChecked(IDC_SOUND_ENABLE));
                enableDependents(dlg, x);
                break;
            case IDC_SOUND_PRESS:
                x.put(opt::kBeepAtTouch, true);
                break;
            case IDC_SOUND_RELEASE:
                x.put(opt::kBeepAtTouch, false);
                break;
            case IDC_SOUND_SET_STD:
                x.put(opt::kStdSoundOn, x.has(opt::kSoundOn));
                x.put(opt::kStdTouchOn, x.has(opt::kBeepAtTouch));
                x.setStdKind(x.kind());
                x.stdFreq = x.freq;
                x.stdDuration = x.duration;
                showStandard(dlg, x);
                break;
            case IDC_SOUND_BACK_STD:
                setCurrent(dlg, x, x.has(opt::kStdSoundOn), x.has(opt::kStdTouchOn), x.stdKind(), x.stdFreq,
                           x.stdDuration);
                break;
            case IDC_SOUND_INITIAL:
                setCurrent(dlg, x, false, true, 0, kInitialFreq, kInitialDuration);
                break;
            case IDC_SOUND_COMMON: {
                const bool on = dlg.isButtonChecked(IDC_SOUND_COMMON);
                uint32_t& option = settings().user.option;
                option = on ? option | opt::kSameSoundAllMonitors : option & ~opt::kSameSoundAllMonitors;
                if (settings().multiMonitorDriver) dlg.enableItem(IDC_SOUND_MONITOR, !on);
                show(dlg, edited());
                break;
            }
            default:
                return;
        }
        markModified(dlg);
    }

    void onHScroll(DialogPort& dlg, int id, int code, int pos) override {
        const Bar* bar = id == kFreqBar.bar ? &kFreqBar : id == kDurationBar.bar ? &kDurationBar : nullptr;
        if (!bar) return;
        markModified(dlg);
        const int p = dlg.scrollPos(id);
        int next = p;
        switch (code) {
            case kSbLineLeft:
                next = p - 1;
                break;
            case kSbLineRight:
                next = p + 1;
                break;
            case kSbPageLeft:
                next = p > 100 ? p - 100 : bar->min;
                break;
            case kSbPageRight:
                next = p + 100;
                break;
            case kSbThumbPosition:
            case kSbThumbTrack:
                next = pos;
                break;
            case kSbLeft:
                next = bar->min;
                break;
            case kSbRight:
                next = bar->max;
                break;
            default:
                break;
        }
        next = next < bar->min ? bar->min : next > bar->max ? bar->max : next;
        SoundSet x = edited();
        (bar == &kFreqBar ? x.freq : x.duration) = static_cast<uint32_t>(next);
        dlg.setScrollPos(id, next);
        setNumber(dlg, bar->value, static_cast<uint32_t>(next));
    }

    // The number of monitors may have changed on the multi-monitor page.
    void onPaint(DialogPort& dlg) override {
        const int kept = dlg.comboSelection(IDC_SOUND_MONITOR);
        for (int i = dlg.comboCount(IDC_SOUND_MONITOR) - 1; i >= 0; --i) dlg.comboDelete(IDC_SOUND_MONITOR, i);
        const int count = fillMonitors(dlg);
        if (kept >= 0 && kept < count) {
            dlg.comboSelect(IDC_SOUND_MONITOR, kept);
            return;
        }
        dlg.comboSelect(IDC_SOUND_MONITOR, 0);
        // Edits follow the entry on display, not a monitor no longer listed.
        if (monitor_ != 0) {
            monitor_ = 0;
            if (!common()) show(dlg, edited());
        }
    }

    bool onApply(DialogPort& dlg) override { return saveIfChanged(dlg); }

private:
    bool common() { return (settings().user.option & opt::kSameSoundAllMonitors) != 0; }

    SoundSet monitorSet(int i) {
        UserValues& u = settings().user;
        return {u.monitorOption[i], u.monitorFreq[i], u.monitorDuration[i], u.monitorStdFreq[i],
                u.monitorStdDuration[i]};
    }

    SoundSet edited() {
        UserValues& u = settings().user;
        if (common()) return {u.option, u.freq, u.duration, u.stdFreq, u.stdDuration};
        return monitorSet(monitor_);
    }

    int fillMonitors(DialogPort& dlg) {
        int count = settings().lastMonitor + 1;
        if (count > kMaxMonitors) count = kMaxMonitors;
        for (int i = 0; i < count; ++i) {
            dlg.comboAdd(IDC_SOUND_MONITOR, (L"Screen" + decimalText(i + 1)).c_str());
        }
        return count < 0 ? 0 : count;
    }

    void onSelection(DialogPort& dlg, int id) {
        const int sel = dlg.comboSelection(id);
        if (sel < 0) return;
        if (id == IDC_SOUND_MONITOR) {
            monitor_ = sel < kMaxMonitors ? sel : 0;
            show(dlg, monitorSet(monitor_));
            return;
        }
        edited().setKind(static_cast<uint32_t>(sel));
        markModified(dlg);
    }

    static void enableDependents(DialogPort& dlg, const SoundSet& x) {
        for (int id : kDependents) dlg.enableItem(id, x.has(opt::kSoundOn));
    }

    static int kindString(uint32_t kind) { return IDS_SOUND_KIND0 + (kind < kKindCount ? static_cast<int>(kind) : 0); }

    static void showStandard(DialogPort& dlg, const SoundSet& x) {
        setNumber(dlg, IDC_SOUND_STD_FREQ, x.stdFreq);
        setNumber(dlg, IDC_SOUND_STD_DUR, x.stdDuration);
        dlg.setItemString(IDC_SOUND_STD_ONOFF, x.has(opt::kStdSoundOn) ? IDS_SOUND_STD_ON : IDS_SOUND_STD_OFF);
        dlg.setItemString(IDC_SOUND_STD_PRESS, x.has(opt::kStdTouchOn) ? IDS_SOUND_STD_PRESS : IDS_SOUND_STD_RELEASE);
        dlg.setItemString(IDC_SOUND_STD_KIND, kindString(x.stdKind()));
    }

    static void showCurrent(DialogPort& dlg, const SoundSet& x) {
        dlg.setScrollPos(kFreqBar.bar, static_cast<int>(x.freq));
        dlg.setScrollPos(kDurationBar.bar, static_cast<int>(x.duration));
        setNumber(dlg, kFreqBar.value, x.freq);
        setNumber(dlg, kDurationBar.value, x.duration);
        dlg.checkButton(IDC_SOUND_PRESS, x.has(opt::kBeepAtTouch));
        dlg.checkButton(IDC_SOUND_RELEASE, !x.has(opt::kBeepAtTouch));
        // A stored kind beyond the list selects nothing.
        dlg.comboSelect(IDC_SOUND_KIND, static_cast<int>(x.kind()));
        dlg.checkButton(IDC_SOUND_ENABLE, x.has(opt::kSoundOn));
        enableDependents(dlg, x);
    }

    static void show(DialogPort& dlg, const SoundSet& x) {
        dlg.setScrollRange(kFreqBar.bar, kFreqBar.min, kFreqBar.max);
        dlg.setScrollRange(kDurationBar.bar, kDurationBar.min, kDurationBar.max);
        showStandard(dlg, x);
        showCurrent(dlg, x);
    }

    static void setCurrent(DialogPort& dlg, SoundSet& x, bool on, bool atPress, uint32_t kind, uint32_t freq,
                           uint32_t duration) {
        x.put(opt::kSoundOn, on);
        x.put(opt::kBeepAtTouch, atPress);
        x.setKind(kind);
        x.freq = freq;
        x.duration = duration;
        showCurrent(dlg, x);
    }

    int monitor_ = 0;
};

}  // namespace

std::unique_ptr<Page> makeSoundPage(Console& console) { return std::make_unique<SoundPage>(console); }

}  // namespace tp::console
