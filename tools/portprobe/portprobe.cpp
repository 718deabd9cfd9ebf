#include "portprobe.h"

#include <cstring>

#include "registry.h"
#include "settings.h"
#include "text.h"

namespace tp::probe {

void readInstanceList(RegistryPort& reg, RegKey enumKey, InstanceList* list) {
    std::memset(list, 0, sizeof *list);
    for (int i = 0; i < kMaxInstances; ++i) {
        char name[12];
        formatDecimal(i, name, sizeof name);
        bool read = false;
        for (int attempt = 0; attempt < kReadAttempts && !read; ++attempt)
            read = readString(reg, enumKey, name, list->path[i], kInstanceSlotBytes);
        if (!read) return;
        list->count = i + 1;
    }
}

void assignPorts(RegistryPort& reg, RegKey paramsKey, const InstanceList& list) {
    uint32_t counter = 0;
    if (!readDword(reg, paramsKey, val::kSavePort, &counter)) counter = 0;
    for (int i = 0; i < list.count; ++i) {
        // A number already stored stays; a value of another type or size is
        // no usable number and gets a fresh one.
        uint32_t existing = 0;
        if (readDword(reg, paramsKey, list.path[i], &existing)) continue;
        writeDword(reg, paramsKey, list.path[i], counter);
        ++counter;
    }
    writeDword(reg, paramsKey, val::kSavePort, counter);
}

namespace {

struct Pass {
    const char* enumKey;
    const char* paramsKey;
};

InstanceList instances;  // 66 KB: kept off the stack

constexpr Pass kPasses[] = {
    {key::kMultiEnum, key::kMultiParams},
    {key::kPanelEnum, key::kPanelParams},
};

void runPass(RegistryPort& reg, SleepPort& sleeper, const Pass& pass, InstanceList* list) {
    std::memset(list, 0, sizeof *list);
    if (RegKey enumKey = openKeyWithRetry(reg, sleeper, kProbeKeyRetry, OpenMode::Open, RegRoot::LocalMachine,
                                          pass.enumKey, kKeyRead)) {
        readInstanceList(reg, enumKey, list);
        reg.close(enumKey);
    }
    ScopedKey params(reg, openKeyWithRetry(reg, sleeper, kProbeKeyRetry, OpenMode::Open, RegRoot::LocalMachine,
                                           pass.paramsKey, kKeyReadWrite));
    if (params) assignPorts(reg, params.get(), *list);
}

}  // namespace

void runPortProbe(RegistryPort& reg, SleepPort& sleeper, const char* programPath) {
    for (const Pass& pass : kPasses) runPass(reg, sleeper, pass, &instances);

    ScopedKey runOnce(reg, openKeyWithRetry(reg, sleeper, kProbeKeyRetry, OpenMode::Open, RegRoot::LocalMachine,
                                            key::kRunOnce, kKeyReadWrite));
    if (!runOnce || !programPath || !*programPath) return;
    // Quoted, so that Windows cannot run C:\Program.exe for "C:\Program Files\...".
    char command[kInstanceSlotBytes + 2] = "\"";
    if (!appendText(command, sizeof command, programPath) || !appendText(command, sizeof command, "\"")) return;
    writeString(reg, runOnce.get(), val::kRunOnceProbe, command);
}

}  // namespace tp::probe
