// The main window's messages, decoded by the Win32 window procedure and
// handled here in portable code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "agent.h"

namespace tp::agent {

void OnApplySettings(Agent& agent, uintptr_t wParam);
// data and size are the COPYDATASTRUCT's lpData and cbData.
void OnCopyData(Agent& agent, const uint8_t* data, size_t size);
void OnButtonMode(Agent& agent, intptr_t lParam);
void OnSettingChange(Agent& agent, uintptr_t wParam);
void OnDisplayChange(Agent& agent);
void OnPowerBroadcast(Agent& agent, uintptr_t wParam);
void Shutdown(Agent& agent);

// Routes one message; false sends it on to DefWindowProcA. For WM_COPYDATA
// the caller passes the payload it found behind lParam.
bool HandleMainWindowMessage(Agent& agent, uint32_t message, uintptr_t wParam, intptr_t lParam,
                             const uint8_t* copyData = nullptr, size_t copySize = 0);

// Start-up decisions of WinMain.
bool IsRunOnceCommandLine(const char* commandLine);
struct OsFlags {
    bool nt5;
    bool nt6;
};
inline constexpr uint32_t kVerPlatformWin32Nt = 2;
OsFlags OsFlagsFromVersion(uint32_t platformId, uint32_t majorVersion);

// LoadLibraryA of the hook from the agent's own folder only.
ModuleHandle LoadHookLibrary(Agent& agent);

}  // namespace tp::agent
