// Taptest.exe: a borderless full-screen window on the monitor the panel is
// mapped to, in the language of the system code page. The window procedure
// decodes messages and hands them to the portable App.
#include <windows.h>

#include "taptest.h"
#include "taptest_ids.h"
#include "win32_ports.h"

using namespace tp;
using namespace tp::taptest;

namespace {

constexpr wchar_t kClass[] = L"TAPTEST:MAIN";
constexpr int kFirstString = IDS_FONT;
constexpr int kStringSlots = IDS_TARGET_CENTRE - IDS_FONT + 1;
constexpr int kStringMax = 256;

// Texts of the chosen language, loaded once each: App holds several at a time.
class Strings {
public:
    explicit Strings(HINSTANCE module)
        : module_(module),
          lang_(GetACP() == 932 ? MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)
                                : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) {}

    const wchar_t* get(int id) {
        const int slot = id - kFirstString;
        if (slot < 0 || slot >= kStringSlots) return L"";
        if (!loaded_[slot]) {
            load(id, text_[slot]);
            loaded_[slot] = true;
        }
        return text_[slot];
    }

private:
    // A string table block holds sixteen counted UTF-16 strings.
    void load(int id, wchar_t* out) {
        out[0] = L'\0';
        HRSRC found = FindResourceExW(module_, reinterpret_cast<LPCWSTR>(RT_STRING),
                                      MAKEINTRESOURCEW((static_cast<unsigned>(id) >> 4) + 1), lang_);
        if (!found) return;
        const WCHAR* p = static_cast<const WCHAR*>(LockResource(LoadResource(module_, found)));
        if (!p) return;
        const WCHAR* end = p + SizeofResource(module_, found) / sizeof(WCHAR);
        for (int i = 0; i < (id & 15) && p < end; ++i) p += 1 + *p;
        if (p >= end) return;
        int n = *p++;
        if (p + n > end) n = static_cast<int>(end - p);
        if (n > kStringMax - 1) n = kStringMax - 1;
        for (int i = 0; i < n; ++i) out[i] = p[i];
        out[n] = L'\0';
    }

    HINSTANCE module_;
    LANGID lang_;
    bool loaded_[kStringSlots] = {};
    wchar_t text_[kStringSlots][kStringMax];
};

class GdiCanvas : public CanvasPort {
public:
    GdiCanvas(HDC dc, HFONT font, HFONT large) : dc_(dc), font_(font), large_(large) { SetBkMode(dc_, TRANSPARENT); }
    void fill(const Rect& r, uint32_t rgb) override {
        const RECT rc{r.left, r.top, r.right, r.bottom};
        HBRUSH brush = CreateSolidBrush(rgb);
        FillRect(dc_, &rc, brush);
        DeleteObject(brush);
    }
    void line(Point from, Point to, uint32_t rgb, int width) override {
        HPEN pen = CreatePen(PS_SOLID, width, rgb);
        HGDIOBJ old = SelectObject(dc_, pen);
        MoveToEx(dc_, from.x, from.y, nullptr);
        // A line of no length is a dot.
        LineTo(dc_, to.x + (from.x == to.x && from.y == to.y ? 1 : 0), to.y);
        SelectObject(dc_, old);
        DeleteObject(pen);
    }
    void circle(Point c, int radius, uint32_t rgb, int width) override {
        HPEN pen = CreatePen(PS_SOLID, width, rgb);
        HGDIOBJ oldPen = SelectObject(dc_, pen);
        HGDIOBJ oldBrush = SelectObject(dc_, GetStockObject(HOLLOW_BRUSH));
        Ellipse(dc_, c.x - radius, c.y - radius, c.x + radius + 1, c.y + radius + 1);
        SelectObject(dc_, oldBrush);
        SelectObject(dc_, oldPen);
        DeleteObject(pen);
    }
    void text(const Rect& r, const wchar_t* text, uint32_t rgb, Align align, bool large) override {
        RECT rc{r.left, r.top, r.right, r.bottom};
        HGDIOBJ old = SelectObject(dc_, large ? large_ : font_);
        SetTextColor(dc_, rgb);
        DrawTextW(dc_, text, -1, &rc, DT_WORDBREAK | DT_NOPREFIX | (align == Align::Centre ? DT_CENTER : DT_LEFT));
        SelectObject(dc_, old);
    }

private:
    HDC dc_;
    HFONT font_;
    HFONT large_;
};

struct Program;
Program* g_program = nullptr;

struct Program final : HostPort {
    explicit Program(HINSTANCE module) : strings(module) {}

    const wchar_t* text(int id) override { return strings.get(id); }
    void invalidate(const Rect* r) override {
        // Before the window exists there is nothing to repaint; a null
        // window would make Windows repaint every window on the desktop.
        if (!window) return;
        if (!r) {
            InvalidateRect(window, nullptr, FALSE);
            return;
        }
        const RECT rc{r->left, r->top, r->right, r->bottom};
        InvalidateRect(window, &rc, FALSE);
    }
    void close() override {
        if (closing) return;
        closing = true;
        SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ShowWindow(window, SW_HIDE);
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    bool startCalibration() override {
        char path[260];
        if (!installPath("\\QTX\\PNL\\USBPNL\\Tapcon.exe", path)) return false;
        char line[300] = "\"";
        lstrcatA(line, path);
        lstrcatA(line, "\" /calibration");
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return true;
    }
    check::LocalTime localTime() override {
        SYSTEMTIME t;
        GetLocalTime(&t);
        return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
    }

    Strings strings;
    Win32Registry registry;
    HWND window = nullptr;
    HFONT font = nullptr;
    HFONT large = nullptr;
    App* app = nullptr;
    bool closing = false;
};

// The position a mouse message carries, signed, in screen pixels: a monitor
// left of or above the primary one has negative coordinates.
Point screenPoint(HWND window, LPARAM lp) {
    POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    ClientToScreen(window, &p);
    return {p.x, p.y};
}

void paint(HWND window, Program& p) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    // Drawn off screen first: the status line changes with every move.
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    GdiCanvas canvas(memory, p.font, p.large);
    p.app->paint(canvas);
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(window, &ps);
}

LRESULT CALLBACK windowProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    Program* p = g_program;
    if (!p || !p->app) return DefWindowProcW(window, msg, wp, lp);
    switch (msg) {
        case WM_LBUTTONDOWN: {
            SetCapture(window);
            HDC dc = GetDC(window);
            GdiCanvas live(dc, p->font, p->large);
            p->app->press(screenPoint(window, lp), live);
            ReleaseDC(window, dc);
            return 0;
        }
        case WM_MOUSEMOVE:
            if (wp & MK_LBUTTON) {
                HDC dc = GetDC(window);
                GdiCanvas live(dc, p->font, p->large);
                p->app->drag(screenPoint(window, lp), live);
                ReleaseDC(window, dc);
            }
            return 0;
        case WM_LBUTTONUP:
            p->app->release();
            ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED:
            p->app->release();
            return 0;
        case WM_KEYDOWN:
            if (wp == VK_ESCAPE) p->app->escape();
            return 0;
        case WM_ACTIVATE:
            // Above the taskbar only while in use: another program that
            // becomes active, the console included, comes in front.
            if (!p->closing)
                SetWindowPos(window, LOWORD(wp) != WA_INACTIVE ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                             SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            paint(window, *p);
            return 0;
        case WM_CLOSE:
            p->close();
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, msg, wp, lp);
    }
}

struct MonitorList {
    DisplayMonitor items[16];
    int count = 0;
};

BOOL CALLBACK visitMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM context) {
    auto* list = reinterpret_cast<MonitorList*>(context);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (list->count < 16 && GetMonitorInfoW(monitor, &info)) {
        const RECT& r = info.rcMonitor;
        list->items[list->count++] = {{r.left, r.top, r.right - r.left, r.bottom - r.top},
                                      (info.dwFlags & MONITORINFOF_PRIMARY) != 0};
    }
    return TRUE;
}

HFONT makeFont(const wchar_t* face, int points, int dpi, bool bold) {
    return CreateFontW(-MulDiv(points, dpi, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, face);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    static Program program(instance);
    Options options;
    if (!parseCommandLine(GetCommandLineW(), &options)) {
        MessageBoxW(nullptr, program.text(IDS_USAGE), program.text(IDS_TITLE), MB_OK | MB_ICONINFORMATION);
        return 1;
    }

    MonitorList monitors;
    EnumDisplayMonitors(nullptr, nullptr, visitMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (!monitors.count)
        monitors.items[monitors.count++] = {{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, true};
    const Choice where =
        chooseMonitor(loadMonitorSettings(program.registry), monitors.items, monitors.count, options.screen);

    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    program.font = makeFont(program.text(IDS_FONT), 12, dpi, false);
    program.large = makeFont(program.text(IDS_FONT), 20, dpi, true);

    static App app(program, program.registry, options, where, dpi);
    program.app = &app;
    g_program = &program;

    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32515));  // IDC_CROSS
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TAPTEST));
    wc.lpszClassName = kClass;
    if (!RegisterClassW(&wc)) return 1;
    program.window =
        CreateWindowExW(0, kClass, program.text(IDS_TITLE), WS_POPUP, where.monitor.left, where.monitor.top,
                        where.monitor.width, where.monitor.height, nullptr, nullptr, instance, nullptr);
    if (!program.window) return 1;
    ShowWindow(program.window, SW_SHOW);
    SetForegroundWindow(program.window);
    UpdateWindow(program.window);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DeleteObject(program.font);
    DeleteObject(program.large);
    return 0;
}
