#include "calibration_command.h"

#include "registry.h"

namespace tp::agent {

namespace {

bool isStatusRequest(const VendorRequest& packet) {
    return packet.requestType == kCalibrationStatusRequest.requestType &&
           packet.request == kCalibrationStatusRequest.request && (packet.length & 0xFF) != 0;
}

void readInto(RegistryPort& reg, RegKey key, const char* name, Value& target) {
    uint32_t v = 0;
    if (readDword(reg, key, name, &v)) target.set(v);
}

}  // namespace

int SendVendorRequest(Agent& a, const VendorRequest& packet) {
    a.state.commandDone.set(1);
    Device device(a.ports.driver, kPanelDevicePath);
    if (!device) return 0;
    uint8_t in[kVendorRequestSize];
    encodeVendorRequest(in, packet);
    // An unanswered status request leaves zeros, which read as a bad answer.
    uint8_t answer[kVendorAnswerSize] = {};
    device.send(req::kVendorRequest, in, sizeof in, answer, sizeof answer);
    device.close();
    if (!isStatusRequest(packet)) return 1;
    if (answer[1] != 0 || answer[0] == 0) {
        a.state.commandDone.set(0);
        return 0;
    }
    return 1;
}

void RunCalibrationCommand(Agent& a) {
    RegistryPort& reg = a.ports.registry;
    RegKey opened = 0;
    if (reg.open(RegRoot::LocalMachine, key::kPanelParams, kKeyRead, &opened) != kErrorSuccess) opened = 0;
    ScopedKey panel(reg, opened);
    if (!panel) return;
    readInto(reg, panel.get(), val::kCalibMode, a.state.calibMode);
    if (a.state.calibMode.get() != kCalibModeActive) return;

    opened = 0;
    if (reg.open(RegRoot::CurrentUser, key::kUser, kKeyReadWrite, &opened) != kErrorSuccess) opened = 0;
    ScopedKey user(reg, opened);
    if (!user) return;
    readInto(reg, user.get(), val::kCalCommand, a.state.calCommand);
    if (a.state.calCommand.get() != kCalCommandCalibrate) return;
    if (SendVendorRequest(a, kCalibrationCommandRequest)) {
        a.ports.sleep.sleep(kVendorStatusPauseMs);
        SendVendorRequest(a, kCalibrationStatusRequest);
    }
    // Only the command just run is reset: a flag left from an earlier one
    // must not wipe whatever else the calibration program left.
    if (a.state.commandDone.get()) {
        a.state.calCommand.set(0);
        writeDword(reg, user.get(), val::kCalCommand, 0);
    }
}

}  // namespace tp::agent
