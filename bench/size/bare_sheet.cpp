// The yardstick of the console: an empty two-page property sheet, built like
// Tapcon.exe (static, for size, stripped, common controls 6).
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

namespace {
INT_PTR CALLBACK pageProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    PROPSHEETPAGEW pages[2]{};
    for (int i = 0; i < 2; ++i) {
        pages[i].dwSize = sizeof pages[i];
        pages[i].hInstance = instance;
        pages[i].pszTemplate = MAKEINTRESOURCEW(101 + i);
        pages[i].pfnDlgProc = pageProc;
    }
    PROPSHEETHEADERW h{};
    h.dwSize = sizeof h;
    h.dwFlags = PSH_PROPSHEETPAGE;
    h.hInstance = instance;
    h.pszCaption = L"Bare sheet";
    h.nPages = 2;
    h.ppsp = pages;
    PropertySheetW(&h);
    return 0;
}
