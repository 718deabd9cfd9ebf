// The calibration page: the point count in Option and the start of the
// outside calibration program, with or without a choice of monitor.
#include <string>

#include "console.h"
#include "pages/monitor_pages.h"

namespace tp::console {

uint32_t shownPointCount(uint32_t option) {
    if (option & opt::kCal20) return opt::kCal20;
    if (option & opt::kCal12) return opt::kCal12;
    return opt::kCal9;
}

uint32_t withPointCount(uint32_t option, uint32_t countBit) {
    return (option & ~(opt::kCal9 | opt::kCal12 | opt::kCal20)) | countBit;
}

// The path is quoted: unquoted, "C:\Program Files\…" would first be tried as
// "C:\Program" with the rest as arguments.
std::string calibrationCommandLine(const char* programPath, int monitorIndex) {
    std::string line = "\"";
    line += programPath;
    line += '"';
    if (monitorIndex >= 1 && monitorIndex < kMaxMonitors) {
        line += ' ';
        line += static_cast<char>('1' + monitorIndex);
    }
    return line;
}

namespace {

struct PointButton {
    int id;
    uint32_t bit;
};
constexpr PointButton kPointButtons[] = {
    {IDC_CALIB_9, opt::kCal9}, {IDC_CALIB_12, opt::kCal12}, {IDC_CALIB_20, opt::kCal20}};

class CalibrationPage : public Page {
public:
    CalibrationPage(Console& console, bool withMonitorChoice) : Page(console), withMonitor_(withMonitorChoice) {}

    void onInit(DialogPort& dlg) override {
        const uint32_t shown = shownPointCount(settings().user.option);
        for (const PointButton& b : kPointButtons) dlg.checkButton(b.id, b.bit == shown);
        if (!withMonitor_) return;
        fillMonitors(dlg);
        dlg.comboSelect(IDC_CALIB_MONITOR, 0);
    }

    void onCommand(DialogPort& dlg, int id, int code) override {
        if (code != kBnClicked) return;
        for (const PointButton& b : kPointButtons) {
            if (b.id != id) continue;
            settings().calibrationChangePending = true;
            settings().user.option = withPointCount(settings().user.option, b.bit);
            markModified(dlg);
            return;
        }
        if (id == IDC_CALIB_START) start(dlg);
    }

    // The monitor count may have changed on the multi-monitor page.
    void onPaint(DialogPort& dlg) override {
        if (!withMonitor_) return;
        const int remembered = dlg.comboSelection(IDC_CALIB_MONITOR);
        fillMonitors(dlg);
        dlg.comboSelect(IDC_CALIB_MONITOR, remembered >= 0 && remembered <= settings().lastMonitor ? remembered : 0);
    }

    bool onApply(DialogPort& dlg) override { return saveIfChanged(dlg); }

private:
    void fillMonitors(DialogPort& dlg) {
        for (int i = dlg.comboCount(IDC_CALIB_MONITOR) - 1; i >= 0; --i) dlg.comboDelete(IDC_CALIB_MONITOR, i);
        for (int i = 0; i <= settings().lastMonitor && i < kMaxMonitors; ++i)
            dlg.comboAdd(IDC_CALIB_MONITOR, (L"Screen" + decimalText(i + 1)).c_str());
    }

    void start(DialogPort& dlg) {
        SystemPort& system = console().ports.system;
        if (settings().calibrationChangePending) {
            system.messageBox(dlg.window(), IDS_CALIB_PENDING, IDS_CALIB_PENDING_CAPTION, kMbOk);
            return;
        }
        // Without the Program Files folder the program is looked for from the root.
        char folder[260];
        const std::string program =
            system.programFilesPath(kCalibrationProgramTail, folder) ? folder : kCalibrationProgramTail;
        const int monitor = withMonitor_ ? dlg.comboSelection(IDC_CALIB_MONITOR) : -1;
        system.startProgram(calibrationCommandLine(program.c_str(), monitor).c_str());
    }

    bool withMonitor_;
};

}  // namespace

std::unique_ptr<Page> makeCalibrationPage(Console& console, bool withMonitorChoice) {
    return std::make_unique<CalibrationPage>(console, withMonitorChoice);
}

}  // namespace tp::console
