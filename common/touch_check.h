// The touch accuracy check's arithmetic and its result record: where the
// targets stand, how far each touch landed from its target, the verdict
// against a tolerance, and the record kept per user for support (written by
// Taptest, printed by Tapcfg).
#pragma once

#include <cstddef>
#include <cstdint>

#include "ports.h"

namespace tp::check {

// Four corners, inset, then the centre.
inline constexpr int kTargetCount = 5;
// The corner targets stand this share of the monitor's width and height
// in from its edges: far enough in for a fingertip (and the bezel of a
// mounted panel), close enough to the edge to catch a skewed calibration.
inline constexpr int32_t kInsetPercent = 10;
// 1 % of the diagonal, in hundredths of a per cent.
inline constexpr uint32_t kDefaultTolerance = 100;
// Tolerances from 0.01 % to 100 %.
inline constexpr uint32_t kMaxTolerance = 10000;

struct Point {
    int32_t x, y;
};

// A monitor in virtual-screen pixels; left and top may be negative.
struct Monitor {
    int32_t left = 0, top = 0, width = 0, height = 0;
};

// Target i (0 = top left, 1 = top right, 2 = bottom right, 3 = bottom left,
// 4 = centre) in screen pixels.
Point targetOf(const Monitor& m, int index);

// Offsets from the targets are clamped to this, so that no arithmetic below
// can overflow whatever a message carries.
inline constexpr int32_t kMaxOffset = 0x7FFF;
struct Offset {
    int32_t dx = 0, dy = 0;
};
Offset offsetOf(Point target, Point touch);

struct Summary {
    uint32_t maxMilliPx = 0;   // the largest distance, thousandths of a pixel
    uint32_t meanMilliPx = 0;  // the mean distance
    uint32_t diagonalMilliPx = 0;
    uint32_t maxHundredths = 0;  // the largest distance in hundredths of a per cent of the diagonal
    uint32_t meanHundredths = 0;
    int worst = 0;  // the target with the largest distance (the first of equals)
    bool pass = false;
};

// The verdict compares squared integers: a touch exactly on the tolerance
// passes, one a hair beyond it does not, with no rounding in between.
Summary summarize(const Offset (&offsets)[kTargetCount], const Monitor& m, uint32_t toleranceHundredths);

// The integer square root, rounded to the nearest integer.
uint64_t roundedSqrt(uint64_t v);

// The tolerance in pixels, thousandths, for the user's orientation.
uint32_t toleranceMilliPx(const Monitor& m, uint32_t toleranceHundredths);

// ---------------------------------------------------------------- the record

struct LocalTime {
    uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct Record {
    LocalTime time;
    // The screen number of the multi-monitor settings the check ran on
    // (1…9), or 0 for the primary monitor.
    uint32_t screen = 0;
    Monitor monitor;
    uint32_t tolerance = kDefaultTolerance;  // hundredths of a per cent
    Offset offsets[kTargetCount];
    bool pass = false;
};

// Kept beside the user's settings key, not in it: creating that key would
// keep the agent from seeding a new user from the machine defaults.
inline constexpr char kRecordKey[] = "Software\\Korvane Component\\Taptest";
inline constexpr char kRecordValue[] = "LastCheck";
inline constexpr uint32_t kRecordVersion = 1;
// version, time (6 × 16 bits), screen, monitor (4), tolerance, 5 × (dx, dy), verdict.
inline constexpr size_t kRecordSize = 4 + 12 + 4 + 16 + 4 + kTargetCount * 8 + 4;
static_assert(kRecordSize == 84);

void encodeRecord(const Record& r, uint8_t (&out)[kRecordSize]);
// False for anything but a whole record of this version whose stored verdict
// is the one its offsets give.
bool decodeRecord(const uint8_t* in, size_t size, Record* r);

bool saveRecord(RegistryPort& reg, const Record& r);
enum class LoadResult { Loaded, None, Unreadable };
LoadResult loadRecord(RegistryPort& reg, Record* r);

// "12.3" from thousandths, one decimal, rounded; "0.56" from hundredths.
// Terminated; capacity at least 16.
void formatTenths(uint32_t thousandths, wchar_t* out, size_t capacity);
void formatHundredths(uint32_t hundredths, wchar_t* out, size_t capacity);
// "+6", "-4", "0".
void formatSigned(int32_t value, wchar_t* out, size_t capacity);

}  // namespace tp::check
