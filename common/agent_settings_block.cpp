#include "agent_settings_block.h"

#include "bytes.h"

namespace tp {

namespace {

// Byte offsets of the fields; the reserved word at 0 is never read.
constexpr size_t kFreqAt = 4;
constexpr size_t kDurationAt = 8;
constexpr size_t kOptionAt = 12;
constexpr size_t kDisableModeAt = 16;
constexpr size_t kMonitorFreqAt = 20;
constexpr size_t kMonitorDurationAt = 56;
constexpr size_t kMonitorOptionAt = 92;
constexpr size_t kResolutionAt = 128;
constexpr size_t kOriginXAt = 164;
constexpr size_t kOriginYAt = 200;
static_assert(kOriginYAt + 4 * kMaxMonitors == kAgentSettingsBlockSize);

void getArray(const uint8_t* data, size_t at, uint32_t (&out)[kMaxMonitors]) {
    for (int i = 0; i < kMaxMonitors; ++i) out[i] = get32(data + at + 4 * i);
}

void putArray(uint8_t* data, size_t at, const uint32_t (&in)[kMaxMonitors]) {
    for (int i = 0; i < kMaxMonitors; ++i) put32(data + at + 4 * i, in[i]);
}

}  // namespace

bool decodeAgentSettingsBlock(const uint8_t* data, size_t size, AgentSettingsBlock* out) {
    if (!data || size < kAgentSettingsBlockSize) return false;
    AgentSettingsBlock b;
    b.freq = get32(data + kFreqAt);
    b.duration = get32(data + kDurationAt);
    b.option = get32(data + kOptionAt);
    b.disableMode = get32(data + kDisableModeAt);
    getArray(data, kMonitorFreqAt, b.monitorFreq);
    getArray(data, kMonitorDurationAt, b.monitorDuration);
    getArray(data, kMonitorOptionAt, b.monitorOption);
    getArray(data, kResolutionAt, b.resolution);
    getArray(data, kOriginXAt, b.originX);
    getArray(data, kOriginYAt, b.originY);
    *out = b;
    return true;
}

void encodeAgentSettingsBlock(const AgentSettingsBlock& b, uint8_t (&out)[kAgentSettingsBlockSize]) {
    put32(out, 0);
    put32(out + kFreqAt, b.freq);
    put32(out + kDurationAt, b.duration);
    put32(out + kOptionAt, b.option);
    put32(out + kDisableModeAt, b.disableMode);
    putArray(out, kMonitorFreqAt, b.monitorFreq);
    putArray(out, kMonitorDurationAt, b.monitorDuration);
    putArray(out, kMonitorOptionAt, b.monitorOption);
    putArray(out, kResolutionAt, b.resolution);
    putArray(out, kOriginXAt, b.originX);
    putArray(out, kOriginYAt, b.originY);
}

}  // namespace tp
