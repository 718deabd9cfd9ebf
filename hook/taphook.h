// The exports of taphook.dll, for the program that loads it and binds them
// with GetProcAddress: stdcall on 32-bit Windows, names undecorated.
#pragma once

#include <windows.h>

extern "C" {
int WINAPI TAPHOOK_SetHook(void);                // 1 = installed, 0 = failed
int WINAPI TAPHOOK_UnSetHook(void);              // 1 = removed or none, 0 = every attempt failed
int WINAPI TAPHOOK_SetOnHook(DWORD ignored);     // 1
int WINAPI TAPHOOK_SetOptionData(DWORD option);  // 1
}

namespace tp::hook {
inline constexpr char kDllName[] = "taphook.dll";
using SetHookFn = decltype(&TAPHOOK_SetHook);
using UnSetHookFn = decltype(&TAPHOOK_UnSetHook);
using SetOnHookFn = decltype(&TAPHOOK_SetOnHook);
using SetOptionDataFn = decltype(&TAPHOOK_SetOptionData);
}  // namespace tp::hook
