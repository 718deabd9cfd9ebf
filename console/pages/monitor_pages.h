// What the calibration and multi-monitor pages compute without a dialog:
// the texts they show and parse, the command line and the placement of the
// identification dialog. Defined in the two pages' sources.
#pragma once

#include <cstdint>
#include <string>

#include "console.h"

namespace tp::console {

// The longest text the pages read back from a field.
inline constexpr int kFieldTextMax = 259;
// Largest width or height the resolution word holds, largest origin magnitude.
inline constexpr uint32_t kMaxResolutionSide = 0xFFFF;
inline constexpr int32_t kMaxOriginMagnitude = 0x0FFFFFFF;

// Full-width digits, signs and x, the multiplication sign and the minus
// signs a Japanese IME types, as the ASCII characters they stand for.
std::wstring foldTypedText(const wchar_t* text);

// "1024x768" from 0x04000300.
std::wstring resolutionText(uint32_t resolution);
// The typed resolution: the width before the first x or X; after each x or
// X the height is written again from its first character, keeping any longer
// tail. The text is folded first (foldTypedText). Each side is read as unsigned decimal after leading blanks, up to the
// first non-digit, and limited to 65535.
uint32_t parseResolutionText(const wchar_t* text);

// The decoded signed origin in decimal.
std::wstring originText(uint32_t stored);
// After folding: leading blanks, one sign, digits up to the first
// non-digit; anything else is 0. The magnitude is limited to what the flagged-sign encoding holds.
int32_t parseOriginText(const wchar_t* text);

// The list values of the resolution box.
inline constexpr int kResolutionChoices = 8;
extern const uint32_t kResolutionList[kResolutionChoices];
// What choosing list index stores (1024x768 when nothing is chosen).
uint32_t resolutionForChoice(int index);

// The point-count bit the page shows for an Option word: 20 before 12, else 9.
uint32_t shownPointCount(uint32_t option);
// Option with exactly the chosen point-count bit of the three.
uint32_t withPointCount(uint32_t option, uint32_t countBit);

// The quoted program path, then " N" for monitor index 1…8 (N = index + 1).
std::string calibrationCommandLine(const char* programPath, int monitorIndex);
inline constexpr char kCalibrationProgramTail[] = "\\QTX\\PNL\\USBPNL\\Tapcal.exe";

// Where the identification dialog of a screen goes: centred on the screen,
// with the x band of the language moved to its left edge.
Point identifyDialogPosition(Language language, uint32_t resolution, uint32_t originX, uint32_t originY,
                             int dialogWidth, int dialogHeight);

// Result of the identification dialog that stops the run (Cancel, time-out).
inline constexpr int kIdentifyStop = 100;
inline constexpr int kIdentifyTimer = 1;
inline constexpr uint32_t kIdentifyTimeoutMs = 10000;

}  // namespace tp::console
