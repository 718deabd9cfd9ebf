#include "settings.h"

#include <cstring>

#include "text.h"

namespace tp {

ValueName plainName(const char* text) {
    ValueName name{};
    appendText(name.text, sizeof name.text, text);
    return name;
}

ValueName numberedName(const char* prefix, long number) {
    ValueName name = plainName(prefix);
    const size_t used = std::strlen(name.text);
    formatDecimal(number, name.text + used, sizeof name.text - used);
    return name;
}

int monitorCount(const uint32_t (&resolution)[kMaxMonitors]) {
    int count = 0;
    while (count < kMaxMonitors && resolution[count] != 0) ++count;
    return count;
}

void MonitorLayoutBlock::clearFrom(int count) {
    for (int i = count < 0 ? 0 : count; i < kMaxMonitors; ++i) resolution[i] = originX[i] = originY[i] = 0;
}

void MonitorLayoutBlock::encode(uint8_t (&out)[kMonitorLayoutBlockSize]) const {
    for (int i = 0; i < kMaxMonitors; ++i) {
        put32(out + 4 * i, resolution[i]);
        put32(out + 36 + 4 * i, originX[i]);
        put32(out + 72 + 4 * i, originY[i]);
    }
    put32(out + 108, nComm);
    put32(out + 112, disableMode);
}

MonitorLayoutBlock MonitorLayoutBlock::decode(const uint8_t (&in)[kMonitorLayoutBlockSize]) {
    MonitorLayoutBlock b;
    for (int i = 0; i < kMaxMonitors; ++i) {
        b.resolution[i] = get32(in + 4 * i);
        b.originX[i] = get32(in + 36 + 4 * i);
        b.originY[i] = get32(in + 72 + 4 * i);
    }
    b.nComm = get32(in + 108);
    b.disableMode = get32(in + 112);
    return b;
}

}  // namespace tp
