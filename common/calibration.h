// What the suite fixes about the outside calibration program: the names and
// maximum sizes of the tables it leaves in the user key, and the block in
// which the agent forwards one panel's tables to the driver.
#pragma once

#include <cstdint>

#include "driver_protocol.h"
#include "ports.h"
#include "settings.h"

namespace tp {

// Program started by the console, relative to the Program Files folder.
inline constexpr char kCalibrationProgram[] = "\\QTX\\PNL\\USBPNL\\Tapcal.exe";

struct CalibrationTableKind {
    const char* prefix;  // value name is prefix + port in decimal
    uint32_t maxBytes;   // field size in the block; longer values count as absent
    uint32_t offset;     // of the field in CalibrationTableBlock
    uint32_t flag;       // presence bit in the block's first word
};

inline constexpr CalibrationTableKind kCalibrationKinds[] = {
    {"9Cal", 110, 4, 0x1},
    {"12Cal", 160, 114, 0x2},
    {"20Cal", 320, 274, 0x4},
};
static_assert(4 + 110 + 160 + 320 + 2 == kCalibrationTableBlockSize);

inline ValueName calibrationValueName(const CalibrationTableKind& kind, int32_t port) {
    return numberedName(kind.prefix, port);
}

struct CalibrationTableBlock {
    uint8_t bytes[kCalibrationTableBlockSize];
    uint32_t flags() const { return get32(bytes); }
};

// Fills the block for the panel on port from the open user key. Returns
// false when none of the three tables is stored.
bool loadCalibrationBlock(RegistryPort& reg, RegKey userKey, int32_t port, CalibrationTableBlock* block);

}  // namespace tp
