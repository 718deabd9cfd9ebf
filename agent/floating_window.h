// The FloatingIconWindow: a small always-on-top window whose clicks arm and
// disarm the secondary button, and which remembers where the user put it.
#pragma once

#include <cstdint>

#include "agent.h"

namespace tp::agent {

inline constexpr uint32_t kWmMove = 0x0003;

// The dialog's own platform calls.
class FloatingWindowPort {
public:
    // GetWindowRect.
    virtual bool windowRect(WindowHandle window, Rect* rect) = 0;
    // GetWindowRect of GetDlgItem(dialog, id).
    virtual bool controlRect(WindowHandle dialog, int id, Rect* rect) = 0;
    // GetCursorPos.
    virtual bool cursorPos(int32_t* x, int32_t* y) = 0;
    // STM_SETICON on GetDlgItem(dialog, id); returns the icon it replaced.
    virtual IconHandle setControlIcon(WindowHandle dialog, int id, IconHandle icon) = 0;
    // SetWindowPos(window, HWND_TOPMOST, x, y, width, height, SWP_SHOWWINDOW | SWP_NOACTIVATE).
    virtual bool placeTopmost(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height) = 0;
    virtual void destroyIcon(IconHandle icon) = 0;

protected:
    ~FloatingWindowPort() = default;
};

// One message of the dialog procedure; false for messages it leaves alone.
// The procedure returns FALSE either way.
bool HandleFloatingWindowMessage(Agent& agent, FloatingWindowPort& port, WindowHandle dialog, uint32_t message);

}  // namespace tp::agent

#ifdef _WIN32
#include <windows.h>

// Handed to CreateDialogParamA for dialog 105.
INT_PTR CALLBACK FloatingIconWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
