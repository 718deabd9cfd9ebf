// The right-click hook without the platform: the key state machine, the
// button-mode switch and the bodies of the exports. The DLL maps this code
// into every process that gets keyboard input, so it stays header-only and
// free of the C++ runtime: no heap, no statics with constructors, no library
// calls; the platform comes in as a template parameter, not a vtable.
#pragma once

#include <stdint.h>

#include <concepts>

#include "agent_window.h"
#include "driver_protocol.h"
#include "ports.h"
#include "settings.h"

namespace tp::hook {

// The data every process that maps the DLL sees as one instance. The layout is
// fixed at five 32-bit fields on both builds; see the DLL shell for how the
// handles fit.
struct SharedData {
    uint32_t hook;      // the installed keyboard hook
    uint32_t reserved;  // always 0
    uint32_t instance;  // the module instance, written by every process at attach
    uint32_t onHook;    // set by TAPHOOK_SetOnHook; nothing reads it
    uint32_t option;    // the agent's Option word
};
static_assert(sizeof(SharedData) == 20);
static_assert(__builtin_offsetof(SharedData, hook) == 0 && __builtin_offsetof(SharedData, instance) == 8 &&
              __builtin_offsetof(SharedData, onHook) == 12 && __builtin_offsetof(SharedData, option) == 16);

// The agent writes these while hooked processes read them, without a lock.
inline uint32_t load(const uint32_t& field) { return __atomic_load_n(&field, __ATOMIC_RELAXED); }
inline void store(uint32_t& field, uint32_t value) { __atomic_store_n(&field, value, __ATOMIC_RELAXED); }

enum class ButtonMode : uint8_t { Secondary, Primary };

// Scan codes of set 1.
namespace scan {
inline constexpr uint8_t kExtended = 0xE0;
inline constexpr uint8_t kPause = 0xE1;
inline constexpr uint8_t kRelease = 0x80;
inline constexpr uint8_t kCtrl = 0x1D;
inline constexpr uint8_t kLeftShift = 0x2A;
inline constexpr uint8_t kRightShift = 0x36;
inline constexpr uint8_t kAlt = 0x38;
}  // namespace scan

// The option bit that chooses the modifier with this make code, 0 for any
// other key. After E0 only right Ctrl and right Alt count: E0 2A and E0 36 are
// the keyboard's fake shifts around navigation keys.
constexpr uint32_t modifierBit(uint8_t make, bool extended) {
    switch (make) {
        case scan::kCtrl:
            return opt::kKeyCtrl;
        case scan::kAlt:
            return opt::kKeyAlt;
        case scan::kLeftShift:
        case scan::kRightShift:
            return extended ? 0 : opt::kKeyShift;
        default:
            return 0;
    }
}

// HookEventFromKey: one byte of the key stream of this process.
// switchTo(ButtonMode) is called when the byte changes the button mode.
template <class SwitchTo>
void hookEventFromKey(uint16_t& previousKeyByte, uint32_t option, uint8_t b, SwitchTo&& switchTo) {
    if (previousKeyByte != scan::kPause) {
        const uint32_t key = modifierBit(b & ~scan::kRelease, previousKeyByte == scan::kExtended);
        if (key && (option & opt::kKeyRightClick) && (option & key)) {
            const bool held = option & opt::kKeyHeld;
            if (!(b & scan::kRelease)) {
                if (held) switchTo(ButtonMode::Secondary);
            } else {
                switchTo(held ? ButtonMode::Primary : ButtonMode::Secondary);
            }
        }
    }
    previousKeyByte = b;
}

// What a keyboard hook's lParam says: bits 16-23 scan code, 24 extended key,
// 31 key being released.
struct KeyBytes {
    bool extended;
    uint8_t code;
};

constexpr KeyBytes keyBytesOf(uint32_t lParam) {
    uint8_t code = static_cast<uint8_t>(lParam >> 16);
    if (lParam & 0x80000000u) code |= scan::kRelease;
    return {(lParam & 0x01000000u) != 0, code};
}

// The calls SwitchButtonMode makes, shaped like CreateFileA, DeviceIoControl,
// CloseHandle, FindWindowA and PostMessageA. open gives 0 for no device.
template <class P>
concept ButtonModePlatform = requires(P& p, DeviceHandle device, uint32_t code, uintptr_t window) {
    { p.open(kPanelDevicePath) } -> std::same_as<DeviceHandle>;
    p.control(device, code, nullptr, code, nullptr, code);
    p.close(device);
    { p.findWindow(agentwin::kWindowClass, agentwin::kWindowName) } -> std::same_as<uintptr_t>;
    p.postMessage(window, code, window, window);
};

template <ButtonModePlatform P>
void switchButtonMode(P& platform, ButtonMode mode) {
    const DeviceHandle device = platform.open(kPanelDevicePath);
    if (!device) return;
    if (mode == ButtonMode::Secondary) {
        platform.control(device, req::kButtonSecondary, nullptr, 0, nullptr, 0);
    } else {
        platform.control(device, req::kButtonPrimary, nullptr, 0, nullptr, 0);
        if (const uintptr_t agentWindow = platform.findWindow(agentwin::kWindowClass, agentwin::kWindowName))
            platform.postMessage(agentWindow, agentwin::kAgmButtonMode, 0, agentwin::kToPrimary);
    }
    platform.close(device);
}

// What one process keeps between calls of its hook procedure; zero at load.
struct ProcessKeys {
    uint16_t previousKeyByte;
    // The mode this process last asked the driver for, so that the
    // auto-repeat of a held key does not ask again: 0 none yet.
    uint8_t lastRequest;
    // The process's session, learnt once at attach (sessionKnown 0: it could
    // not be, and the keys act as they always did).
    uint8_t sessionKnown;
    uint32_t session;
};

// The panel is the console's: keys typed in another session (a remote one,
// or one switched away from) leave it alone. 0xFFFFFFFF, no session at the
// console while a switch is under way, matches no process.
inline bool inConsoleSession(const ProcessKeys& keys, uint32_t consoleSession) {
    return !keys.sessionKnown || keys.session == consoleSession;
}

// The hook's platform beyond SwitchButtonMode: WTSGetActiveConsoleSessionId.
template <class P>
concept KeyPlatform = ButtonModePlatform<P> && requires(P& p) {
    { p.activeConsoleSession() } -> std::same_as<uint32_t>;
};

inline constexpr uint8_t requestOf(ButtonMode mode) { return mode == ButtonMode::Secondary ? 1 : 2; }

// A keyboard hook's lParam bit 30: the key was already down (auto-repeat,
// and every release).
inline constexpr uint32_t kKeyWasDown = 0x40000000u;

// The hook procedure for a call with the hook code HC_ACTION (a key taken
// from the queue; HC_NOREMOVE peeks repeat it); the caller passes every call
// on to the next hook whatever happens here.
template <KeyPlatform P>
void onKeyMessage(const SharedData& shared, ProcessKeys& keys, uint32_t lParam, P& platform) {
    const KeyBytes key = keyBytesOf(lParam);
    const bool repeated = (lParam & kKeyWasDown) && !(key.code & scan::kRelease);
    auto switchTo = [&](ButtonMode mode) {
        if (repeated && keys.lastRequest == requestOf(mode)) return;  // nothing would change
        // Asked only of the keys that would switch: most keys never get here.
        if (!inConsoleSession(keys, platform.activeConsoleSession())) return;
        keys.lastRequest = requestOf(mode);
        switchButtonMode(platform, mode);
    };
    if (key.extended) hookEventFromKey(keys.previousKeyByte, load(shared.option), scan::kExtended, switchTo);
    hookEventFromKey(keys.previousKeyByte, load(shared.option), key.code, switchTo);
}

// Installing and removing the hook: SetWindowsHookExA giving the hook as its
// 32-bit value (0 = failed), UnhookWindowsHookEx, Sleep.
template <class P>
concept HookInstallPlatform = requires(P& p, uint32_t value) {
    { p.setWindowsHook() } -> std::same_as<uint32_t>;
    { p.unhookWindowsHook(value) } -> std::same_as<bool>;
    p.sleep(value);
};

inline constexpr int kUnhookAttempts = 11;
inline constexpr uint32_t kUnhookRetryMs = 500;

inline void processAttach(SharedData& shared, uint32_t instance) { store(shared.instance, instance); }

// The session of the process, from ProcessIdToSessionId at attach.
inline void processSession(ProcessKeys& keys, bool known, uint32_t session) {
    keys.sessionKnown = known;
    keys.session = session;
}

// The hook handle a process installed is its own, kept in that process
// (ownHook): the shared section is one copy for every session, and with fast
// user switching each session's agent installs a hook of its own. Setting and
// unsetting replace or remove only the caller's handle; the shared field
// holds the latest one for the hook procedure (CallNextHookEx).
//
// Exactly one hook per process stays installed: a second call installs the
// new hook first, then removes the one it replaces (one attempt; a handle
// that is no longer valid simply fails). When the new hook cannot be
// installed the old one, if any, stays, so that TAPHOOK_UnSetHook still
// removes it.
template <HookInstallPlatform P>
int setHook(SharedData& shared, uint32_t& ownHook, P& platform) {
    const uint32_t hook = platform.setWindowsHook();
    if (!hook) return 0;
    const uint32_t previous = ownHook;
    ownHook = hook;
    store(shared.hook, hook);
    if (previous && previous != hook) platform.unhookWindowsHook(previous);
    return 1;
}

// A removed hook is forgotten, so that a second call does not spend five
// seconds retrying a handle that no longer exists.
template <HookInstallPlatform P>
int unsetHook(SharedData& shared, uint32_t& ownHook, P& platform) {
    uint32_t hook = ownHook;
    if (!hook) return 1;
    for (int attempt = 1;; ++attempt) {
        if (platform.unhookWindowsHook(hook)) {
            ownHook = 0;
            // Leaves another process's hook, stored meanwhile, alone.
            __atomic_compare_exchange_n(&shared.hook, &hook, 0u, false, __ATOMIC_RELAXED, __ATOMIC_RELAXED);
            return 1;
        }
        if (attempt == kUnhookAttempts) return 0;
        platform.sleep(kUnhookRetryMs);
    }
}

inline int setOnHook(SharedData& shared) {
    store(shared.onHook, 1);
    return 1;
}

inline int setOptionData(SharedData& shared, uint32_t option) {
    store(shared.option, option);
    return 1;
}

}  // namespace tp::hook
