#include "sheet.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>

namespace consolewine {

Sheet::~Sheet() {
    if (process) CloseHandle(process);
}

std::wstring windowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

std::string narrow(const std::wstring& text) {
    char out[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out, sizeof out - 1, nullptr, nullptr);
    return out;
}

std::wstring Sheet::caption() const { return windowText(window); }

// TCM_GETITEMW carries a pointer, so the item and its text live in Tapcon's memory.
std::vector<std::wstring> Sheet::tabTitles() const {
    std::vector<std::wstring> titles;
    HWND tab = FindWindowExW(window, nullptr, WC_TABCONTROLW, nullptr);
    if (!tab) return titles;
    const int count = static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
    constexpr int kChars = 128;
    auto* remote = static_cast<uint8_t*>(
        VirtualAllocEx(process, nullptr, sizeof(TCITEMW) + kChars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    if (!remote) return titles;
    for (int i = 0; i < count; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof item);
        item.cchTextMax = kChars;
        wchar_t text[kChars] = {};
        SIZE_T done = 0;
        if (!WriteProcessMemory(process, remote, &item, sizeof item, &done) ||
            !SendMessageW(tab, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(remote)) ||
            !ReadProcessMemory(process, remote + sizeof item, text, sizeof text - sizeof(wchar_t), &done))
            break;
        titles.push_back(text);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return titles;
}

HWND Sheet::selectPage(int index) const {
    SendMessageW(window, PSM_SETCURSEL, index, 0);
    HWND page = nullptr;
    HWND tab = FindWindowExW(window, nullptr, WC_TABCONTROLW, nullptr);
    tpt::waitUntil(
        [&] {
            page = reinterpret_cast<HWND>(SendMessageW(window, PSM_GETCURRENTPAGEHWND, 0, 0));
            return page && IsWindowVisible(page) && SendMessageW(tab, TCM_GETCURSEL, 0, 0) == index;
        },
        5000, 20);
    return page;
}

bool Sheet::close(unsigned timeoutMs) {
    if (!process) return true;
    if (window) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
}

std::vector<HWND> dialogsOf(DWORD pid) {
    std::vector<HWND> dialogs;
    for (HWND w : tpt::visibleWindowsOf(pid))
        if (tpt::classOf(w) == L"#32770") dialogs.push_back(w);
    return dialogs;
}

void startConsole(Sheet& sheet, unsigned timeoutMs) {
    sheet.process = tpt::startProgram("\"" + tpt::installPath("Tapcon.exe") + "\"");
    if (!sheet.process) return;
    const DWORD pid = GetProcessId(sheet.process);
    tpt::waitUntil(
        [&] {
            const auto dialogs = dialogsOf(pid);
            sheet.window = dialogs.empty() ? nullptr : dialogs.front();
            return sheet.window != nullptr;
        },
        timeoutMs, 20);
}

Capture captureWindow(HWND window, bool clientOnly) {
    Capture image;
    RECT r{};
    if (clientOnly) {
        GetClientRect(window, &r);
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    } else {
        GetWindowRect(window, &r);
    }
    image.width = r.right - r.left;
    image.height = r.bottom - r.top;
    if (image.width <= 0 || image.height <= 0) return {};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = image.width;
    bi.bmiHeader.biHeight = -image.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, image.width, image.height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const auto* px = static_cast<const uint32_t*>(bits);
    image.pixels.assign(px, px + static_cast<size_t>(image.width) * image.height);
    for (uint32_t& p : image.pixels) p &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return image;
}

bool saveBmp(const Capture& image, const std::string& path) {
    const uint32_t stride = (image.width * 3 + 3) & ~3u;
    const uint32_t pixelBytes = stride * image.height;
    std::vector<uint8_t> file(54 + pixelBytes);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, image.width);
    put32(22, image.height);
    file[26] = 1;
    file[28] = 24;
    put32(34, pixelBytes);
    for (int y = 0; y < image.height; ++y) {
        uint8_t* row = file.data() + 54 + static_cast<size_t>(image.height - 1 - y) * stride;
        for (int x = 0; x < image.width; ++x) {
            const uint32_t p = image.at(x, y);
            row[3 * x] = static_cast<uint8_t>(p);
            row[3 * x + 1] = static_cast<uint8_t>(p >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(p >> 16);
        }
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace consolewine
