// Tapcon's running property sheet seen from a scenario: start it, find the
// sheet, read its tabs, switch pages and read the screen's pixels.
#pragma once

#include <string>
#include <vector>

#include "tpt.h"

namespace consolewine {

struct Sheet {
    HANDLE process = nullptr;  // Tapcon.exe; closed by the destructor
    HWND window = nullptr;     // null when no sheet appeared
    Sheet() = default;
    Sheet(const Sheet&) = delete;
    Sheet& operator=(const Sheet&) = delete;
    ~Sheet();

    std::wstring caption() const;
    std::vector<std::wstring> tabTitles() const;
    // Selects a page and waits until it is shown; its window or null.
    HWND selectPage(int index) const;
    // Cancels the sheet and waits for the process to end.
    bool close(unsigned timeoutMs = 10000);
};

// Starts Tapcon.exe and waits for its visible sheet.
void startConsole(Sheet& sheet, unsigned timeoutMs = 20000);

// The visible top-level dialog windows (#32770) of a process.
std::vector<HWND> dialogsOf(DWORD pid);

// An image read from the screen: 0x00RRGGBB, rows top-down.
struct Capture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
// The screen rectangle of a window (whole window or its client area).
Capture captureWindow(HWND window, bool clientOnly);
// Written as a 24-bit .bmp.
bool saveBmp(const Capture& image, const std::string& path);

std::wstring windowText(HWND window);
std::string narrow(const std::wstring& text);  // UTF-8, for messages

}  // namespace consolewine
