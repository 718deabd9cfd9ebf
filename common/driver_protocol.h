// The touch-panel driver's control interface: device paths, request codes and
// buffer layouts. Every program of the suite and the simulated driver take
// these facts from here and nowhere else. Header-only and free of the C++
// runtime, so the hook DLL and the kernel-mode simulator can include it.
#pragma once

#include <stdint.h>

#include "bytes.h"

namespace tp {

inline constexpr char kPanelDevicePath[] = "\\\\.\\TAPTPU";
inline constexpr char kMultiDevicePath[] = "\\\\.\\QTXTPUM";

// CTL_CODE(FILE_DEVICE_UNKNOWN, function, METHOD_BUFFERED, FILE_ANY_ACCESS)
constexpr uint32_t ctlCode(uint32_t function) {
    constexpr uint32_t kFileDeviceUnknown = 0x22;
    constexpr uint32_t kMethodBuffered = 0;
    constexpr uint32_t kFileAnyAccess = 0;
    return (kFileDeviceUnknown << 16) | (kFileAnyAccess << 14) | (function << 2) | kMethodBuffered;
}

namespace req {
inline constexpr uint32_t kIdentifyMultiStart = ctlCode(0x801);  // QTXTPUM, DWORD monitor index << 28
inline constexpr uint32_t kIdentifyMultiEnd = ctlCode(0x802);    // QTXTPUM
inline constexpr uint32_t kSetMonitorLayout = ctlCode(0x803);    // QTXTPUM, MonitorLayoutBlock
inline constexpr uint32_t kRegisterPanelEvent = ctlCode(0x805);  // EventRegistration
inline constexpr uint32_t kReadPanelEvent = ctlCode(0x806);      // out PanelEventWord
inline constexpr uint32_t kButtonSecondary = ctlCode(0x807);
inline constexpr uint32_t kButtonPrimary = ctlCode(0x808);
inline constexpr uint32_t kButtonsSwapped = ctlCode(0x809);
inline constexpr uint32_t kButtonsNotSwapped = ctlCode(0x80A);
inline constexpr uint32_t kSetSpinTop = ctlCode(0x80B);      // in DWORD
inline constexpr uint32_t kGetSpinTop = ctlCode(0x80C);      // out DWORD
inline constexpr uint32_t kSetOption = ctlCode(0x80D);       // in DWORD Option
inline constexpr uint32_t kSetCalibration = ctlCode(0x80E);  // CalibrationTableBlock
inline constexpr uint32_t kEnable1 = ctlCode(0x813);
inline constexpr uint32_t kDisable1 = ctlCode(0x814);
inline constexpr uint32_t kEnable2 = ctlCode(0x815);
inline constexpr uint32_t kDisable2 = ctlCode(0x816);
inline constexpr uint32_t kGetDisabled1 = ctlCode(0x817);  // out DWORD, nonzero = disabled
inline constexpr uint32_t kGetDisabled2 = ctlCode(0x818);
inline constexpr uint32_t kGetPanelIds = ctlCode(0x819);         // out PanelIdTable
inline constexpr uint32_t kIdentifyPanelStart = ctlCode(0x81A);  // in DWORD monitor index << 28
inline constexpr uint32_t kIdentifyPanelEnd = ctlCode(0x81B);
inline constexpr uint32_t kSignalSettingsChanged = ctlCode(0x81C);
inline constexpr uint32_t kRegisterSettingsEvent = ctlCode(0x81D);  // EventRegistration
inline constexpr uint32_t kSetOrientation = ctlCode(0x81E);         // in DWORD 0..3
inline constexpr uint32_t kVendorRequest = ctlCode(0x840);          // VendorRequest, out data stage
}  // namespace req

static_assert(req::kIdentifyMultiStart == 0x222004);
static_assert(req::kIdentifyMultiEnd == 0x222008);
static_assert(req::kSetMonitorLayout == 0x22200c);
static_assert(req::kRegisterPanelEvent == 0x222014);
static_assert(req::kReadPanelEvent == 0x222018);
static_assert(req::kButtonSecondary == 0x22201c);
static_assert(req::kButtonPrimary == 0x222020);
static_assert(req::kButtonsSwapped == 0x222024);
static_assert(req::kButtonsNotSwapped == 0x222028);
static_assert(req::kSetSpinTop == 0x22202c);
static_assert(req::kGetSpinTop == 0x222030);
static_assert(req::kSetOption == 0x222034);
static_assert(req::kSetCalibration == 0x222038);
static_assert(req::kEnable1 == 0x22204c);
static_assert(req::kDisable1 == 0x222050);
static_assert(req::kEnable2 == 0x222054);
static_assert(req::kDisable2 == 0x222058);
static_assert(req::kGetDisabled1 == 0x22205c);
static_assert(req::kGetDisabled2 == 0x222060);
static_assert(req::kGetPanelIds == 0x222064);
static_assert(req::kIdentifyPanelStart == 0x222068);
static_assert(req::kIdentifyPanelEnd == 0x22206c);
static_assert(req::kSignalSettingsChanged == 0x222070);
static_assert(req::kRegisterSettingsEvent == 0x222074);
static_assert(req::kSetOrientation == 0x222078);
static_assert(req::kVendorRequest == 0x222100);

// Buffer sizes in bytes.
inline constexpr uint32_t kDwordSize = 4;
inline constexpr uint32_t kEventRegistrationSize = 8;
inline constexpr uint32_t kPanelEventWordSize = 4;
inline constexpr uint32_t kPanelIdTableSize = 36;
inline constexpr uint32_t kMonitorLayoutBlockSize = 116;
inline constexpr uint32_t kCalibrationTableBlockSize = 596;
inline constexpr uint32_t kVendorRequestSize = 8;
inline constexpr uint32_t kVendorAnswerSize = 255;

inline constexpr int kMaxMonitors = 9;
inline constexpr int kPanelSlots = 9;

// Monitor index travels in bits 28-31 of words to and from the driver.
constexpr uint32_t monitorIndexWord(uint32_t index) { return index << 28; }

// PanelEventWord: bits 28-31 monitor index (0 = monitor 1), bits 0-27 event code.
enum PanelEventCode : uint32_t { kEventTouch = 0, kEventRelease = 1, kEventSecondaryRelease = 2 };

struct PanelEvent {
    uint32_t monitorIndex;
    uint32_t code;
};

constexpr PanelEvent decodePanelEvent(uint32_t word) { return {word >> 28, word & 0x0FFFFFFFu}; }
constexpr uint32_t encodePanelEvent(uint32_t monitorIndex, uint32_t code) {
    return (monitorIndex << 28) | (code & 0x0FFFFFFFu);
}

// EventRegistration: 16-bit zero, 16-bit reserved zero, 32-bit event handle.
// Event handles are process-local small integers, so the 32-bit field holds
// them whole on 64-bit Windows too; the truncation is deliberate.
inline void encodeEventRegistration(uint8_t out[kEventRegistrationSize], uint32_t eventHandle) {
    put16(out, 0);
    put16(out + 2, 0);
    put32(out + 4, eventHandle);
}

inline uint32_t eventRegistrationHandle(const uint8_t in[kEventRegistrationSize]) { return get32(in + 4); }

// PanelIdTable: nine signed 32-bit port numbers, slot 1 first, -1 = empty.
inline constexpr int32_t kEmptySlot = -1;

struct PanelIdTable {
    int32_t port[kPanelSlots];
};

inline PanelIdTable decodePanelIdTable(const uint8_t in[kPanelIdTableSize]) {
    PanelIdTable t{};
    for (int i = 0; i < kPanelSlots; ++i) t.port[i] = static_cast<int32_t>(get32(in + 4 * i));
    return t;
}

inline void encodePanelIdTable(uint8_t out[kPanelIdTableSize], const PanelIdTable& t) {
    for (int i = 0; i < kPanelSlots; ++i) put32(out + 4 * i, static_cast<uint32_t>(t.port[i]));
}

// VendorRequest: a USB control-transfer setup packet.
struct VendorRequest {
    uint8_t requestType;
    uint8_t request;
    uint16_t value;
    uint16_t index;
    uint16_t length;
};

inline void encodeVendorRequest(uint8_t out[kVendorRequestSize], const VendorRequest& r) {
    out[0] = r.requestType;
    out[1] = r.request;
    put16(out + 2, r.value);
    put16(out + 4, r.index);
    put16(out + 6, r.length);
}

inline VendorRequest decodeVendorRequest(const uint8_t in[kVendorRequestSize]) {
    return {in[0], in[1], get16(in + 2), get16(in + 4), get16(in + 6)};
}

}  // namespace tp
