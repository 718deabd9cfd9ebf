// The registry schema shared by the agent, the console and the probe: key
// paths, value names, compiled-in defaults, option bits, encodings and the
// two orders in which the 52 per-user values are written.
#pragma once

#include <cstdint>

#include "driver_protocol.h"

namespace tp {

namespace key {
inline constexpr char kUser[] = "Software\\Korvane Component\\USB";
inline constexpr char kPanelParams[] = "SYSTEM\\CurrentControlSet\\Services\\TAPTPU\\Parameters";
inline constexpr char kMultiParams[] = "SYSTEM\\CurrentControlSet\\Services\\QTXTPU\\Parameters";
inline constexpr char kPanelEnum[] = "SYSTEM\\CurrentControlSet\\Services\\TAPTPU\\Enum";
inline constexpr char kMultiEnum[] = "SYSTEM\\CurrentControlSet\\Services\\QTXTPU\\Enum";
inline constexpr char kRunOnce[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
}  // namespace key

namespace val {
inline constexpr char kOption[] = "Option";
inline constexpr char kFreq[] = "Freq";
inline constexpr char kDuration[] = "Duration";
inline constexpr char kStdFreq[] = "StdFreq";
inline constexpr char kStdDuration[] = "StdDuration";
inline constexpr char kDHeight[] = "DHeight";
inline constexpr char kDWidth[] = "DWidth";
inline constexpr char kWinPosX[] = "WinPosX";
inline constexpr char kWinPosY[] = "WinPosY";
inline constexpr char kCalCommand[] = "CalCommand";
inline constexpr char kVersion[] = "Version";
inline constexpr char kSpinMode[] = "SpinMode";
inline constexpr char kTPriority[] = "TPriority";
inline constexpr char kCalibMode[] = "CalibMode";
inline constexpr char kSavePort[] = "SavePort";
inline constexpr char kResolution[] = "Resolution";
inline constexpr char kOrgResolutionX[] = "OrgResolutionX";
inline constexpr char kOrgResolutionY[] = "OrgResolutionY";
inline constexpr char kNComm[] = "nComm";
inline constexpr char kDisableMode[] = "DisableMode";
inline constexpr char kRunOnceProbe[] = "TAPPORTCHK";
}  // namespace val

inline constexpr uint32_t kVersionMaxBytes = 50;

namespace def {
inline constexpr uint32_t kOption = 0x1A0800A4;
inline constexpr uint32_t kMonitorOption = 0xA0;
inline constexpr uint32_t kFreq = 1000;
inline constexpr uint32_t kDuration = 50;
inline constexpr uint32_t kDoubleClickArea = 34;
inline constexpr uint32_t kTPriority = 2;
inline constexpr uint32_t kResolution = 0x04000300;  // 1024 x 768
}  // namespace def

// Bits of the Option word.
namespace opt {
inline constexpr uint32_t kCal9 = 0x00000004;
inline constexpr uint32_t kCal12 = 0x00000008;
inline constexpr uint32_t kCal20 = 0x00000010;
inline constexpr uint32_t kStdTouchOn = 0x00000020;
inline constexpr uint32_t kStdSoundOn = 0x00000040;
inline constexpr uint32_t kBeepAtTouch = 0x00000080;
inline constexpr uint32_t kStdKindMask = 0x00000F00;
inline constexpr uint32_t kKindMask = 0x0000F000;
inline constexpr uint32_t kKindShift = 12;
inline constexpr uint32_t kSoundOn = 0x00010000;
inline constexpr uint32_t kKeyHeld = 0x00020000;
inline constexpr uint32_t kTrayIcon = 0x00040000;
inline constexpr uint32_t kKeyCtrl = 0x00080000;
inline constexpr uint32_t kKeyShift = 0x00100000;
inline constexpr uint32_t kKeyAlt = 0x00200000;
inline constexpr uint32_t kKeyRightClick = 0x00400000;
inline constexpr uint32_t kFloatingIcon = 0x00800000;
inline constexpr uint32_t kHideCursor = 0x01000000;
inline constexpr uint32_t kDriverReserved = 0x02000000;
inline constexpr uint32_t kPointMode = 0x04000000;
inline constexpr uint32_t kOfferOperateMode = 0x08000000;
inline constexpr uint32_t kSameSoundAllMonitors = 0x10000000;
}  // namespace opt

// A value name with a monitor or port number appended ("Freq3", "9Cal-2").
struct ValueName {
    char text[32];
    const char* c_str() const { return text; }
};

ValueName numberedName(const char* prefix, long number);
ValueName plainName(const char* name);

// The per-user values that are seeded, saved and sent around as a set.
struct UserValues {
    uint32_t option = def::kOption;
    uint32_t freq = def::kFreq;
    uint32_t duration = def::kDuration;
    uint32_t dHeight = def::kDoubleClickArea;
    uint32_t dWidth = def::kDoubleClickArea;
    uint32_t stdFreq = def::kFreq;
    uint32_t stdDuration = def::kDuration;
    uint32_t monitorOption[kMaxMonitors] = {def::kMonitorOption, def::kMonitorOption, def::kMonitorOption,
                                            def::kMonitorOption, def::kMonitorOption, def::kMonitorOption,
                                            def::kMonitorOption, def::kMonitorOption, def::kMonitorOption};
    uint32_t monitorFreq[kMaxMonitors] = {def::kFreq, def::kFreq, def::kFreq, def::kFreq, def::kFreq,
                                          def::kFreq, def::kFreq, def::kFreq, def::kFreq};
    uint32_t monitorDuration[kMaxMonitors] = {def::kDuration, def::kDuration, def::kDuration,
                                              def::kDuration, def::kDuration, def::kDuration,
                                              def::kDuration, def::kDuration, def::kDuration};
    uint32_t monitorStdFreq[kMaxMonitors] = {def::kFreq, def::kFreq, def::kFreq, def::kFreq, def::kFreq,
                                             def::kFreq, def::kFreq, def::kFreq, def::kFreq};
    uint32_t monitorStdDuration[kMaxMonitors] = {def::kDuration, def::kDuration, def::kDuration,
                                                 def::kDuration, def::kDuration, def::kDuration,
                                                 def::kDuration, def::kDuration, def::kDuration};
};

inline constexpr int kUserValueCount = 52;

// Which order to walk the 52 values in: the agent seeds a new user key in
// one order, the console saves in another.
enum class ValueOrder { Seeding, ConsoleSave };

// Calls fn(name, uint32_t& field) for each of the 52 values in the order.
template <typename Fn>
void forEachUserValue(UserValues& v, ValueOrder order, Fn fn) {
    fn(plainName(val::kOption), v.option);
    if (order == ValueOrder::Seeding) {
        fn(plainName(val::kFreq), v.freq);
        fn(plainName(val::kDuration), v.duration);
        fn(plainName(val::kDHeight), v.dHeight);
        fn(plainName(val::kDWidth), v.dWidth);
        fn(plainName(val::kStdFreq), v.stdFreq);
        fn(plainName(val::kStdDuration), v.stdDuration);
    } else {
        fn(plainName(val::kFreq), v.freq);
        fn(plainName(val::kDuration), v.duration);
        fn(plainName(val::kStdFreq), v.stdFreq);
        fn(plainName(val::kStdDuration), v.stdDuration);
        fn(plainName(val::kDHeight), v.dHeight);
        fn(plainName(val::kDWidth), v.dWidth);
    }
    for (int i = 0; i < kMaxMonitors; ++i) fn(numberedName(val::kOption, i + 1), v.monitorOption[i]);
    for (int i = 0; i < kMaxMonitors; ++i) fn(numberedName(val::kFreq, i + 1), v.monitorFreq[i]);
    for (int i = 0; i < kMaxMonitors; ++i) fn(numberedName(val::kDuration, i + 1), v.monitorDuration[i]);
    for (int i = 0; i < kMaxMonitors; ++i) fn(numberedName(val::kStdFreq, i + 1), v.monitorStdFreq[i]);
    for (int i = 0; i < kMaxMonitors; ++i) fn(numberedName(val::kStdDuration, i + 1), v.monitorStdDuration[i]);
}

// Monitor size: width in the high 16 bits, height in the low 16 bits.
constexpr uint32_t packResolution(uint32_t width, uint32_t height) {
    return ((width & 0xFFFF) << 16) | (height & 0xFFFF);
}
constexpr uint32_t resolutionWidth(uint32_t packed) { return packed >> 16; }
constexpr uint32_t resolutionHeight(uint32_t packed) { return packed & 0xFFFF; }

// Origins are sign and magnitude: bit 28 set means negative.
inline constexpr uint32_t kOriginNegative = 0x10000000;
inline constexpr uint32_t kOriginMagnitude = 0x0FFFFFFF;

constexpr uint32_t encodeOrigin(int32_t coordinate) {
    return coordinate < 0
               ? kOriginNegative | (static_cast<uint32_t>(-static_cast<int64_t>(coordinate)) & kOriginMagnitude)
               : static_cast<uint32_t>(coordinate) & kOriginMagnitude;
}
constexpr int32_t decodeOrigin(uint32_t stored) {
    const int32_t magnitude = static_cast<int32_t>(stored & kOriginMagnitude);
    return (stored & kOriginNegative) ? -magnitude : magnitude;
}
static_assert(encodeOrigin(-1280) == 0x10000500);
static_assert(encodeOrigin(1280) == 0x00000500);
static_assert(decodeOrigin(0x10000500) == -1280);

// Monitors in use: the leading non-zero Resolution values, 0 to 9.
int monitorCount(const uint32_t (&resolution)[kMaxMonitors]);

// The multi-monitor layout as the driver takes it (116 bytes).
struct MonitorLayoutBlock {
    uint32_t resolution[kMaxMonitors] = {};
    uint32_t originX[kMaxMonitors] = {};
    uint32_t originY[kMaxMonitors] = {};
    uint32_t nComm = 0;
    uint32_t disableMode = 0;

    // Zeroes every entry from monitor number count + 1 on.
    void clearFrom(int count);
    void encode(uint8_t (&out)[kMonitorLayoutBlockSize]) const;
    static MonitorLayoutBlock decode(const uint8_t (&in)[kMonitorLayoutBlockSize]);
};

}  // namespace tp
