// The calibration command that the calibration program leaves in the
// registry: two USB vendor requests to the panel, passed through the driver.
#pragma once

#include "agent.h"

namespace tp::agent {

inline constexpr VendorRequest kCalibrationCommandRequest{0x40, 0x10, 0x0004, 0, 0};
inline constexpr VendorRequest kCalibrationStatusRequest{0xC0, 0xFF, 0, 0, 2};
inline constexpr uint32_t kCalCommandCalibrate = 4;
inline constexpr uint32_t kCalibModeActive = 1;
inline constexpr uint32_t kVendorStatusPauseMs = 50;

// Sends one packet; nonzero when it could be sent and, for the status
// request, the panel's answer is good. Sets the command-done flag, and
// clears it again only for a bad status answer.
int SendVendorRequest(Agent& agent, const VendorRequest& packet);

// Runs a pending command (CalCommand 4 while CalibMode is 1) and resets
// CalCommand once it is done.
void RunCalibrationCommand(Agent& agent);

}  // namespace tp::agent
