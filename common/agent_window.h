// How other programs reach the resident agent: its hidden main window and the
// private messages it accepts from them. Header-only and free of the C++
// runtime, so the hook DLL can include it.
#pragma once

#include <stdint.h>

namespace tp::agentwin {

// FindWindowA(kWindowClass, kWindowName).
inline constexpr char kWindowClass[] = "TAPAGENT:MAIN";
inline constexpr char kWindowName[] = "TAPAGENT";

// AGM_BUTTON_MODE: wParam 0, lParam one of the two directions below (the
// mouse-up messages of a tray click, which is where the values come from).
inline constexpr uint32_t kAgmButtonMode = 0x0500;
inline constexpr uint32_t kToSecondary = 0x0202;  // WM_LBUTTONUP
inline constexpr uint32_t kToPrimary = 0x0205;    // WM_RBUTTONUP

}  // namespace tp::agentwin
