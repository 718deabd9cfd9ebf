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

std::wstring decimalText(int64_t value) {
    wchar_t digits[24];
    wchar_t* p = digits + 24;
    // The magnitude as unsigned, so that the most negative value does not overflow.
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) *--p = L'-';
    return std::wstring(p, digits + 24);
}

std::wstring hexText(uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::wstring text = L"0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += static_cast<wchar_t>(digits[(value >> shift) & 0xF]);
    return text;
}

bool appendText(char* out, size_t capacity, const char* src) {
    const size_t have = std::strlen(out);
    const size_t add = std::strlen(src);
    if (have + add + 1 > capacity) return false;
    std::memcpy(out + have, src, add + 1);
    return true;
}

}  // namespace tp
