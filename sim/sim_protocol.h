// The simulated panel's own control interface: the control device, the
// control request codes (functions the suite never uses) and the layouts of
// the state and log records. Shared by the kernel-mode simulator and its
// user-mode clients; header-only and free of the C++ runtime.
#pragma once

#include <stdint.h>

#include "driver_protocol.h"

namespace tpsim {

// Never unplugged, so the control tool reaches the simulator while the
// panel's own devices refuse every open.
inline constexpr char kControlDevicePath[] = "\\\\.\\TPSIMCTL";

// Which device a log record or a rule belongs to.
enum Device : uint32_t { kDevNone = 0, kDevPanel = 1, kDevMulti = 2, kDevControl = 3 };

namespace ctl {
inline constexpr uint32_t kReset = tp::ctlCode(0xA00);            // everything back to the defaults
inline constexpr uint32_t kInjectEvent = tp::ctlCode(0xA01);      // in DWORD PanelEventWord
inline constexpr uint32_t kSetPanels = tp::ctlCode(0xA02);        // in PanelIdTable
inline constexpr uint32_t kSetSpinTop = tp::ctlCode(0xA03);       // in DWORD
inline constexpr uint32_t kSetDisabled = tp::ctlCode(0xA04);      // in DWORD type (1, 2), DWORD answer
inline constexpr uint32_t kSetVendorAnswer = tp::ctlCode(0xA05);  // in DWORD length, then up to 255 bytes
inline constexpr uint32_t kSetFailure = tp::ctlCode(0xA06);       // in DWORD code (kAllCodes), DWORD on
inline constexpr uint32_t kSetPlugged = tp::ctlCode(0xA07);       // in DWORD 0 unplug, 1 plug
inline constexpr uint32_t kReadLog = tp::ctlCode(0xA08);          // in DWORD first seq; out LogHeader + records
inline constexpr uint32_t kClearLog = tp::ctlCode(0xA09);
inline constexpr uint32_t kGetState = tp::ctlCode(0xA0A);        // out state words
inline constexpr uint32_t kGetCalibration = tp::ctlCode(0xA0B);  // in DWORD slot; out DWORD key + block
inline constexpr uint32_t kTouchPanel = tp::ctlCode(0xA0C);      // in DWORD port of a connected panel
}  // namespace ctl

inline constexpr uint32_t kAllCodes = 0xFFFFFFFFu;  // kSetFailure: every request of the suite
inline constexpr uint32_t kNoFailures = 0;          // kSetFailure: clear every failure

inline constexpr uint32_t kMaxFailCodes = 16;
inline constexpr uint32_t kMaxPendingEvents = 64;
inline constexpr uint32_t kMaxSettingsRegistrations = 32;
inline constexpr uint32_t kCalibrationSlots = 9;
inline constexpr uint32_t kLogCapacity = 1024;
inline constexpr uint32_t kLogInputBytes = 120;  // a MonitorLayoutBlock fits whole
inline constexpr uint32_t kNoCalibrationPort = 0xFFFFFFFFu;
inline constexpr uint32_t kNoPanel = 0xFFFFFFFFu;   // kIdentified: screen without a panel
inline constexpr uint32_t kNoScreen = 0xFFFFFFFFu;  // a touch record outside identification

// The state answer: a row of little-endian DWORDs, indexed by these names.
namespace st {
enum : uint32_t {
    kMagic,
    kPlugged,
    kPanels,  // 9 words
    kButtonSecondary = kPanels + 9,
    kSwapped,
    kSwapKnown,
    kOption,
    kOptionSet,
    kOrientation,
    kOrientationSet,
    kLayoutSet,
    kLayout,  // 29 words
    kIdentifyPanelActive = kLayout + 29,
    kIdentifyPanelWord,
    kIdentifyMultiActive,
    kIdentifyMultiWord,
    kSpinTop,
    kDisabled1,
    kDisabled2,
    kPendingEventCount,
    kPendingEvents,  // first 16 pending words, oldest first
    kPanelRegistered = kPendingEvents + 16,
    kSettingsRegistrations,
    kVendorAnswerLength,
    kLastVendorSet,
    kLastVendorLow,   // bytes 0..3 of the last VendorRequest
    kLastVendorHigh,  // bytes 4..7
    kCalibrationCount,
    kCalibrationKeys,  // 9 words: the port of each stored block
    kFailAll = kCalibrationKeys + kCalibrationSlots,
    kFailCount,
    kFailCodes,  // kMaxFailCodes words
    kNextSeq = kFailCodes + kMaxFailCodes,
    kProtocolErrors,
    kFrequencyLow,
    kFrequencyHigh,
    kSignalsSent,
    kIdentified,  // 9 words: the port touched for each screen's identification, or kNoPanel
    kCount = kIdentified + tp::kMaxMonitors
};
}  // namespace st

inline constexpr uint32_t kStateMagic = 0x54505331;  // "TPS1"
inline constexpr uint32_t kStateSize = st::kCount * 4;

// kGetCalibration answer: the port the block was stored under, then the block.
inline constexpr uint32_t kCalibrationAnswerSize = 4 + tp::kCalibrationTableBlockSize;

// Log records.
// kLogTouch: a panel touched through the control device; code is the
// monitor word of the screen being identified (kNoScreen outside an
// identification), the input the panel's port.
enum LogKind : uint32_t { kLogRequest = 0, kLogOpen = 1, kLogClose = 2, kLogTouch = 3 };

namespace logflag {
inline constexpr uint32_t kProtocolError = 1;  // wrong size, wrong device, unknown code or bad value
inline constexpr uint32_t kInjected = 2;       // failed because a control request said so
inline constexpr uint32_t kUnplugged = 4;      // refused while unplugged
}  // namespace logflag

struct LogRecord {
    uint32_t seq;
    uint64_t ticks;  // performance counter
    uint32_t device;
    uint32_t kind;
    uint32_t code;
    uint32_t inSize;
    uint32_t outSize;
    uint32_t status;  // NTSTATUS the request completed with
    uint32_t flags;
    uint32_t pid;
    uint32_t inStored;  // how many input bytes follow (at most kLogInputBytes)
    uint8_t in[kLogInputBytes];
};

inline constexpr uint32_t kLogRecordSize = 48 + kLogInputBytes;

inline void encodeLogRecord(uint8_t* out, const LogRecord& r) {
    tp::put32(out, r.seq);
    tp::put32(out + 4, static_cast<uint32_t>(r.ticks));
    tp::put32(out + 8, static_cast<uint32_t>(r.ticks >> 32));
    tp::put32(out + 12, r.device);
    tp::put32(out + 16, r.kind);
    tp::put32(out + 20, r.code);
    tp::put32(out + 24, r.inSize);
    tp::put32(out + 28, r.outSize);
    tp::put32(out + 32, r.status);
    tp::put32(out + 36, r.flags);
    tp::put32(out + 40, r.pid);
    tp::put32(out + 44, r.inStored);
    for (uint32_t i = 0; i < kLogInputBytes; ++i) out[48 + i] = i < r.inStored ? r.in[i] : 0;
}

inline LogRecord decodeLogRecord(const uint8_t* in) {
    LogRecord r{};
    r.seq = tp::get32(in);
    r.ticks = tp::get32(in + 4) | (static_cast<uint64_t>(tp::get32(in + 8)) << 32);
    r.device = tp::get32(in + 12);
    r.kind = tp::get32(in + 16);
    r.code = tp::get32(in + 20);
    r.inSize = tp::get32(in + 24);
    r.outSize = tp::get32(in + 28);
    r.status = tp::get32(in + 32);
    r.flags = tp::get32(in + 36);
    r.pid = tp::get32(in + 40);
    r.inStored = tp::get32(in + 44);
    if (r.inStored > kLogInputBytes) r.inStored = kLogInputBytes;
    for (uint32_t i = 0; i < r.inStored; ++i) r.in[i] = in[48 + i];
    return r;
}

// kReadLog answer: this header, then `count` records with seq >= the asked one.
struct LogHeader {
    uint32_t count;
    uint32_t oldestSeq;  // records before it were overwritten or cleared
    uint32_t nextSeq;
};

inline constexpr uint32_t kLogHeaderSize = 12;

inline void encodeLogHeader(uint8_t* out, const LogHeader& h) {
    tp::put32(out, h.count);
    tp::put32(out + 4, h.oldestSeq);
    tp::put32(out + 8, h.nextSeq);
}

inline LogHeader decodeLogHeader(const uint8_t* in) { return {tp::get32(in), tp::get32(in + 4), tp::get32(in + 8)}; }

}  // namespace tpsim
