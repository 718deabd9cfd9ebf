// Small text helpers that keep the programs free of the C runtime's printf.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tp {

// Writes value in decimal ("-12") and a terminator into out. Returns the
// length, or 0 with out empty when capacity is too small.
size_t formatDecimal(long value, char* out, size_t capacity);

// "-12"; "0x0000001A". For shown text, without swprintf's 35 KB.
std::wstring decimalText(int64_t value);
std::wstring hexText(uint32_t value);

// Appends src to the terminated string in out; false (out unchanged) when
// the result would not fit in capacity bytes.
bool appendText(char* out, size_t capacity, const char* src);

}  // namespace tp
