#include "bitmap.h"

namespace tp::console {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
// GDI takes biClrUsed entries (at most this many) at any depth.
constexpr uint32_t kMaxColourEntries = 256;

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

bool parseBitmapFile(const uint8_t* file, size_t size, DibImage& image) {
    if (file == nullptr || size < kFileHeaderSize + kInfoHeaderSize) return false;
    if (file[0] != 'B' || file[1] != 'M') return false;
    const uint64_t fileSize = u32(file + 2);
    const uint64_t offBits = u32(file + 10);
    if (fileSize > size || offBits < kFileHeaderSize + kInfoHeaderSize || offBits > fileSize) return false;

    const uint8_t* info = file + kFileHeaderSize;
    const int32_t width = static_cast<int32_t>(u32(info + 4));
    const int32_t height = static_cast<int32_t>(u32(info + 8));
    const uint16_t planes = u16(info + 12);
    const uint16_t bits = u16(info + 14);
    const uint32_t compression = u32(info + 16);
    const uint32_t coloursUsed = u32(info + 32);
    if (u32(info) != kInfoHeaderSize || planes != 1) return false;
    if (width <= 0 || width > kMaxBitmapSide || height == 0 || height < -kMaxBitmapSide || height > kMaxBitmapSide)
        return false;

    uint64_t tableSize = 0;
    switch (bits) {
        case 1:
        case 4:
        case 8:
            if (compression != kBiRgb) return false;
            tableSize = 4ull << bits;
            break;
        case 16:
        case 32:
            if (compression == kBiBitfields)
                tableSize = 12;  // red, green and blue masks
            else if (compression != kBiRgb)
                return false;
            break;
        case 24:
            if (compression != kBiRgb) return false;
            break;
        default:
            return false;
    }
    // The table GDI reads is the larger of what the depth needs and biClrUsed.
    if (coloursUsed > kMaxColourEntries) return false;
    const uint64_t masks = compression == kBiBitfields ? 12 : 0;
    if (masks + 4ull * coloursUsed > tableSize) tableSize = masks + 4ull * coloursUsed;
    const uint64_t infoSize = kInfoHeaderSize + tableSize;
    if (kFileHeaderSize + infoSize > fileSize) return false;

    // Rows are padded to whole 32-bit words; the sides are bounded, so none of this overflows.
    const uint64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
    const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
    const uint64_t pixelBytes = stride * rows;
    if (pixelBytes > fileSize - offBits) return false;

    image.info = info;
    image.infoSize = static_cast<size_t>(infoSize);
    image.bits = file + offBits;
    image.bitsSize = static_cast<size_t>(pixelBytes);
    image.width = width;
    image.height = static_cast<int32_t>(rows);
    return true;
}

}  // namespace tp::console
