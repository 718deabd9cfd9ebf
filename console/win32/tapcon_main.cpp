// Tapcon.exe: one instance, the settings record loaded, one modal property
// sheet in the language of the system code page; the process ends with it.
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <vector>

#include "announcer.h"
#include "console_win32.h"
#include "win32_ports.h"

using namespace tp;
using namespace tp::console;

namespace {

constexpr char kInstanceMutex[] = "7C4545E5-7987-2123-6A52-801131B65948";

// Another console holds the mutex, or took it in the same instant.
HANDLE takeInstance() {
    if (HANDLE other = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kInstanceMutex)) {
        CloseHandle(other);
        return nullptr;
    }
    HANDLE mine = CreateMutexA(nullptr, FALSE, kInstanceMutex);
    if (mine && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mine);
        return nullptr;
    }
    return mine;
}

struct SheetPage {
    std::unique_ptr<Page> page;
    PageBinding binding;
    wchar_t title[64];
};

void runSheet(Console& console, const Resources& res) {
    const PanelSettings& s = console.settings;
    const auto chosen = pageSet(console.language, s.multiMonitorDriver, GetSystemMetrics(SM_SWAPBUTTON) != 0);

    const size_t start = startPage(chosen, GetCommandLineW());
    UINT startIndex = 0;
    std::vector<SheetPage> pages(chosen.size());
    std::vector<PROPSHEETPAGEW> sheetPages;
    for (size_t i = 0; i < chosen.size(); ++i) {
        const DLGTEMPLATE* t = res.dialog(chosen[i].templateId);
        if (!t) continue;
        if (i == start) startIndex = static_cast<UINT>(sheetPages.size());
        pages[i].page = makePage(chosen[i].kind, console);
        pages[i].binding = {pages[i].page.get(), &res};
        res.string(chosen[i].titleId, pages[i].title, 64);
        PROPSHEETPAGEW p{};
        p.dwSize = sizeof p;
        p.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
        p.hInstance = res.module();
        p.pResource = t;
        p.pszTitle = pages[i].title;
        p.pfnDlgProc = PageDialogProc;
        p.lParam = reinterpret_cast<LPARAM>(&pages[i].binding);
        sheetPages.push_back(p);
    }

    wchar_t caption[64];
    PROPSHEETHEADERW h{};
    h.dwSize = sizeof h;
    h.dwFlags = PSH_PROPSHEETPAGE | PSH_USEHICON;
    h.hwndParent = nullptr;
    h.hInstance = res.module();
    h.hIcon = res.icon(IDI_APP, GetSystemMetrics(SM_CXICON));
    h.pszCaption = res.string(IDS_CAPTION, caption, 64);
    h.nPages = static_cast<UINT>(sheetPages.size());
    h.nStartPage = startIndex;
    h.ppsp = sheetPages.data();
    PropertySheetW(&h);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HANDLE mutex = takeInstance();
    if (!mutex) return 0;

    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);

    const Language language = languageForCodePage(GetACP());
    const Resources res(instance, language);
    Win32Registry registry;
    Win32Driver driver;
    Win32ResponsiveSleep sleeper;
    Win32System system(res);
    Win32AgentLink agent;
    Console console(ConsolePorts{registry, driver, sleeper, system, agent}, language);
    loadConsoleSettings(console);
    runSheet(console, res);
    // OK applied and announced from the announcer's thread; process exit
    // would cut that broadcast short.
    finishAnnouncements(kAnnounceFinishMs);

    CloseHandle(mutex);
    return 0;
}
