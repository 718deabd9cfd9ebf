#include "cursor.h"

namespace tp::agent {

void ApplyCursorHiding(Agent& a) {
    RoutineLock lock(a.ports.locks, Routine::ApplyCursorHiding);
    // After shutdown has restored the cursors, nobody would restore them again.
    if (a.state.shuttingDown.get()) return;
    CursorPort& cursors = *a.ports.cursor;
    const CursorHandle hidden = cursors.loadCursor(kCursorHidden);
    if (!(a.state.settings.option.get() & opt::kHideCursor)) {
        a.ports.display.systemParametersInfo(win::kSpiSetCursors, 0, 0);
        return;
    }
    if (!hidden) return;
    for (const uint32_t id : kHiddenCursorIds) {
        // SetSystemCursor takes the cursor it is given and destroys it when
        // it is replaced, so every id gets a copy; the loaded one is shared.
        const CursorHandle copy = cursors.copyCursor(hidden);
        if (!copy) continue;
        if (!cursors.setSystemCursor(copy, id)) cursors.destroyCursor(copy);
    }
}

void RestoreCursors(Agent& a) {
    // Under the routine's lock, so that a hiding under way on a worker ends
    // before the restore and a later one sees the shutdown.
    RoutineLock lock(a.ports.locks, Routine::ApplyCursorHiding);
    a.ports.display.systemParametersInfo(win::kSpiSetCursors, 0, 0);
}

}  // namespace tp::agent
