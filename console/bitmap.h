// The reader of the touch panel page's picture. The file is outside input:
// every field is checked against the bytes actually there before anything
// points into them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console.h"

namespace tp::console {

// Larger files are not read at all; the page's picture is a few hundred KB.
inline constexpr size_t kMaxBitmapFileBytes = 4u << 20;
// Neither side of a picture may exceed this many pixels.
inline constexpr int32_t kMaxBitmapSide = 4096;

// Checks a whole .bmp file (BITMAPFILEHEADER, 40-byte BITMAPINFOHEADER,
// uncompressed or bit-field pixels) and on success points image into it.
// Pictures of 8 bits or fewer always carry their full colour table
// (2^bits entries); a biClrUsed above that, or at a greater depth, must be
// there too (up to 256 entries). False: nothing to draw.
bool parseBitmapFile(const uint8_t* file, size_t size, DibImage& image);

}  // namespace tp::console
