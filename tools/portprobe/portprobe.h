// The port probe: gives each device instance bound to a driver a port number
// that stays with it, and registers itself to run again at the next start.
#pragma once

#include "ports.h"

namespace tp::probe {

inline constexpr int kMaxInstances = 255;
inline constexpr int kInstanceSlotBytes = 260;
inline constexpr int kReadAttempts = 3;
inline constexpr char kProgramTail[] = "\\QTX\\PNL\\USBPNL\\Tapport.exe";

struct InstanceList {
    char path[kMaxInstances + 1][kInstanceSlotBytes];
    int count;
};

// Reads "0", "1", ... from an open Enum key until the first value that
// cannot be read in three attempts, at most 255 of them.
void readInstanceList(RegistryPort& reg, RegKey enumKey, InstanceList* list);

// Hands out numbers to the listed paths that have none yet and rewrites
// SavePort.
void assignPorts(RegistryPort& reg, RegKey paramsKey, const InstanceList& list);

// Both passes and the RunOnce entry. programPath is the probe's own full
// path (empty when the Program Files folder is unknown: nothing is registered).
void runPortProbe(RegistryPort& reg, SleepPort& sleeper, const char* programPath);

}  // namespace tp::probe
