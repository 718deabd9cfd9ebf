#include "touch_check.h"

#include <initializer_list>

#include "bytes.h"
#include "registry.h"

namespace tp::check {

namespace {}  // namespace

// Shifts and subtractions only: no 64-bit division, whose libgcc helpers
// would cost the x86 programs a kilobyte or two.
uint64_t roundedSqrt(uint64_t v) {
    uint64_t r = 0;
    for (uint64_t bit = uint64_t{1} << 62; bit; bit >>= 2) {
        if (v >= r + bit) {
            v -= r + bit;
            r = (r >> 1) + bit;
        } else {
            r >>= 1;
        }
    }
    // v now holds the remainder n - r²; round up when n > r² + r.
    return v > r ? r + 1 : r;
}

namespace {

uint64_t squared(int32_t dx, int32_t dy) {
    const int64_t x = dx, y = dy;
    return static_cast<uint64_t>(x * x + y * y);
}

int32_t clampOffset(int64_t v) {
    return v > kMaxOffset ? kMaxOffset : v < -kMaxOffset ? -kMaxOffset : static_cast<int32_t>(v);
}

// Shown figures only: the verdict never goes through floating point.
uint32_t percentOf(uint32_t milli, uint32_t diagonalMilli) {
    return diagonalMilli ? static_cast<uint32_t>(milli * 10000.0 / diagonalMilli + 0.5) : 0;
}

size_t putDigits(uint32_t v, wchar_t* out, size_t capacity) {
    wchar_t tmp[24];
    size_t n = 0;
    do {
        tmp[n++] = static_cast<wchar_t>(L'0' + v % 10);
        v /= 10;
    } while (v);
    size_t len = 0;
    while (n && len + 1 < capacity) out[len++] = tmp[--n];
    out[len] = L'\0';
    return len;
}

void formatFixed(uint32_t units, int decimals, wchar_t* out, size_t capacity) {
    const uint32_t scale = decimals == 1 ? 10 : 100;
    size_t len = putDigits(units / scale, out, capacity);
    if (len + 2 + static_cast<size_t>(decimals) > capacity) return;
    out[len++] = L'.';
    const uint32_t frac = units % scale;
    if (decimals == 2) out[len++] = static_cast<wchar_t>(L'0' + frac / 10);
    out[len++] = static_cast<wchar_t>(L'0' + frac % 10);
    out[len] = L'\0';
}

}  // namespace

Point targetOf(const Monitor& m, int index) {
    // Sizes are at most 65535, so 32 bits hold the product.
    const int32_t ix = m.width * kInsetPercent / 100, iy = m.height * kInsetPercent / 100;
    const int32_t left = m.left + ix, right = m.left + m.width - 1 - ix;
    const int32_t top = m.top + iy, bottom = m.top + m.height - 1 - iy;
    switch (index) {
        case 0:
            return {left, top};
        case 1:
            return {right, top};
        case 2:
            return {right, bottom};
        case 3:
            return {left, bottom};
        default:
            return {m.left + m.width / 2, m.top + m.height / 2};
    }
}

Offset offsetOf(Point target, Point touch) {
    return {clampOffset(static_cast<int64_t>(touch.x) - target.x),
            clampOffset(static_cast<int64_t>(touch.y) - target.y)};
}

Summary summarize(const Offset (&offsets)[kTargetCount], const Monitor& m, uint32_t toleranceHundredths) {
    Summary s;
    const uint64_t diagonal2 = squared(m.width, m.height);
    s.diagonalMilliPx = static_cast<uint32_t>(roundedSqrt(diagonal2 * 1000000));
    const uint64_t tolerance2 = uint64_t{toleranceHundredths} * toleranceHundredths;
    uint64_t worst2 = 0;
    uint32_t sumMilli = 0;  // five distances of at most 46.4 million each
    s.pass = true;
    for (int i = 0; i < kTargetCount; ++i) {
        const Offset o{clampOffset(offsets[i].dx), clampOffset(offsets[i].dy)};
        const uint64_t e2 = squared(o.dx, o.dy);
        sumMilli += static_cast<uint32_t>(roundedSqrt(e2 * 1000000));
        if (e2 > worst2) {
            worst2 = e2;
            s.worst = i;
        }
        // distance / diagonal <= tolerance / 10000, squared and cross-multiplied.
        if (e2 * 100000000 > tolerance2 * diagonal2) s.pass = false;
    }
    s.maxMilliPx = static_cast<uint32_t>(roundedSqrt(worst2 * 1000000));
    s.meanMilliPx = (sumMilli + kTargetCount / 2) / kTargetCount;
    s.maxHundredths = percentOf(s.maxMilliPx, s.diagonalMilliPx);
    s.meanHundredths = percentOf(s.meanMilliPx, s.diagonalMilliPx);
    return s;
}

uint32_t toleranceMilliPx(const Monitor& m, uint32_t toleranceHundredths) {
    const auto diagonal = static_cast<uint32_t>(roundedSqrt(squared(m.width, m.height) * 1000000));
    return static_cast<uint32_t>(static_cast<double>(diagonal) * toleranceHundredths / 10000.0 + 0.5);
}

// ---------------------------------------------------------------- the record

void encodeRecord(const Record& r, uint8_t (&out)[kRecordSize]) {
    uint8_t* p = out;
    put32(p, kRecordVersion), p += 4;
    for (uint16_t v : {r.time.year, r.time.month, r.time.day, r.time.hour, r.time.minute, r.time.second})
        put16(p, v), p += 2;
    put32(p, r.screen), p += 4;
    for (int32_t v : {r.monitor.left, r.monitor.top, r.monitor.width, r.monitor.height})
        put32(p, static_cast<uint32_t>(v)), p += 4;
    put32(p, r.tolerance), p += 4;
    for (const Offset& o : r.offsets) {
        put32(p, static_cast<uint32_t>(o.dx)), p += 4;
        put32(p, static_cast<uint32_t>(o.dy)), p += 4;
    }
    put32(p, r.pass ? 1 : 0);
}

bool decodeRecord(const uint8_t* in, size_t size, Record* out) {
    if (size != kRecordSize || get32(in) != kRecordVersion) return false;
    Record r;
    const uint8_t* p = in + 4;
    for (uint16_t* v : {&r.time.year, &r.time.month, &r.time.day, &r.time.hour, &r.time.minute, &r.time.second})
        *v = get16(p), p += 2;
    r.screen = get32(p), p += 4;
    for (int32_t* v : {&r.monitor.left, &r.monitor.top, &r.monitor.width, &r.monitor.height})
        *v = static_cast<int32_t>(get32(p)), p += 4;
    r.tolerance = get32(p), p += 4;
    for (Offset& o : r.offsets) {
        o.dx = static_cast<int32_t>(get32(p)), p += 4;
        o.dy = static_cast<int32_t>(get32(p)), p += 4;
        if (o.dx < -kMaxOffset || o.dx > kMaxOffset || o.dy < -kMaxOffset || o.dy > kMaxOffset) return false;
    }
    const uint32_t verdict = get32(p);
    if (r.screen > 9 || r.monitor.width <= 0 || r.monitor.height <= 0 || r.monitor.width > 0xFFFF ||
        r.monitor.height > 0xFFFF || r.tolerance == 0 || r.tolerance > kMaxTolerance || verdict > 1)
        return false;
    r.pass = verdict == 1;
    if (summarize(r.offsets, r.monitor, r.tolerance).pass != r.pass) return false;
    *out = r;
    return true;
}

bool saveRecord(RegistryPort& reg, const Record& r) {
    RegKey raw = 0;
    if (reg.create(RegRoot::CurrentUser, kRecordKey, kKeyReadWrite, &raw) != kErrorSuccess || !raw) return false;
    ScopedKey key(reg, raw);
    uint8_t bytes[kRecordSize];
    encodeRecord(r, bytes);
    return reg.set(key.get(), kRecordValue, kRegBinary, bytes, kRecordSize) == kErrorSuccess;
}

LoadResult loadRecord(RegistryPort& reg, Record* r) {
    RegKey raw = 0;
    if (reg.open(RegRoot::CurrentUser, kRecordKey, kKeyRead, &raw) != kErrorSuccess || !raw) return LoadResult::None;
    ScopedKey key(reg, raw);
    uint8_t bytes[kRecordSize] = {};
    uint32_t type = 0, size = kRecordSize;
    const long rc = reg.query(key.get(), kRecordValue, &type, bytes, &size);
    if (rc == kErrorFileNotFound) return LoadResult::None;
    if (rc != kErrorSuccess || type != kRegBinary || !decodeRecord(bytes, size, r)) return LoadResult::Unreadable;
    return LoadResult::Loaded;
}

void formatTenths(uint32_t thousandths, wchar_t* out, size_t capacity) {
    formatFixed(thousandths / 100 + (thousandths % 100 >= 50 ? 1 : 0), 1, out, capacity);
}

void formatHundredths(uint32_t hundredths, wchar_t* out, size_t capacity) { formatFixed(hundredths, 2, out, capacity); }

void formatSigned(int32_t value, wchar_t* out, size_t capacity) {
    if (capacity < 2) return;
    out[0] = value > 0 ? L'+' : L'-';
    if (value == 0) {
        putDigits(0, out, capacity);
        return;
    }
    putDigits(value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value), out + 1, capacity - 1);
}

}  // namespace tp::check
