#include "calibration.h"

#include <cstring>

#include "registry.h"

namespace tp {

bool loadCalibrationBlock(RegistryPort& reg, RegKey userKey, int32_t port, CalibrationTableBlock* block) {
    std::memset(block->bytes, 0, sizeof block->bytes);
    uint32_t flags = 0;
    for (const CalibrationTableKind& kind : kCalibrationKinds) {
        uint8_t* field = block->bytes + kind.offset;
        if (readBinary(reg, userKey, calibrationValueName(kind, port).c_str(), field, kind.maxBytes) < 0) {
            std::memset(field, 0, kind.maxBytes);  // a failed query may have left bytes behind
            continue;
        }
        flags |= kind.flag;
        put16(field, static_cast<uint16_t>(port));
    }
    put32(block->bytes, flags);
    return flags != 0;
}

}  // namespace tp
