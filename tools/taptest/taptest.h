// Taptest's portable core: the command line, which monitor to test, and the
// screens (drawing, targets, result) with their buttons, painting and
// touches. The window procedure decodes messages and calls App; nothing here
// includes windows.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ports.h"
#include "settings.h"
#include "touch_check.h"

namespace tp::taptest {

using check::Monitor;
using check::Point;

struct Rect {
    int32_t left, top, right, bottom;
    bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
};

// ---------------------------------------------------------------- command line

enum class Mode { Draw, Check };

struct Options {
    Mode mode = Mode::Draw;
    uint32_t tolerance = check::kDefaultTolerance;  // hundredths of a per cent
    int screen = 0;                                 // 1…9 from /screen:N; 0 = as the settings say
};

// The whole command line as GetCommandLineW gives it, program name first:
// /check, /draw, /tolerance:PERCENT (up to two decimals, above 0, at most
// 100), /screen:N. False for anything else.
bool parseCommandLine(const wchar_t* commandLine, Options* out);

// ---------------------------------------------------------------- which monitor

// The multi-monitor settings the console edits, as stored for the driver.
struct MonitorSettings {
    bool present = false;  // the multi-monitor driver's key could be opened
    MonitorLayoutBlock layout;
};
MonitorSettings loadMonitorSettings(RegistryPort& reg);

struct DisplayMonitor {
    Monitor rect;
    bool primary = false;
};

struct Choice {
    uint32_t screen = 0;  // the settings' screen number, 0 for the primary monitor
    Monitor monitor;
};

// With the multi-monitor function in use, the screen the settings map the
// panel to (screen 1, or the requested one) is looked up among the real
// monitors by its centre: the real monitor's bounds win over stored sizes
// that went stale. Otherwise, or when no real monitor holds it, the primary.
Choice chooseMonitor(const MonitorSettings& settings, const DisplayMonitor* monitors, int count, int requestedScreen);

// ---------------------------------------------------------------- ports

// Colours as GDI takes them (0x00BBGGRR).
namespace colour {
inline constexpr uint32_t kBackground = 0xFFFFFF;
inline constexpr uint32_t kInk = 0x000000;
inline constexpr uint32_t kTrail = 0xC04000;
inline constexpr uint32_t kTarget = 0x0000D0;
inline constexpr uint32_t kDone = 0xA0A0A0;
inline constexpr uint32_t kArrow = 0xC04000;
inline constexpr uint32_t kPass = 0x008000;
inline constexpr uint32_t kFail = 0x0000C0;
inline constexpr uint32_t kButton = 0xE8E8E8;
}  // namespace colour

enum class Align { Left, Centre };

// GDI on the window, in client pixels.
class CanvasPort {
public:
    // FillRect with a solid brush.
    virtual void fill(const Rect& r, uint32_t rgb) = 0;
    // MoveToEx / LineTo with a solid pen.
    virtual void line(Point from, Point to, uint32_t rgb, int width) = 0;
    // Ellipse with a hollow brush.
    virtual void circle(Point centre, int radius, uint32_t rgb, int width) = 0;
    // DrawTextW in the program's font, word-wrapped in r.
    virtual void text(const Rect& r, const wchar_t* text, uint32_t rgb, Align align, bool large) = 0;

protected:
    ~CanvasPort() = default;
};

class HostPort {
public:
    // The text of a string id in the language of the system code page.
    virtual const wchar_t* text(int id) = 0;
    // InvalidateRect of a client rectangle, or of everything for nullptr.
    virtual void invalidate(const Rect* r) = 0;
    // Ends the program: the window gives up topmost, hides and is destroyed.
    virtual void close() = 0;
    // Starts the console on its calibration page; false when it cannot be started.
    virtual bool startCalibration() = 0;
    virtual check::LocalTime localTime() = 0;

protected:
    ~HostPort() = default;
};

// ---------------------------------------------------------------- the screens

enum class Screen { Draw, Target, Result };

enum class Button { None, Clear, Check, Close, Again, Recalibrate };

// %1 … %9 replaced by args; the result is cut to capacity, always terminated.
void fill(const wchar_t* pattern, const wchar_t* const* args, int count, wchar_t* out, size_t capacity);

class App {
public:
    // monitor: the window's bounds in screen pixels; dpi: the screen's
    // pixels per inch, for the buttons' and targets' sizes.
    App(HostPort& host, RegistryPort& registry, const Options& options, const Choice& where, int dpi);

    // The left button (the panel) pressed, moved while pressed, released,
    // at screen coordinates; live draws the trail as it grows.
    void press(Point screen, CanvasPort& live);
    void drag(Point screen, CanvasPort& live);
    void release();
    void escape();
    void paint(CanvasPort& canvas);

    Screen screen() const { return screen_; }
    // The target the next touch is for, 0…4, while the check runs.
    int current() const { return current_; }
    bool touched(int target) const { return touched_[target]; }
    const check::Offset& offset(int target) const { return record_.offsets[target]; }
    const check::Record& record() const { return record_; }
    bool saved() const { return saved_; }
    Point lastPoint() const { return last_; }
    int trailPoints() const { return trailCount_; }
    // The buttons of the current screen, in client pixels.
    int buttons(Button* kinds, Rect* rects) const;

    static constexpr int kTrailMax = 8192;

private:
    Point client(Point screen) const { return {screen.x - where_.monitor.left, screen.y - where_.monitor.top}; }
    int scaled(int px) const { return px * dpi_ / 96; }
    Button buttonAt(Point clientPoint) const;
    void push(Button b);
    void startCheck();
    void touchTarget(Point screen);
    void finish();
    Rect statusRect() const;
    void paintDraw(CanvasPort& c);
    void paintTargets(CanvasPort& c);
    void paintResult(CanvasPort& c);
    void paintButtons(CanvasPort& c);
    void paintTarget(CanvasPort& c, Point centre, uint32_t rgb);

    HostPort& host_;
    RegistryPort& registry_;
    Options options_;
    Choice where_;
    int dpi_;
    Screen screen_;
    // The drawing, never saved: points in screen pixels; a stroke ends where
    // the next one starts.
    Point trail_[kTrailMax];
    bool strokeStart_[kTrailMax];
    int trailCount_ = 0;
    bool pressed_ = false;
    bool haveLast_ = false;
    Point last_{0, 0};
    // The check.
    int current_ = 0;
    bool touched_[check::kTargetCount] = {};
    Point touches_[check::kTargetCount] = {};
    check::Record record_;
    bool saved_ = false;
    bool consoleFailed_ = false;
};

}  // namespace tp::taptest
