#include <windows.h>
#include <commctrl.h>

#include "console_win32.h"

namespace tp::console {

// ---------------------------------------------------------------- resources

Resources::Resources(HINSTANCE module, Language language)
    : module_(module),
      lang_(language == Language::Japanese ? MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)
                                           : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) {}

// A string table block holds sixteen counted UTF-16 strings.
const wchar_t* Resources::string(int id, wchar_t* buf, int capacity) const {
    if (capacity <= 0) return buf;
    buf[0] = L'\0';
    HRSRC found = FindResourceExW(module_, reinterpret_cast<LPCWSTR>(RT_STRING),
                                  MAKEINTRESOURCEW((static_cast<unsigned>(id) >> 4) + 1), lang_);
    if (!found) return buf;
    const WCHAR* p = static_cast<const WCHAR*>(LockResource(LoadResource(module_, found)));
    const WCHAR* end = p + SizeofResource(module_, found) / sizeof(WCHAR);
    if (!p) return buf;
    for (int i = 0; i < (id & 15) && p < end; ++i) p += 1 + *p;
    if (p >= end) return buf;
    int n = *p++;
    if (p + n > end) n = static_cast<int>(end - p);
    if (n > capacity - 1) n = capacity - 1;
    for (int i = 0; i < n; ++i) buf[i] = p[i];
    buf[n] = L'\0';
    return buf;
}

const DLGTEMPLATE* Resources::dialog(int id) const {
    HRSRC found = FindResourceExW(module_, reinterpret_cast<LPCWSTR>(RT_DIALOG), MAKEINTRESOURCEW(id), lang_);
    return found ? static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(module_, found))) : nullptr;
}

// Shared icons are cached by the system and never destroyed by us.
HICON Resources::icon(int id, int size) const {
    return static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_SHARED));
}

// ---------------------------------------------------------------- controls

namespace {
constexpr int kTextMax = 512;

Rect toRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
}  // namespace

void Win32Dialog::checkButton(int id, bool checked) {
    CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}
bool Win32Dialog::isButtonChecked(int id) { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }
void Win32Dialog::enableItem(int id, bool enabled) { EnableWindow(item(id), enabled); }
void Win32Dialog::showItem(int id, bool shown) { ShowWindow(item(id), shown ? SW_SHOW : SW_HIDE); }
void Win32Dialog::setItemText(int id, const wchar_t* text) { SetDlgItemTextW(hwnd_, id, text); }

void Win32Dialog::setItemString(int id, int stringId) {
    wchar_t text[kTextMax];
    SetDlgItemTextW(hwnd_, id, res_.string(stringId, text, kTextMax));
}

int Win32Dialog::getItemText(int id, wchar_t* text, int capacity) {
    if (capacity <= 0) return 0;
    text[0] = L'\0';
    return static_cast<int>(GetDlgItemTextW(hwnd_, id, text, capacity));
}

// CB_INSERTSTRING at the end: the list keeps the order it is filled in, even
// where a template gives the box the sorted style.
void Win32Dialog::comboAdd(int id, const wchar_t* text) {
    SendDlgItemMessageW(hwnd_, id, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
}

void Win32Dialog::comboAddString(int id, int stringId) {
    wchar_t text[kTextMax];
    comboAdd(id, res_.string(stringId, text, kTextMax));
}

void Win32Dialog::comboDelete(int id, int index) { SendDlgItemMessageW(hwnd_, id, CB_DELETESTRING, index, 0); }
int Win32Dialog::comboCount(int id) { return static_cast<int>(SendDlgItemMessageW(hwnd_, id, CB_GETCOUNT, 0, 0)); }
void Win32Dialog::comboSelect(int id, int index) { SendDlgItemMessageW(hwnd_, id, CB_SETCURSEL, index, 0); }
int Win32Dialog::comboSelection(int id) { return static_cast<int>(SendDlgItemMessageW(hwnd_, id, CB_GETCURSEL, 0, 0)); }

void Win32Dialog::setScrollRange(int id, int min, int max) { SetScrollRange(item(id), SB_CTL, min, max, TRUE); }
void Win32Dialog::setScrollPos(int id, int pos) { SetScrollPos(item(id), SB_CTL, pos, TRUE); }
int Win32Dialog::scrollPos(int id) { return GetScrollPos(item(id), SB_CTL); }

void Win32Dialog::setTrackRange(int id, int min, int max) {
    SendDlgItemMessageW(hwnd_, id, TBM_SETRANGE, FALSE, MAKELPARAM(min, max));
}
void Win32Dialog::setTrackTicks(int id, int spacing) { SendDlgItemMessageW(hwnd_, id, TBM_SETTICFREQ, spacing, 0); }
void Win32Dialog::setTrackLineSize(int id, int size) { SendDlgItemMessageW(hwnd_, id, TBM_SETLINESIZE, 0, size); }
void Win32Dialog::setTrackPageSize(int id, int size) { SendDlgItemMessageW(hwnd_, id, TBM_SETPAGESIZE, 0, size); }
void Win32Dialog::setTrackPos(int id, int pos) { SendDlgItemMessageW(hwnd_, id, TBM_SETPOS, TRUE, pos); }
int Win32Dialog::trackPos(int id) { return static_cast<int>(SendDlgItemMessageW(hwnd_, id, TBM_GETPOS, 0, 0)); }

Rect Win32Dialog::itemRect(int id) {
    RECT r{};
    GetWindowRect(item(id), &r);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    return toRect(r);
}

void Win32Dialog::moveItem(int id, const Rect& r) {
    MoveWindow(item(id), r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

Rect Win32Dialog::itemScreenRect(int id) {
    RECT r{};
    GetWindowRect(item(id), &r);
    return toRect(r);
}

void Win32Dialog::setItemIcon(int id, int iconId) {
    SendDlgItemMessageW(hwnd_, id, STM_SETICON, reinterpret_cast<WPARAM>(res_.icon(iconId, 32)), 0);
}

void Win32Dialog::setTimer(int timerId, uint32_t ms) { SetTimer(hwnd_, timerId, ms, nullptr); }
void Win32Dialog::killTimer(int timerId) { KillTimer(hwnd_, timerId); }
void Win32Dialog::markModified() { PropSheet_Changed(GetParent(hwnd_), hwnd_); }

void Win32Dialog::drawDib(int x, int y, const DibImage& image) {
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(image.info);
    const auto* info = reinterpret_cast<const BITMAPINFO*>(image.info);
    HDC dc = GetDC(hwnd_);
    if (!dc) return;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateDIBitmap(dc, header, CBM_INIT, image.bits, info, DIB_RGB_COLORS);
    if (memory && bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(dc, x, y, image.width, image.height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(hwnd_, dc);
}

Rect Win32Dialog::windowRect() {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return toRect(r);
}

void Win32Dialog::placeTopmost(int x, int y) {
    SetWindowPos(hwnd_, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
}

void Win32Dialog::endDialog(int result) { EndDialog(hwnd_, result); }

// ---------------------------------------------------------------- dialog procedures

namespace {

// Messages every dialog hands to its logic the same way. Returns true when
// the message is fully handled.
bool dispatchCommon(DialogLogic& logic, Win32Dialog& dlg, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            logic.onCommand(dlg, LOWORD(wp), HIWORD(wp));
            return true;
        case WM_HSCROLL:
            // Scroll messages from the window's own scroll bar have no control.
            if (lp)
                logic.onHScroll(dlg, GetDlgCtrlID(reinterpret_cast<HWND>(lp)), LOWORD(wp),
                                static_cast<short>(HIWORD(wp)));
            return false;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            logic.onPaint(dlg);
            EndPaint(hwnd, &ps);
            return true;
        }
        case WM_TIMER:
            logic.onTimer(dlg, static_cast<int>(wp));
            return false;
        case WM_LBUTTONDBLCLK:
            logic.onDoubleClick(dlg);
            return false;
        case WM_MOVE:
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            logic.onActivity(dlg);
            return false;
        case WM_DESTROY:
            logic.onDestroy(dlg);
            return false;
    }
    return false;
}

struct ModalBinding {
    DialogLogic* logic;
    const Resources* resources;
};

INT_PTR CALLBACK ModalDialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        auto* b = reinterpret_cast<ModalBinding*>(lp);
        Win32Dialog dlg(hwnd, *b->resources);
        b->logic->onInit(dlg);
        return FALSE;  // no initial focus
    }
    auto* b = reinterpret_cast<ModalBinding*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!b) return FALSE;
    Win32Dialog dlg(hwnd, *b->resources);
    return dispatchCommon(*b->logic, dlg, hwnd, msg, wp, lp) ? TRUE : FALSE;
}

}  // namespace

INT_PTR CALLBACK PageDialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        const LPARAM binding = reinterpret_cast<const PROPSHEETPAGEW*>(lp)->lParam;
        SetWindowLongPtrW(hwnd, DWLP_USER, binding);
        auto* b = reinterpret_cast<PageBinding*>(binding);
        Win32Dialog dlg(hwnd, *b->resources);
        b->page->onInit(dlg);
        return TRUE;
    }
    auto* b = reinterpret_cast<PageBinding*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!b) return FALSE;
    Win32Dialog dlg(hwnd, *b->resources);
    if (msg == WM_NOTIFY) {
        switch (reinterpret_cast<const NMHDR*>(lp)->code) {
            case PSN_APPLY:
                SetWindowLongPtrW(hwnd, DWLP_MSGRESULT,
                                  b->page->onApply(dlg) ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
                return TRUE;
            case PSN_RESET:
                b->page->onCancel(dlg);
                return TRUE;
        }
        return FALSE;
    }
    return dispatchCommon(*b->page, dlg, hwnd, msg, wp, lp) ? TRUE : FALSE;
}

int runModal(const Resources& res, HWND owner, int templateId, DialogLogic& logic) {
    const DLGTEMPLATE* t = res.dialog(templateId);
    if (!t) return -1;
    ModalBinding binding{&logic, &res};
    return static_cast<int>(
        DialogBoxIndirectParamW(res.module(), t, owner, ModalDialogProc, reinterpret_cast<LPARAM>(&binding)));
}

}  // namespace tp::console
