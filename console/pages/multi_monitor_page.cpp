// The multi-monitor page: mode bits, the number of monitors, each monitor's
// size and origin, and the touch identification that tells the driver which
// panel belongs to which screen.
#include <string>

#include "console.h"
#include "driver_channel.h"
#include "pages/monitor_pages.h"

namespace tp::console {

const uint32_t kResolutionList[kResolutionChoices] = {0x028001E0, 0x03200258, 0x04000300, 0x04800360,
                                                      0x050003C0, 0x05000400, 0x0578041A, 0x064004B0};
static const wchar_t* const kResolutionNames[kResolutionChoices] = {
    L"640x480", L"800x600", L"1024x768", L"1152x864", L"1280x960", L"1280x1024", L"1400x1050", L"1600x1200"};

uint32_t resolutionForChoice(int index) {
    return index >= 0 && index < kResolutionChoices ? kResolutionList[index] : def::kResolution;
}

std::wstring resolutionText(uint32_t resolution) {
    return decimalText(resolutionWidth(resolution)) + L"x" + decimalText(resolutionHeight(resolution));
}

namespace {

bool isBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// What a Japanese IME types for the ASCII characters the fields take.
wchar_t foldTyped(wchar_t c) {
    if (c >= L'\xFF10' && c <= L'\xFF19') return static_cast<wchar_t>(L'0' + (c - L'\xFF10'));  // ０…９
    switch (c) {
        case L'\xFF58':  // ｘ
        case L'\xFF38':  // Ｘ
        case L'\x00D7':  // ×
            return L'x';
        case L'\xFF0D':  // －
        case L'\x2212':  // minus sign
        case L'\x30FC':  // ー: the minus key with the IME in kana mode
            return L'-';
        case L'\xFF0B':  // ＋
            return L'+';
        case L'\x3000':  // ideographic space
            return L' ';
    }
    return c;
}

// The decimal digits at p, saturating at limit; p is left on the first non-digit.
uint32_t readDigits(const wchar_t*& p, uint32_t limit) {
    uint32_t value = 0;
    for (; isDigit(*p); ++p) {
        const uint32_t digit = static_cast<uint32_t>(*p - L'0');
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    return value;
}

uint32_t unsignedSide(const std::wstring& text) {
    const wchar_t* p = text.c_str();
    while (isBlank(*p)) ++p;
    return readDigits(p, kMaxResolutionSide);
}

}  // namespace

std::wstring foldTypedText(const wchar_t* text) {
    std::wstring folded;
    for (const wchar_t* p = text; *p; ++p) folded += foldTyped(*p);
    return folded;
}

uint32_t parseResolutionText(const wchar_t* typed) {
    const std::wstring text = foldTypedText(typed);
    std::wstring width, height;
    bool inHeight = false;
    size_t at = 0;
    for (const wchar_t* p = text.c_str(); *p; ++p) {
        if (*p == L'x' || *p == L'X') {
            inHeight = true;
            at = 0;
        } else if (!inHeight) {
            width += *p;
        } else {
            if (at < height.size())
                height[at] = *p;
            else
                height += *p;
            ++at;
        }
    }
    return packResolution(unsignedSide(width), unsignedSide(height));
}

std::wstring originText(uint32_t stored) { return decimalText(decodeOrigin(stored)); }

int32_t parseOriginText(const wchar_t* typed) {
    const std::wstring text = foldTypedText(typed);
    const wchar_t* p = text.c_str();
    while (isBlank(*p)) ++p;
    const bool negative = *p == L'-';
    if (*p == L'-' || *p == L'+') ++p;
    const auto magnitude = static_cast<int32_t>(readDigits(p, kMaxOriginMagnitude));
    return negative ? -magnitude : magnitude;
}

Point identifyDialogPosition(Language language, uint32_t resolution, uint32_t originX, uint32_t originY,
                             int dialogWidth, int dialogHeight) {
    const int screenWidth = static_cast<int>(resolutionWidth(resolution));
    const int screenHeight = static_cast<int>(resolutionHeight(resolution));
    int x = screenWidth / 2 - dialogWidth / 2 + decodeOrigin(originX);
    const int y = screenHeight / 2 - dialogHeight / 2 + decodeOrigin(originY);
    const bool ja = language == Language::Japanese;
    const int bandStart = ja ? 297 : 273;
    if (x >= bandStart && x <= 327) x = bandStart - 1;
    return {x, y};
}

namespace {

constexpr int kModeControls[] = {IDC_MULTI_AUTO, IDC_MULTI_MONITOR, IDC_MULTI_COUNT, IDC_MULTI_Y,
                                 IDC_MULTI_X,    IDC_MULTI_RES,     IDC_MULTI_OS,    IDC_MULTI_IDENTIFY};
constexpr uint32_t kUseMultiMonitor = 0x1;
constexpr uint32_t kOsManaged = 0x2;
constexpr uint32_t kNoAutoAcquire = 0x1;

std::wstring screenName(int index) { return L"Screen" + decimalText(index + 1); }

std::wstring fieldText(DialogPort& dlg, int id) {
    wchar_t text[kFieldTextMax + 1];
    dlg.getItemText(id, text, kFieldTextMax + 1);
    return text;
}

// The modal dialog shown on one screen while the driver waits for a touch.
class IdentifyDialog : public DialogLogic {
public:
    IdentifyDialog(const Console& console, int screen) : console_(console), screen_(screen) {}

    void onInit(DialogPort& dlg) override {
        dlg.setTimer(kIdentifyTimer, kIdentifyTimeoutMs);
        if (screen_ < 1 || screen_ > kMaxMonitors) return;
        const MonitorLayoutBlock& layout = console_.settings.layout;
        const int i = screen_ - 1;
        const Rect outer = dlg.windowRect();
        const Point at = identifyDialogPosition(console_.language, layout.resolution[i], layout.originX[i],
                                                layout.originY[i], outer.right - outer.left, outer.bottom - outer.top);
        dlg.placeTopmost(at.x, at.y);
        dlg.setItemString(IDC_IDENTIFY_TEXT, IDS_IDENTIFY_SCREEN1 + i);
    }

    void onActivity(DialogPort& dlg) override {
        if (ended_) return;
        dlg.killTimer(kIdentifyTimer);
        dlg.setTimer(kIdentifyTimer, kIdentifyTimeoutMs);
    }

    // Escape arrives as IDCANCEL and is ignored: only the own Cancel button stops.
    void onCommand(DialogPort& dlg, int id, int code) override {
        if (code != kBnClicked) return;
        if (id == kIdOk) end(dlg, 0);
        if (id == IDC_IDENTIFY_CANCEL) end(dlg, kIdentifyStop);
    }

    void onTimer(DialogPort& dlg, int timerId) override {
        if (timerId == kIdentifyTimer) end(dlg, kIdentifyStop);
    }

    void onDestroy(DialogPort& dlg) override { end(dlg, 0); }

private:
    // A dialog destroyed after it ended keeps the result it ended with.
    void end(DialogPort& dlg, int result) {
        dlg.killTimer(kIdentifyTimer);
        if (ended_) return;
        ended_ = true;
        dlg.endDialog(result);
    }

    const Console& console_;
    int screen_;
    bool ended_ = false;
};

class MultiMonitorPage : public Page {
public:
    using Page::Page;

    void onInit(DialogPort& dlg) override {
        const MonitorLayoutBlock& layout = settings().layout;
        const bool use = layout.nComm & kUseMultiMonitor;
        dlg.checkButton(IDC_MULTI_USE, use);
        enableModeControls(dlg, use);
        dlg.checkButton(IDC_MULTI_OS, layout.nComm & kOsManaged);
        dlg.checkButton(IDC_MULTI_AUTO, !(layout.disableMode & kNoAutoAcquire));
        for (int i = 0; i < kMaxMonitors; ++i) dlg.comboAdd(IDC_MULTI_COUNT, decimalText(i + 1).c_str());
        for (int i = 0; i <= settings().lastMonitorAtStart && i < kMaxMonitors; ++i)
            dlg.comboAdd(IDC_MULTI_MONITOR, screenName(i).c_str());
        for (const wchar_t* name : kResolutionNames) dlg.comboAdd(IDC_MULTI_RES, name);
        dlg.comboSelect(IDC_MULTI_COUNT, settings().lastMonitorAtStart);
        dlg.comboSelect(IDC_MULTI_MONITOR, 0);
        showMonitor(dlg, 0);
    }

    void onCommand(DialogPort& dlg, int id, int code) override {
        MonitorLayoutBlock& layout = settings().layout;
        switch (id) {
            case IDC_MULTI_USE:
                if (code != kBnClicked) return;
                setBit(layout.nComm, kUseMultiMonitor, dlg.isButtonChecked(id));
                enableModeControls(dlg, dlg.isButtonChecked(id));
                markModified(dlg);
                return;
            case IDC_MULTI_OS:
                if (code != kBnClicked) return;
                setBit(layout.nComm, kOsManaged, dlg.isButtonChecked(id));
                markModified(dlg);
                return;
            case IDC_MULTI_AUTO:
                if (code != kBnClicked) return;
                setBit(layout.disableMode, kNoAutoAcquire, !dlg.isButtonChecked(id));
                markModified(dlg);
                return;
            case IDC_MULTI_COUNT:
                if (code == kCbnSelChange) countChosen(dlg);
                return;
            case IDC_MULTI_MONITOR:
                if (code == kCbnSelChange && dlg.comboSelection(id) >= 0) showMonitor(dlg, dlg.comboSelection(id));
                return;
            case IDC_MULTI_RES:
                if (code == kCbnSelChange) {
                    layout.resolution[current_] = resolutionForChoice(dlg.comboSelection(id));
                } else if (code == kCbnEditChange) {
                    // A size of 0 would end the driver's monitor list here,
                    // and half a size ("1280x" while typing) is no screen:
                    // the last valid size stays until the text reads as one.
                    const uint32_t typed = parseResolutionText(fieldText(dlg, id).c_str());
                    if (resolutionWidth(typed) == 0 || resolutionHeight(typed) == 0) return;
                    layout.resolution[current_] = typed;
                } else {
                    return;
                }
                markModified(dlg);
                return;
            case IDC_MULTI_X:
            case IDC_MULTI_Y:
                if (code != kEnChange || showing_) return;
                (id == IDC_MULTI_X ? layout.originX : layout.originY)[current_] =
                    encodeOrigin(parseOriginText(fieldText(dlg, id).c_str()));
                markModified(dlg);
                return;
            case IDC_MULTI_IDENTIFY:
                if (code == kBnClicked) identify(dlg);
                return;
        }
    }

    bool onApply(DialogPort& dlg) override { return saveIfChanged(dlg); }

private:
    static void setBit(uint32_t& word, uint32_t bit, bool on) { word = on ? word | bit : word & ~bit; }

    static void enableModeControls(DialogPort& dlg, bool enabled) {
        for (int id : kModeControls) dlg.enableItem(id, enabled);
    }

    // Showing a monitor is not an edit: the EN_CHANGE of the texts set here
    // neither stores nor marks the settings changed.
    void showMonitor(DialogPort& dlg, int index) {
        const MonitorLayoutBlock& layout = settings().layout;
        current_ = index;
        showing_ = true;
        dlg.setItemText(IDC_MULTI_RES, resolutionText(layout.resolution[index]).c_str());
        dlg.setItemText(IDC_MULTI_X, originText(layout.originX[index]).c_str());
        dlg.setItemText(IDC_MULTI_Y, originText(layout.originY[index]).c_str());
        showing_ = false;
    }

    void countChosen(DialogPort& dlg) {
        const int last = dlg.comboSelection(IDC_MULTI_COUNT);
        if (last < 0 || last >= kMaxMonitors) return;
        settings().lastMonitor = last;
        const int remembered = dlg.comboSelection(IDC_MULTI_MONITOR);
        for (int i = dlg.comboCount(IDC_MULTI_MONITOR) - 1; i >= 0; --i) dlg.comboDelete(IDC_MULTI_MONITOR, i);
        for (int i = 0; i <= last; ++i) {
            dlg.comboAdd(IDC_MULTI_MONITOR, screenName(i).c_str());
            if (settings().layout.resolution[i] == 0) settings().layout.resolution[i] = def::kResolution;
        }
        dlg.comboSelect(IDC_MULTI_MONITOR, remembered >= 0 && remembered <= last ? remembered : 0);
        // The removed monitor's fields give way to monitor 1's, origins
        // included, so that what is shown is what a later edit changes.
        if (current_ > last) {
            dlg.comboSelect(IDC_MULTI_MONITOR, 0);
            showMonitor(dlg, 0);
        }
        markModified(dlg);
    }

    void identify(DialogPort& dlg) {
        Device panel(console().ports.driver, kPanelDevicePath);
        Device multi(console().ports.driver, kMultiDevicePath);
        if (!panel || !multi) return;
        for (int screen = 1; screen <= settings().lastMonitor + 1 && screen <= kMaxMonitors; ++screen) {
            const uint32_t word = monitorIndexWord(static_cast<uint32_t>(screen - 1));
            panel.sendDword(req::kIdentifyPanelStart, word);
            multi.sendDword(req::kIdentifyMultiStart, word);
            IdentifyDialog dialog(console(), screen);
            const int result = console().ports.system.runModalDialog(dlg.window(), IDD_IDENTIFY, dialog);
            panel.send(req::kIdentifyPanelEnd);
            multi.send(req::kIdentifyMultiEnd);
            if (result == kIdentifyStop) break;
        }
    }

    int current_ = 0;
    bool showing_ = false;
};

}  // namespace

std::unique_ptr<Page> makeMultiMonitorPage(Console& console) { return std::make_unique<MultiMonitorPage>(console); }

}  // namespace tp::console
