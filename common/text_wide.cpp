// The wide texts apart from the rest of text.cpp: they pull in std::wstring,
// which the programs that only need the narrow helpers do without.
#include "text.h"

namespace tp {

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

}  // namespace tp
