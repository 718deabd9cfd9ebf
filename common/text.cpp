#include "text.h"

#include <cstring>

namespace tp {

size_t formatDecimal(long value, char* out, size_t capacity) {
    char digits[24];
    size_t n = 0;
    // Work on the magnitude as unsigned so LONG_MIN does not overflow.
    unsigned long magnitude = value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) digits[n++] = '-';
    if (capacity == 0) return 0;
    if (n + 1 > capacity) {
        out[0] = '\0';
        return 0;
    }
    for (size_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    out[n] = '\0';
    return n;
}

bool appendText(char* out, size_t capacity, const char* src) {
    const size_t have = std::strlen(out);
    const size_t add = std::strlen(src);
    if (have + add + 1 > capacity) return false;
    std::memcpy(out + have, src, add + 1);
    return true;
}

}  // namespace tp
