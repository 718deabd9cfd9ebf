// The console's portable core: the ports its logic reaches the platform
// through, the page interface every page implements, and the one Console
// object that owns the settings record. Nothing here includes windows.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console_ids.h"
#include "panel_settings.h"
#include "ports.h"
#include "save_notify.h"
#include "text.h"

namespace tp::console {

// ---------------------------------------------------------------- language

enum class Language { Japanese, English };

// Code page 932 selects Japanese, every other one English.
Language languageForCodePage(uint32_t codePage);

// ---------------------------------------------------------------- platform values

// The Win32 values the logic passes through the ports.
inline constexpr int kSmSwapButton = 23;
inline constexpr int kSmCxDoubleClk = 36;
inline constexpr int kSmCyDoubleClk = 37;
inline constexpr uint32_t kSpiSetDoubleClickTime = 0x0020;
inline constexpr uint32_t kSpiSetDoubleClkWidth = 0x001D;
inline constexpr uint32_t kSpiSetDoubleClkHeight = 0x001E;
inline constexpr uint32_t kSpifUpdateIniFile = 0x0001;
inline constexpr uint32_t kSpifSendChange = 0x0002;
inline constexpr uint32_t kFileAttributeReadOnly = 0x0001;
inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFF;
inline constexpr uint32_t kMbOk = 0x0000;
inline constexpr uint32_t kMbIconError = 0x0010;
// Notification codes of WM_COMMAND.
inline constexpr int kBnClicked = 0;
inline constexpr int kCbnSelChange = 1;
inline constexpr int kEnChange = 0x0300;
inline constexpr int kCbnEditChange = 5;
// Scroll codes of WM_HSCROLL.
enum ScrollCode : int {
    kSbLineLeft = 0,
    kSbLineRight = 1,
    kSbPageLeft = 2,
    kSbPageRight = 3,
    kSbThumbPosition = 4,
    kSbThumbTrack = 5,
    kSbLeft = 6,
    kSbRight = 7,
    kSbEndScroll = 8,
};
inline constexpr int kIdOk = 1;

struct Point {
    int32_t x, y;
};
struct Rect {
    int32_t left, top, right, bottom;
};

// A validated bitmap file, ready for CreateDIBitmap: info is the 40-byte
// header and the colour table (or the bit-field masks), bits the pixels.
// Both point into the file's bytes, which the caller keeps.
struct DibImage {
    const uint8_t* info = nullptr;
    size_t infoSize = 0;
    const uint8_t* bits = nullptr;
    size_t bitsSize = 0;
    int32_t width = 0;
    int32_t height = 0;  // rows drawn, whichever way the file stores them
};

// ---------------------------------------------------------------- ports

// The controls of one dialog (a page or the identification dialog), shaped
// like the Win32 calls on them. Setting an edit's text sends its EN_CHANGE
// back to the dialog's handler, as Windows does.
class DialogPort {
public:
    // CheckDlgButton / IsDlgButtonChecked.
    virtual void checkButton(int id, bool checked) = 0;
    virtual bool isButtonChecked(int id) = 0;
    // EnableWindow / ShowWindow of GetDlgItem(id).
    virtual void enableItem(int id, bool enabled) = 0;
    virtual void showItem(int id, bool shown) = 0;
    // SetDlgItemTextW; setItemString loads the text from the language's string table.
    virtual void setItemText(int id, const wchar_t* text) = 0;
    virtual void setItemString(int id, int stringId) = 0;
    // GetDlgItemTextW: at most capacity - 1 characters, always terminated; returns the length.
    virtual int getItemText(int id, wchar_t* text, int capacity) = 0;
    // Combo boxes: CB_ADDSTRING (always appended: the logic never relies on
    // sorting), CB_DELETESTRING, CB_GETCOUNT, CB_SETCURSEL, CB_GETCURSEL (-1: none).
    virtual void comboAdd(int id, const wchar_t* text) = 0;
    virtual void comboAddString(int id, int stringId) = 0;
    virtual void comboDelete(int id, int index) = 0;
    virtual int comboCount(int id) = 0;
    virtual void comboSelect(int id, int index) = 0;
    virtual int comboSelection(int id) = 0;
    // Scroll bar controls: SetScrollRange (redrawn), SetScrollPos (redrawn), GetScrollPos.
    virtual void setScrollRange(int id, int min, int max) = 0;
    virtual void setScrollPos(int id, int pos) = 0;
    virtual int scrollPos(int id) = 0;
    // Track bars: TBM_SETRANGE (not redrawn), TBM_SETTICFREQ, TBM_SETLINESIZE,
    // TBM_SETPAGESIZE, TBM_SETPOS (redrawn), TBM_GETPOS.
    virtual void setTrackRange(int id, int min, int max) = 0;
    virtual void setTrackTicks(int id, int spacing) = 0;
    virtual void setTrackLineSize(int id, int size) = 0;
    virtual void setTrackPageSize(int id, int size) = 0;
    virtual void setTrackPos(int id, int pos) = 0;
    virtual int trackPos(int id) = 0;
    // A control's rectangle in the dialog's client pixels; MoveWindow (repainted).
    virtual Rect itemRect(int id) = 0;
    virtual void moveItem(int id, const Rect& rect) = 0;
    // A control's rectangle in screen pixels.
    virtual Rect itemScreenRect(int id) = 0;
    // STM_SETICON with one of the program's 32 x 32 icons (IDI_*).
    virtual void setItemIcon(int id, int iconId) = 0;
    // SetTimer / KillTimer on the dialog window.
    virtual void setTimer(int timerId, uint32_t ms) = 0;
    virtual void killTimer(int timerId) = 0;
    // PropSheet_Changed: the sheet enables its Apply button.
    virtual void markModified() = 0;
    // GetDC, CreateDIBitmap, BitBlt at (x, y) in client pixels, release.
    virtual void drawDib(int x, int y, const DibImage& image) = 0;
    // The dialog window's outer rectangle in screen pixels; SetWindowPos
    // (topmost, size unchanged) and shown; EndDialog.
    virtual Rect windowRect() = 0;
    virtual void placeTopmost(int x, int y) = 0;
    virtual void endDialog(int result) = 0;
    // The dialog's own window, for owning message boxes and modal dialogs.
    virtual WindowHandle window() = 0;

protected:
    ~DialogPort() = default;
};

class DialogLogic;

// What the console needs of the system beyond the registry and the driver.
class SystemPort {
public:
    virtual uint32_t getACP() = 0;
    virtual int getSystemMetrics(int index) = 0;
    virtual uint32_t getDoubleClickTime() = 0;
    // SystemParametersInfoW(action, param, NULL, winIni), except that
    // SPIF_SENDCHANGE broadcasts WM_SETTINGCHANGE (wParam action) from a
    // thread of its own, so that the caller waits on no other program.
    virtual bool systemParametersInfo(uint32_t action, uint32_t param, uint32_t winIni) = 0;
    // MultiByteToWideChar(CP_ACP, 0, text, -1, out, capacity): the number
    // of characters written with the terminator, 0 on failure.
    virtual int ansiToWide(const char* text, wchar_t* out, int capacity) = 0;
    virtual Point getCursorPos() = 0;
    // The Program Files folder followed by tail; false (and an empty out) when unknown.
    virtual bool programFilesPath(const char* tail, char (&out)[260]) = 0;
    // The Windows folder followed by tail.
    virtual bool windowsPath(const char* tail, char (&out)[260]) = 0;
    virtual uint32_t getFileAttributes(const char* path) = 0;
    virtual bool setFileAttributes(const char* path, uint32_t attributes) = 0;
    // Starts a program in a normal window without waiting (CreateProcessA).
    virtual bool startProgram(const char* commandLine) = 0;
    // Reads at most maxBytes of a file; false when it cannot be opened or is larger.
    virtual bool readFile(const char* path, size_t maxBytes, std::vector<uint8_t>& out) = 0;
    // MessageBoxW with texts from the language's string table.
    virtual int messageBox(WindowHandle owner, int textId, int captionId, uint32_t type) = 0;
    // DialogBoxIndirectParamW of the language's template, owned by owner;
    // the logic receives the dialog's messages. Returns the EndDialog result.
    virtual int runModalDialog(WindowHandle owner, int templateId, DialogLogic& logic) = 0;

protected:
    ~SystemPort() = default;
};

struct ConsolePorts {
    RegistryPort& registry;
    DriverPort& driver;
    SleepPort& sleeper;
    SystemPort& system;
    AgentLinkPort& agent;
};

// ---------------------------------------------------------------- the console

struct Console {
    Console(const ConsolePorts& p, Language l) : ports(p), language(l) {}
    ConsolePorts ports;
    Language language;
    PanelSettings settings;
};

// The common save path over the console's record and ports; false when the
// user key did not take every value.
bool SaveAndNotify(Console& console);

// 1000 - double-click time, limited to 100…900.
int clickSpeedFromTime(uint32_t doubleClickTimeMs);

// Start-up steps that need no window: the record loaded, the speed derived.
void loadConsoleSettings(Console& console);

// ---------------------------------------------------------------- dialogs and pages

// A dialog's behaviour: the dialog procedure decodes each message and calls
// one of these; the default for each is to do nothing.
class DialogLogic {
public:
    virtual ~DialogLogic() = default;
    virtual void onInit(DialogPort&) {}
    // WM_COMMAND: control id and notification code.
    virtual void onCommand(DialogPort&, int /*id*/, int /*code*/) {}
    // WM_HSCROLL from a scroll bar or track bar control; pos is the thumb
    // position the message carries.
    virtual void onHScroll(DialogPort&, int /*id*/, int /*code*/, int /*pos*/) {}
    // WM_PAINT, after BeginPaint; drawing goes through the port.
    virtual void onPaint(DialogPort&) {}
    virtual void onTimer(DialogPort&, int /*timerId*/) {}
    // WM_LBUTTONDBLCLK on the dialog itself.
    virtual void onDoubleClick(DialogPort&) {}
    // Messages that count as activity (moves, keys, mouse buttons).
    virtual void onActivity(DialogPort&) {}
    virtual void onDestroy(DialogPort&) {}
};

class Page : public DialogLogic {
public:
    explicit Page(Console& console) : console_(console) {}
    // PSN_APPLY: pages that edit settings save when anything changed. False
    // keeps the sheet open on this page: the settings were not stored.
    virtual bool onApply(DialogPort&) { return true; }
    // PSN_RESET.
    virtual void onCancel(DialogPort&) {}

protected:
    PanelSettings& settings() { return console_.settings; }
    Console& console() { return console_; }
    bool japanese() const { return console_.language == Language::Japanese; }
    // Sets the shared modified flag and enables the sheet's Apply button.
    void markModified(DialogPort& dlg) {
        console_.settings.settingsChanged = true;
        dlg.markModified();
    }
    // The Apply rule of every editing page; a failed save is said, not hidden.
    bool saveIfChanged(DialogPort& dlg) {
        if (!console_.settings.settingsChanged || SaveAndNotify(console_)) return true;
        console_.ports.system.messageBox(dlg.window(), IDS_SAVE_FAILED, IDS_CAPTION, kMbOk | kMbIconError);
        return false;
    }

private:
    Console& console_;
};

enum class PageKind {
    TouchPanel,
    Sound,
    Click,
    RightClick,
    Calibration,
    CalibrationWithMonitor,
    MultiMonitor,
    DriverInfo
};

struct PageEntry {
    PageKind kind;
    int templateId;
    int titleId;  // IDS_TITLE_*
};

// The pages of the sheet, in order: six, or seven with the multi-monitor driver.
std::vector<PageEntry> pageSet(Language language, bool multiMonitorDriver, bool buttonsSwapped);

// The page the sheet opens on: the calibration page when the command line
// (as GetCommandLineW gives it, program name first) holds /calibration, as
// Taptest starts the console after a failed accuracy check; else the first.
size_t startPage(const std::vector<PageEntry>& pages, const wchar_t* commandLine);

// One maker per page, each in the page's own source file.
std::unique_ptr<Page> makeTouchPanelPage(Console& console);
std::unique_ptr<Page> makeSoundPage(Console& console);
std::unique_ptr<Page> makeClickPage(Console& console);
std::unique_ptr<Page> makeRightClickPage(Console& console);
std::unique_ptr<Page> makeCalibrationPage(Console& console, bool withMonitorChoice);
std::unique_ptr<Page> makeMultiMonitorPage(Console& console);
std::unique_ptr<Page> makeDriverInfoPage(Console& console);

std::unique_ptr<Page> makePage(PageKind kind, Console& console);

}  // namespace tp::console
