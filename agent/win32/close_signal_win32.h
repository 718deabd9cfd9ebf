// Starts the watch on the installer's machine-wide close signal.
#pragma once

#include <windows.h>

namespace tp::agent {

// Once the main window exists; without the signal the agent runs unwatched.
void StartCloseSignalWatch(HWND mainWindow);

}  // namespace tp::agent
