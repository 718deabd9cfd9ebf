#include "floating_window.h"

#include "registry.h"

namespace tp::agent {

namespace {

constexpr RetryPolicy kPositionKeyRetry{10, 20};

bool contains(const Rect& r, int32_t x, int32_t y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

// Writes the position the agent holds, or first sets it to 0,0 when resetting.
void storePosition(Agent& a, bool reset) {
    RegistryPort& reg = a.ports.registry;
    RegKey created = 0;
    if (reg.create(RegRoot::CurrentUser, key::kUser, kKeyReadWrite, &created) != kErrorSuccess) created = 0;
    ScopedKey user(reg, created);
    if (!user) return;
    if (reset) {
        a.state.winPosX.set(0);
        a.state.winPosY.set(0);
    }
    writeDword(reg, user.get(), val::kWinPosX, a.state.winPosX.get());
    writeDword(reg, user.get(), val::kWinPosY, a.state.winPosY.get());
}

void onMove(Agent& a, FloatingWindowPort& port, WindowHandle dialog) {
    Rect r{};
    if (!port.windowRect(dialog, &r)) return;
    a.state.winPosX.set(static_cast<uint32_t>(r.left));
    a.state.winPosY.set(static_cast<uint32_t>(r.top));
    storePosition(a, false);
}

void onButtonUp(Agent& a, FloatingWindowPort& port, WindowHandle dialog, uint32_t message) {
    // Only a release over the icon counts, not one on the caption.
    Rect icon{};
    int32_t x = 0, y = 0;
    if (!port.controlRect(dialog, kControlFloatingIcon, &icon) || !port.cursorPos(&x, &y)) return;
    if (contains(icon, x, y)) a.ports.window.postMessage(a.state.mainWindow.get(), AGM_BUTTON_MODE, 0, message);
}

void showIcon(Agent& a, FloatingWindowPort& port, WindowHandle dialog, int iconId) {
    const IconHandle icon = a.ports.window.loadIcon(iconId, kFloatingIconSize);
    if (!icon) return;
    port.setControlIcon(dialog, kControlFloatingIcon, icon);
    // The dialog's first icon belongs to the system; the ones set here are ours.
    if (const IconHandle previous = a.state.floatingIcon.exchange(icon)) port.destroyIcon(previous);
}

void restorePosition(Agent& a, FloatingWindowPort& port, WindowHandle dialog) {
    RegistryPort& reg = a.ports.registry;
    {
        ScopedKey user(reg, openKeyWithRetry(reg, a.ports.sleep, kPositionKeyRetry, OpenMode::Create,
                                             RegRoot::CurrentUser, key::kUser, kKeyRead));
        if (user) {
            uint32_t v = 0;
            if (readDword(reg, user.get(), val::kWinPosX, &v)) a.state.winPosX.set(v);
            if (readDword(reg, user.get(), val::kWinPosY, &v)) a.state.winPosY.set(v);
        }
    }
    Rect r{};
    port.windowRect(dialog, &r);
    port.placeTopmost(dialog, static_cast<int32_t>(a.state.winPosX.get()), static_cast<int32_t>(a.state.winPosY.get()),
                      r.right - r.left, r.bottom - r.top);
}

}  // namespace

bool HandleFloatingWindowMessage(Agent& a, FloatingWindowPort& port, WindowHandle dialog, uint32_t message) {
    switch (message) {
        case kWmMove:
            onMove(a, port, dialog);
            return true;
        case win::kWmLButtonUp:
        case win::kWmRButtonUp:
            onButtonUp(a, port, dialog, message);
            return true;
        case FLM_SHOW_RIGHT:
            showIcon(a, port, dialog, kIconRightButton);
            return true;
        case FLM_SHOW_LEFT:
            showIcon(a, port, dialog, kIconLeftButton);
            return true;
        case FLM_RESTORE_POSITION:
            restorePosition(a, port, dialog);
            return true;
        case FLM_RESET_POSITION:
            storePosition(a, true);
            return true;
        case win::kWmDestroy:
            if (const IconHandle icon = a.state.floatingIcon.exchange(0)) port.destroyIcon(icon);
            return true;
        default:
            return false;
    }
}

}  // namespace tp::agent
