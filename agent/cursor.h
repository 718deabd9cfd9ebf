// Hiding the mouse cursor while the panel is used.
#pragma once

#include <cstdint>

#include "agent.h"

namespace tp::agent {

using CursorHandle = uintptr_t;

class CursorPort {
public:
    // LoadCursorA(module instance, MAKEINTRESOURCE(id)): a shared handle.
    virtual CursorHandle loadCursor(int id) = 0;
    // CopyCursor: a handle of our own, 0 on failure.
    virtual CursorHandle copyCursor(CursorHandle cursor) = 0;
    // SetSystemCursor, which takes ownership of cursor when it succeeds.
    virtual bool setSystemCursor(CursorHandle cursor, uint32_t id) = 0;
    virtual void destroyCursor(CursorHandle cursor) = 0;

protected:
    ~CursorPort() = default;
};

// The system cursors replaced by the transparent one, in order (OCR_NORMAL
// to OCR_HELP); 32647, between OCR_SIZEALL and OCR_NO, keeps its shape.
inline constexpr uint32_t kHiddenCursorIds[] = {32512, 32513, 32514, 32515, 32516, 32640, 32641, 32642,
                                                32643, 32644, 32645, 32646, 32648, 32649, 32650, 32651};

}  // namespace tp::agent
