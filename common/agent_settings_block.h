// AgentSettingsBlock: the 236-byte WM_COPYDATA payload the console sends the
// agent. Parsed field by field from the bytes the message carries, never by
// casting a struct over another process's data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver_protocol.h"

namespace tp {

// The console owns the block; the agent copies it during the SendMessage.
inline constexpr uint32_t kAgentSettingsBlockSize = 236;

struct AgentSettingsBlock {
    uint32_t freq = 0;
    uint32_t duration = 0;
    uint32_t option = 0;
    uint32_t disableMode = 0;
    uint32_t monitorFreq[kMaxMonitors] = {};
    uint32_t monitorDuration[kMaxMonitors] = {};
    uint32_t monitorOption[kMaxMonitors] = {};
    uint32_t resolution[kMaxMonitors] = {};
    uint32_t originX[kMaxMonitors] = {};
    uint32_t originY[kMaxMonitors] = {};
};

// False, with *out untouched, when there are no data or fewer than 236 bytes.
bool decodeAgentSettingsBlock(const uint8_t* data, size_t size, AgentSettingsBlock* out);

// The first word is reserved and written as 0.
void encodeAgentSettingsBlock(const AgentSettingsBlock& block, uint8_t (&out)[kAgentSettingsBlockSize]);

}  // namespace tp
