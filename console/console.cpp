#include "console.h"

namespace tp::console {

Language languageForCodePage(uint32_t codePage) { return codePage == 932 ? Language::Japanese : Language::English; }

int clickSpeedFromTime(uint32_t doubleClickTimeMs) {
    const int64_t speed = 1000 - static_cast<int64_t>(doubleClickTimeMs);
    return static_cast<int>(speed < 100 ? 100 : speed > 900 ? 900 : speed);
}

void loadConsoleSettings(Console& console) {
    PanelSettings& s = console.settings;
    loadPanelSettings(console.ports.registry, s);
    s.dClickSpeed = s.dClickSpeedEdit = clickSpeedFromTime(console.ports.system.getDoubleClickTime());
}

bool SaveAndNotify(Console& console) {
    const ConsolePorts& p = console.ports;
    return SaveAndNotify(console.settings, SavePorts{p.registry, p.driver, p.sleeper, p.agent}).ok();
}

std::vector<PageEntry> pageSet(Language language, bool multiMonitorDriver, bool buttonsSwapped) {
    const bool ja = language == Language::Japanese;
    std::vector<PageEntry> pages = {
        {PageKind::TouchPanel, ja ? IDD_TOUCH_JA : IDD_TOUCH_EN, IDS_TITLE_TOUCH},
        {PageKind::Sound, ja ? IDD_SOUND_JA : IDD_SOUND_EN, IDS_TITLE_SOUND},
        {PageKind::Click, ja ? IDD_CLICK_JA : IDD_CLICK_EN, IDS_TITLE_CLICK},
        {PageKind::RightClick, ja ? IDD_RIGHT_JA : IDD_RIGHT_EN, buttonsSwapped ? IDS_TITLE_LEFT : IDS_TITLE_RIGHT},
    };
    if (multiMonitorDriver) {
        pages.push_back({PageKind::CalibrationWithMonitor, ja ? IDD_CALIBS_JA : IDD_CALIBS_EN, IDS_TITLE_CALIB});
        pages.push_back({PageKind::MultiMonitor, ja ? IDD_MULTI_JA : IDD_MULTI_EN, IDS_TITLE_MULTI});
    } else {
        pages.push_back({PageKind::Calibration, ja ? IDD_CALIB_JA : IDD_CALIB_EN, IDS_TITLE_CALIB});
    }
    pages.push_back({PageKind::DriverInfo, ja ? IDD_INFO_JA : IDD_INFO_EN, IDS_TITLE_INFO});
    return pages;
}

size_t startPage(const std::vector<PageEntry>& pages, const wchar_t* commandLine) {
    const wchar_t* p = commandLine ? commandLine : L"";
    while (*p == L' ' || *p == L'\t') ++p;
    const bool quoted = *p == L'"';
    for (p += quoted; *p && (quoted ? *p != L'"' : *p != L' ' && *p != L'\t'); ++p) {}
    bool calibration = false;
    while (*p) {
        while (*p == L'"' || *p == L' ' || *p == L'\t') ++p;
        const wchar_t* word = L"/calibration";
        const wchar_t* q = p;
        for (; *word && *q; ++word, ++q) {
            const wchar_t c = *q >= L'A' && *q <= L'Z' ? static_cast<wchar_t>(*q - L'A' + L'a') : *q;
            if (c != *word && !(word[0] == L'/' && c == L'-')) break;
        }
        if (!*word && (!*q || *q == L' ' || *q == L'\t')) calibration = true;
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    for (size_t i = 0; calibration && i < pages.size(); ++i)
        if (pages[i].kind == PageKind::Calibration || pages[i].kind == PageKind::CalibrationWithMonitor) return i;
    return 0;
}

std::unique_ptr<Page> makePage(PageKind kind, Console& console) {
    switch (kind) {
        case PageKind::TouchPanel:
            return makeTouchPanelPage(console);
        case PageKind::Sound:
            return makeSoundPage(console);
        case PageKind::Click:
            return makeClickPage(console);
        case PageKind::RightClick:
            return makeRightClickPage(console);
        case PageKind::Calibration:
            return makeCalibrationPage(console, false);
        case PageKind::CalibrationWithMonitor:
            return makeCalibrationPage(console, true);
        case PageKind::MultiMonitor:
            return makeMultiMonitorPage(console);
        case PageKind::DriverInfo:
            return makeDriverInfoPage(console);
    }
    return nullptr;
}

}  // namespace tp::console
