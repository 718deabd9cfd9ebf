#include "taptest.h"

#include "registry.h"
#include "taptest_ids.h"

namespace tp::taptest {

namespace {

wchar_t lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The token [begin, end) equals word, ignoring case; rest gets what follows a
// prefix match when word ends in ':'.
bool matches(const wchar_t* begin, const wchar_t* end, const wchar_t* word, const wchar_t** rest) {
    const wchar_t* p = begin;
    for (; *word; ++word, ++p)
        if (p == end || lower(*p) != *word) return false;
    if (rest) {
        *rest = p;
        return true;
    }
    return p == end;
}

// "1", "0.5", "2.25" as hundredths; false for anything else.
bool parseHundredths(const wchar_t* p, const wchar_t* end, uint32_t* out) {
    uint32_t whole = 0, frac = 0;
    int digits = 0, decimals = 0;
    for (; p < end && *p >= L'0' && *p <= L'9'; ++p, ++digits) {
        whole = whole * 10 + static_cast<uint32_t>(*p - L'0');
        if (whole > 100) return false;
    }
    if (p < end && *p == L'.') {
        for (++p; p < end && *p >= L'0' && *p <= L'9'; ++p, ++decimals) {
            if (decimals == 2) return false;
            frac = frac * 10 + static_cast<uint32_t>(*p - L'0');
        }
        if (decimals == 1) frac *= 10;
        if (!decimals) return false;
    }
    if (p != end || (!digits && !decimals)) return false;
    const uint32_t value = whole * 100 + frac;
    if (value == 0 || value > check::kMaxTolerance) return false;
    *out = value;
    return true;
}

void number(int32_t v, wchar_t* out, size_t capacity) {
    check::formatSigned(v, out, capacity);
    if (out[0] == L'+')
        for (wchar_t* p = out;; ++p)
            if (!(*p = p[1])) break;
}

}  // namespace

bool parseCommandLine(const wchar_t* commandLine, Options* out) {
    Options o;
    const wchar_t* p = commandLine ? commandLine : L"";
    // The program's name, quoted or not.
    while (blank(*p)) ++p;
    if (*p == L'"') {
        for (++p; *p && *p != L'"'; ++p) {}
        if (*p) ++p;
    } else {
        while (*p && !blank(*p)) ++p;
    }
    bool modeGiven = false, toleranceGiven = false, screenGiven = false;
    for (;;) {
        while (blank(*p)) ++p;
        if (!*p) break;
        const wchar_t* begin = p;
        while (*p && !blank(*p)) ++p;
        if (*begin != L'/' && *begin != L'-') return false;
        ++begin;
        const wchar_t* rest = nullptr;
        if (matches(begin, p, L"check", nullptr) || matches(begin, p, L"draw", nullptr)) {
            if (modeGiven) return false;
            modeGiven = true;
            o.mode = lower(*begin) == L'c' ? Mode::Check : Mode::Draw;
        } else if (matches(begin, p, L"tolerance:", &rest)) {
            if (toleranceGiven || !parseHundredths(rest, p, &o.tolerance)) return false;
            toleranceGiven = true;
        } else if (matches(begin, p, L"screen:", &rest)) {
            if (screenGiven || p - rest != 1 || *rest < L'1' || *rest > L'9') return false;
            screenGiven = true;
            o.screen = *rest - L'0';
        } else {
            return false;
        }
    }
    *out = o;
    return true;
}

MonitorSettings loadMonitorSettings(RegistryPort& reg) {
    MonitorSettings s;
    for (uint32_t& r : s.layout.resolution) r = def::kResolution;
    RegKey raw = 0;
    if (reg.open(RegRoot::LocalMachine, key::kMultiParams, kKeyRead, &raw) != kErrorSuccess || !raw) return s;
    ScopedKey k(reg, raw);
    s.present = true;
    for (int i = 0; i < kMaxMonitors; ++i) {
        readDword(reg, k.get(), numberedName(val::kResolution, i + 1).c_str(), &s.layout.resolution[i]);
        readDword(reg, k.get(), numberedName(val::kOrgResolutionX, i + 1).c_str(), &s.layout.originX[i]);
        readDword(reg, k.get(), numberedName(val::kOrgResolutionY, i + 1).c_str(), &s.layout.originY[i]);
    }
    readDword(reg, k.get(), val::kNComm, &s.layout.nComm);
    return s;
}

Choice chooseMonitor(const MonitorSettings& settings, const DisplayMonitor* monitors, int count, int requestedScreen) {
    Choice primary;
    if (count > 0) primary.monitor = monitors[0].rect;
    for (int i = 0; i < count; ++i)
        if (monitors[i].primary) primary.monitor = monitors[i].rect;
    const int inUse = monitorCount(settings.layout.resolution);
    if (!settings.present || !(settings.layout.nComm & 1) || inUse == 0) return primary;
    const int screen = requestedScreen >= 1 && requestedScreen <= inUse ? requestedScreen : 1;
    const uint32_t size = settings.layout.resolution[screen - 1];
    const int64_t cx =
        decodeOrigin(settings.layout.originX[screen - 1]) + static_cast<int64_t>(resolutionWidth(size) / 2);
    const int64_t cy =
        decodeOrigin(settings.layout.originY[screen - 1]) + static_cast<int64_t>(resolutionHeight(size) / 2);
    for (int i = 0; i < count; ++i) {
        const Monitor& m = monitors[i].rect;
        if (cx >= m.left && cx < static_cast<int64_t>(m.left) + m.width && cy >= m.top &&
            cy < static_cast<int64_t>(m.top) + m.height)
            return {static_cast<uint32_t>(screen), m};
    }
    return primary;
}

void fill(const wchar_t* pattern, const wchar_t* const* args, int count, wchar_t* out, size_t capacity) {
    if (!capacity) return;
    size_t n = 0;
    auto put = [&](wchar_t c) {
        if (n + 1 < capacity) out[n++] = c;
    };
    for (const wchar_t* p = pattern ? pattern : L""; *p; ++p) {
        if (*p == L'%' && p[1] >= L'1' && p[1] <= L'9') {
            const int i = p[1] - L'1';
            ++p;
            if (i < count && args[i])
                for (const wchar_t* a = args[i]; *a; ++a) put(*a);
            continue;
        }
        put(*p);
    }
    out[n] = L'\0';
}

// ---------------------------------------------------------------- the screens

App::App(HostPort& host, RegistryPort& registry, const Options& options, const Choice& where, int dpi)
    : host_(host),
      registry_(registry),
      options_(options),
      where_(where),
      dpi_(dpi > 0 ? dpi : 96),
      screen_(Screen::Draw) {
    if (options.mode == Mode::Check) startCheck();
}

int App::buttons(Button* kinds, Rect* rects) const {
    Button list[3];
    int n = 0;
    if (screen_ == Screen::Draw) {
        list[n++] = Button::Clear;
        list[n++] = Button::Check;
    } else if (screen_ == Screen::Result) {
        list[n++] = Button::Again;
        if (!record_.pass) list[n++] = Button::Recalibrate;
    }
    list[n++] = Button::Close;
    const int w = scaled(150), h = scaled(36), margin = scaled(10), gap = scaled(8);
    const int total = n * w + (n - 1) * gap;
    // The drawing's buttons sit in the top right corner; the check keeps the
    // corners for its targets and puts them at the top in the middle.
    int x = screen_ == Screen::Draw ? where_.monitor.width - margin - total : (where_.monitor.width - total) / 2;
    for (int i = 0; i < n; ++i, x += w + gap) {
        kinds[i] = list[i];
        rects[i] = {x, margin, x + w, margin + h};
    }
    return n;
}

Button App::buttonAt(Point p) const {
    Button kinds[3];
    Rect rects[3];
    const int n = buttons(kinds, rects);
    for (int i = 0; i < n; ++i)
        if (rects[i].contains(p)) return kinds[i];
    return Button::None;
}

void App::push(Button b) {
    switch (b) {
        case Button::Clear:
            trailCount_ = 0;
            haveLast_ = false;
            host_.invalidate(nullptr);
            break;
        case Button::Check:
        case Button::Again:
            startCheck();
            break;
        case Button::Recalibrate:
            // The console takes over: this window must not cover it.
            if (host_.startCalibration()) {
                host_.close();
            } else {
                consoleFailed_ = true;
                host_.invalidate(nullptr);
            }
            break;
        case Button::Close:
            host_.close();
            break;
        case Button::None:
            break;
    }
}

void App::startCheck() {
    screen_ = Screen::Target;
    current_ = 0;
    for (bool& t : touched_) t = false;
    record_ = check::Record{};
    saved_ = false;
    consoleFailed_ = false;
    host_.invalidate(nullptr);
}

void App::press(Point screen, CanvasPort& live) {
    const Button b = buttonAt(client(screen));
    if (b != Button::None) {
        push(b);
        return;
    }
    if (screen_ == Screen::Target) {
        touchTarget(screen);
        return;
    }
    if (screen_ != Screen::Draw) return;
    pressed_ = true;
    last_ = screen;
    haveLast_ = true;
    if (trailCount_ < kTrailMax) {
        trail_[trailCount_] = screen;
        strokeStart_[trailCount_++] = true;
    }
    live.line(client(screen), client(screen), colour::kTrail, scaled(3));
    const Rect status = statusRect();
    host_.invalidate(&status);
}

void App::drag(Point screen, CanvasPort& live) {
    if (!pressed_ || screen_ != Screen::Draw) return;
    live.line(client(last_), client(screen), colour::kTrail, scaled(3));
    last_ = screen;
    if (trailCount_ < kTrailMax) {
        trail_[trailCount_] = screen;
        strokeStart_[trailCount_++] = false;
    }
    const Rect status = statusRect();
    host_.invalidate(&status);
}

void App::release() { pressed_ = false; }

void App::escape() { host_.close(); }

// A touch belongs to the nearest of the targets shown: the current one or
// one already done, which it then replaces (the last touch wins).
void App::touchTarget(Point screen) {
    int best = current_;
    int64_t bestD2 = -1;
    for (int i = 0; i < check::kTargetCount; ++i) {
        if (i != current_ && !touched_[i]) continue;
        const check::Point t = check::targetOf(where_.monitor, i);
        const int64_t dx = static_cast<int64_t>(screen.x) - t.x, dy = static_cast<int64_t>(screen.y) - t.y;
        const int64_t d2 = dx * dx + dy * dy;
        if (bestD2 < 0 || d2 < bestD2 || (d2 == bestD2 && i == current_)) {
            best = i;
            bestD2 = d2;
        }
    }
    record_.offsets[best] = check::offsetOf(check::targetOf(where_.monitor, best), screen);
    touches_[best] = screen;
    touched_[best] = true;
    if (best == current_) {
        while (current_ < check::kTargetCount && touched_[current_]) ++current_;
        if (current_ == check::kTargetCount) {
            finish();
            return;
        }
    }
    host_.invalidate(nullptr);
}

void App::finish() {
    record_.time = host_.localTime();
    record_.screen = where_.screen;
    record_.monitor = where_.monitor;
    record_.tolerance = options_.tolerance;
    record_.pass = check::summarize(record_.offsets, where_.monitor, options_.tolerance).pass;
    saved_ = check::saveRecord(registry_, record_);
    screen_ = Screen::Result;
    host_.invalidate(nullptr);
}

// ---------------------------------------------------------------- painting

Rect App::statusRect() const {
    const int margin = scaled(10);
    return {margin, margin, where_.monitor.width - 3 * scaled(158) - margin, margin + scaled(60)};
}

void App::paint(CanvasPort& c) {
    c.fill({0, 0, where_.monitor.width, where_.monitor.height}, colour::kBackground);
    if (screen_ == Screen::Draw) paintDraw(c);
    if (screen_ == Screen::Target) paintTargets(c);
    if (screen_ == Screen::Result) paintResult(c);
    paintButtons(c);
}

void App::paintButtons(CanvasPort& c) {
    static constexpr int kText[] = {0, IDS_BTN_CLEAR, IDS_BTN_CHECK, IDS_BTN_CLOSE, IDS_BTN_AGAIN, IDS_BTN_RECALIBRATE};
    Button kinds[3];
    Rect rects[3];
    const int n = buttons(kinds, rects);
    for (int i = 0; i < n; ++i) {
        const Rect& r = rects[i];
        c.fill(r, kinds[i] == Button::Recalibrate ? colour::kFail : colour::kButton);
        c.line({r.left, r.top}, {r.right - 1, r.top}, colour::kInk, 1);
        c.line({r.right - 1, r.top}, {r.right - 1, r.bottom - 1}, colour::kInk, 1);
        c.line({r.right - 1, r.bottom - 1}, {r.left, r.bottom - 1}, colour::kInk, 1);
        c.line({r.left, r.bottom - 1}, {r.left, r.top}, colour::kInk, 1);
        const int pad = (r.bottom - r.top - scaled(18)) / 2;
        c.text({r.left, r.top + pad, r.right, r.bottom}, host_.text(kText[static_cast<int>(kinds[i])]),
               kinds[i] == Button::Recalibrate ? colour::kBackground : colour::kInk, Align::Centre, false);
    }
}

void App::paintDraw(CanvasPort& c) {
    for (int i = 0; i < trailCount_; ++i) {
        const Point from = strokeStart_[i] ? trail_[i] : trail_[i - 1];
        c.line(client(from), client(trail_[i]), colour::kTrail, scaled(3));
    }
    const Rect status = statusRect();
    c.text(status, host_.text(IDS_DRAW_HINT), colour::kInk, Align::Left, false);
    if (!haveLast_) return;
    wchar_t x[16], y[16], line[128];
    number(last_.x, x, 16);
    number(last_.y, y, 16);
    const wchar_t* args[] = {x, y};
    fill(host_.text(IDS_DRAW_POINT), args, 2, line, 128);
    c.text({status.left, status.top + scaled(24), status.right, status.bottom}, line, colour::kInk, Align::Left, false);
}

void App::paintTarget(CanvasPort& c, Point centre, uint32_t rgb) {
    const Point p = client(centre);
    const int arm = scaled(26), width = scaled(2) > 1 ? scaled(2) : 2;
    c.line({p.x - arm, p.y}, {p.x + arm, p.y}, rgb, 1);
    c.line({p.x, p.y - arm}, {p.x, p.y + arm}, rgb, 1);
    c.circle(p, scaled(16), rgb, width);
}

void App::paintTargets(CanvasPort& c) {
    const int32_t w = where_.monitor.width, h = where_.monitor.height;
    for (int i = 0; i < check::kTargetCount; ++i) {
        if (touched_[i] && i != current_) {
            paintTarget(c, check::targetOf(where_.monitor, i), colour::kDone);
            c.circle(client(touches_[i]), scaled(3), colour::kArrow, scaled(2));
        }
    }
    if (current_ < check::kTargetCount) paintTarget(c, check::targetOf(where_.monitor, current_), colour::kTarget);
    wchar_t n[4] = {static_cast<wchar_t>(L'1' + current_), 0},
            of[4] = {static_cast<wchar_t>(L'0' + check::kTargetCount), 0};
    const wchar_t* args[] = {n, of};
    wchar_t hint[256];
    fill(host_.text(IDS_TARGET_HINT), args, 2, hint, 256);
    c.text({w / 5, h * 24 / 100, w * 4 / 5, h * 42 / 100}, hint, colour::kInk, Align::Centre, false);
}

void App::paintResult(CanvasPort& c) {
    const int32_t w = where_.monitor.width, h = where_.monitor.height;
    const check::Summary s = check::summarize(record_.offsets, where_.monitor, options_.tolerance);
    for (int i = 0; i < check::kTargetCount; ++i) {
        const check::Point target = check::targetOf(where_.monitor, i);
        paintTarget(c, target, colour::kDone);
        // The arrow from the target to the touch, true to scale.
        const Point from = client(target), to = client(touches_[i]);
        const check::Offset& o = record_.offsets[i];
        c.line(from, to, colour::kArrow, scaled(2));
        const int32_t len = static_cast<int32_t>(
            check::roundedSqrt(static_cast<uint64_t>(int64_t{o.dx} * o.dx + int64_t{o.dy} * o.dy)));
        if (len > 0) {
            const int32_t head = scaled(7);
            const int32_t ux = o.dx * head / len, uy = o.dy * head / len;
            c.line(to, {to.x - ux - uy / 2, to.y - uy + ux / 2}, colour::kArrow, scaled(2));
            c.line(to, {to.x - ux + uy / 2, to.y - uy - ux / 2}, colour::kArrow, scaled(2));
        } else {
            c.circle(to, scaled(3), colour::kArrow, scaled(2));
        }
        wchar_t dx[16], dy[16], label[64];
        check::formatSigned(o.dx, dx, 16);
        check::formatSigned(o.dy, dy, 16);
        const wchar_t* args[] = {dx, dy};
        fill(host_.text(IDS_OFFSET), args, 2, label, 64);
        const int half = scaled(90), top = from.y + scaled(30);
        c.text({from.x - half, top, from.x + half, top + scaled(24)}, label, colour::kInk, Align::Centre, false);
    }

    wchar_t maxPx[16], maxPct[16], meanPx[16], meanPct[16], tolPct[16], tolPx[16];
    check::formatTenths(s.maxMilliPx, maxPx, 16);
    check::formatHundredths(s.maxHundredths, maxPct, 16);
    check::formatTenths(s.meanMilliPx, meanPx, 16);
    check::formatHundredths(s.meanHundredths, meanPct, 16);
    check::formatHundredths(options_.tolerance, tolPct, 16);
    check::formatTenths(check::toleranceMilliPx(where_.monitor, options_.tolerance), tolPx, 16);
    const wchar_t* maxArgs[] = {maxPx, maxPct, host_.text(IDS_TARGET_FIRST + s.worst)};
    const wchar_t* meanArgs[] = {meanPx, meanPct};
    const wchar_t* tolArgs[] = {tolPct, tolPx};
    wchar_t line[256];
    const int lineHeight = scaled(26);
    Rect r{w / 6, h / 2 + scaled(56), w * 5 / 6, h / 2 + scaled(56) + lineHeight};
    auto next = [&](const wchar_t* text, uint32_t rgb, bool large) {
        c.text(r, text, rgb, Align::Centre, large);
        const int step = large ? lineHeight * 3 / 2 : lineHeight;
        r.top += step;
        r.bottom = r.top + step;
    };
    fill(host_.text(IDS_RESULT_MAX), maxArgs, 3, line, 256);
    next(line, colour::kInk, false);
    fill(host_.text(IDS_RESULT_MEAN), meanArgs, 2, line, 256);
    next(line, colour::kInk, false);
    fill(host_.text(IDS_RESULT_TOLERANCE), tolArgs, 2, line, 256);
    next(line, colour::kInk, false);
    // The verdict in large type gets the width of the screen.
    r = {w / 20, r.top, w - w / 20, r.top + lineHeight * 3 / 2};
    next(host_.text(record_.pass ? IDS_VERDICT_PASS : IDS_VERDICT_FAIL), record_.pass ? colour::kPass : colour::kFail,
         true);
    r = {w / 6, r.top, w * 5 / 6, r.bottom};
    if (!saved_) next(host_.text(IDS_NOT_SAVED), colour::kFail, false);
    if (consoleFailed_) next(host_.text(IDS_NO_CONSOLE), colour::kFail, false);
}

}  // namespace tp::taptest
