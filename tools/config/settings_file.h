// The settings file: "Name=Value" lines with ";" comments holding the 52
// user values the console saves, and the checks every value passes before
// anything is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings.h"

namespace tp::cfg {

inline constexpr int kSoundKinds = 6;
// Files larger than this are refused unread.
inline constexpr size_t kMaxFileBytes = 64 * 1024;

// The 52 values in the console's save order; a value's index is its place there.
const std::vector<ValueName>& valueNames();
// Case-insensitive, as the registry compares names; -1 when unknown.
int valueIndex(const std::string& name);
uint32_t& valueField(UserValues& v, int index);
uint32_t valueOf(const UserValues& v, int index);

enum class ValueKind { Option, MonitorOption, Freq, Duration, Area };
ValueKind valueKind(int index);
// The monitor number 1-9 of a per-monitor value, 0 for a global one.
int valueMonitor(int index);

// Why a line or value was refused: a string id and its arguments.
struct Problem {
    int messageId = 0;
    std::vector<std::wstring> args;
};

// Empty when the console could store value under this name.
Problem checkValue(int index, uint32_t value);

struct Assignment {
    int index;
    uint32_t value;
};

struct LineProblem {
    int line;  // 1-based; for command-line arguments, the argument's number
    Problem problem;
};

struct CheckedSettings {
    std::vector<Assignment> values;  // in the order given
    std::vector<LineProblem> problems;
    bool ok() const { return problems.empty(); }
};

// Checks every line of a file's bytes (ASCII, UTF-8 with or without its
// mark, or UTF-16LE with its mark) and collects every problem.
CheckedSettings checkSettingsFile(const std::string& bytes);
// The same checks for "Name=Value" arguments, one per line.
CheckedSettings checkSettingsArguments(const std::vector<std::wstring>& arguments);

// Every value in a form checkSettingsFile reads back: options in 0x
// hexadecimal, the rest in decimal, CR LF line ends. remarks[i], when given
// and not empty, follows value i's line as a comment (UTF-8).
std::string exportSettings(const UserValues& v, const char* version, const std::vector<std::string>& remarks = {});

// Input quoted in a message, cut after maxChars: a line or an argument may be
// 64 KB long, and XP to 7 refuse a WriteConsoleW of more than 64 KB, losing
// the message.
inline constexpr size_t kMaxQuotedChars = 40;
inline constexpr size_t kMaxQuotedPathChars = 260;
std::wstring quoted(const std::wstring& text, size_t maxChars = kMaxQuotedChars);

// Writes the value as a file line: "Option=0x1A0800A4", "Freq=1000".
std::string formatAssignment(int index, uint32_t value);

std::wstring widen(const std::string& ascii);

}  // namespace tp::cfg
