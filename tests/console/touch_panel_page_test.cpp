#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "bitmap.h"
#include "console_rig.h"

namespace tp::console::test {
namespace {

// Offsets of the fields the broken cases change.
enum : size_t {
    kBfSize = 2,
    kBfOffBits = 10,
    kBiSize = 14,
    kBiWidth = 18,
    kBiHeight = 22,
    kBiPlanes = 26,
    kBiBitCount = 28,
    kBiCompression = 30,
    kBiClrUsed = 46
};

void put16(std::vector<uint8_t>& f, size_t at, uint16_t v) {
    f[at] = static_cast<uint8_t>(v);
    f[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// What GDI reads after the 40-byte header: the masks of a bit-field picture,
// then biClrUsed entries, or 2^bits when that is 0 at 8 bits or fewer.
size_t gdiTableBytes(int bits, uint32_t compression, uint32_t clrUsed) {
    const size_t masks = compression == 3 ? 12 : 0;
    const size_t entries = clrUsed != 0 ? clrUsed : bits <= 8 ? 1u << bits : 0;
    return masks + 4 * entries;
}

// A well-formed file carries the full table of its depth and whatever more biClrUsed names.
size_t tableBytes(int bits, uint32_t compression, uint32_t clrUsed) {
    const size_t full = bits <= 8 ? 4u << bits : compression == 3 ? 12 : 0;
    const size_t named = gdiTableBytes(bits, compression, clrUsed);
    return full > named ? full : named;
}

// A well-formed file: headers, the colour table or masks, then the pixels.
std::vector<uint8_t> bmp(int bits, int32_t width, int32_t height, uint32_t compression = 0, uint32_t clrUsed = 0) {
    const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    const size_t rows = height < 0 ? -height : height;
    const size_t offBits = 54 + tableBytes(bits, compression, clrUsed);
    std::vector<uint8_t> f(offBits + stride * rows);
    for (size_t i = 54; i < f.size(); ++i) f[i] = static_cast<uint8_t>(i * 7);
    f[0] = 'B';
    f[1] = 'M';
    put32(f, kBfSize, static_cast<uint32_t>(f.size()));
    put32(f, kBfOffBits, static_cast<uint32_t>(offBits));
    put32(f, kBiSize, 40);
    put32(f, kBiWidth, static_cast<uint32_t>(width));
    put32(f, kBiHeight, static_cast<uint32_t>(height));
    put16(f, kBiPlanes, 1);
    put16(f, kBiBitCount, static_cast<uint16_t>(bits));
    put32(f, kBiCompression, compression);
    put32(f, kBiClrUsed, clrUsed);
    return f;
}

TEST(BitmapReader, AcceptsEveryDepthAndPointsAtItsTableAndPixels) {
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        size_t infoSize, bitsSize;
        int32_t width, height;
    };
    const Case cases[] = {
        {"1 bit: two colours, rows padded to a word", bmp(1, 33, 3), 40 + 8, 8 * 3, 33, 3},
        {"4 bits: sixteen colours", bmp(4, 5, 2), 40 + 64, 4 * 2, 5, 2},
        {"8 bits: 256 colours", bmp(8, 3, 4), 40 + 1024, 4 * 4, 3, 4},
        {"8 bits: 256 colours whatever biClrUsed says", bmp(8, 3, 4, 0, 2), 40 + 1024, 4 * 4, 3, 4},
        {"16 bits without a table", bmp(16, 3, 2), 40, 8 * 2, 3, 2},
        {"16 bits with three masks", bmp(16, 3, 2, 3), 52, 8 * 2, 3, 2},
        {"24 bits", bmp(24, 5, 2), 40, 16 * 2, 5, 2},
        {"32 bits", bmp(32, 2, 2), 40, 8 * 2, 2, 2},
        {"32 bits with three masks", bmp(32, 2, 2, 3), 52, 8 * 2, 2, 2},
        {"24 bits with the 256 colours biClrUsed names", bmp(24, 5, 2, 0, 256), 40 + 1024, 16 * 2, 5, 2},
        {"16-bit masks followed by biClrUsed colours", bmp(16, 3, 2, 3, 4), 52 + 16, 8 * 2, 3, 2},
        {"top-down picture: |biHeight| rows", bmp(24, 4, -6), 40, 12 * 6, 4, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DibImage image;
        ASSERT_TRUE(parseBitmapFile(c.file.data(), c.file.size(), image));
        EXPECT_EQ(image.info, c.file.data() + 14);
        EXPECT_EQ(image.infoSize, c.infoSize);
        EXPECT_EQ(image.bits, c.file.data() + 14 + c.infoSize);
        EXPECT_EQ(image.bitsSize, c.bitsSize);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
    }
}

TEST(BitmapReader, RejectsEveryFileWhoseFieldsDisagreeWithItsBytes) {
    using Edit = std::function<void(std::vector<uint8_t>&)>;
    const std::pair<const char*, Edit> cases[] = {
        {"shorter than both headers", [](auto& f) { f.resize(53); }},
        {"not BM", [](auto& f) { f[1] = 'A'; }},
        {"bfSize beyond the file", [](auto& f) { put32(f, kBfSize, static_cast<uint32_t>(f.size() + 1)); }},
        {"last pixel row cut off", [](auto& f) { f.pop_back(); }},
        {"bfSize cuts the pixels short", [](auto& f) { put32(f, kBfSize, static_cast<uint32_t>(f.size() - 4)); }},
        {"bfOffBits inside the headers", [](auto& f) { put32(f, kBfOffBits, 20); }},
        {"bfOffBits beyond the file", [](auto& f) { put32(f, kBfOffBits, 0xFFFFFFF0); }},
        {"bfOffBits leaves too few pixel bytes", [](auto& f) { put32(f, kBfOffBits, 54 + 1024 + 4); }},
        {"a V5 header (biSize 124)", [](auto& f) { put32(f, kBiSize, 124); }},
        {"zero width", [](auto& f) { put32(f, kBiWidth, 0); }},
        {"zero height", [](auto& f) { put32(f, kBiHeight, 0); }},
        {"height of INT32_MIN", [](auto& f) { put32(f, kBiHeight, 0x80000000u); }},
        {"width past the limit", [](auto& f) { put32(f, kBiWidth, kMaxBitmapSide + 1); }},
        {"two planes", [](auto& f) { put16(f, kBiPlanes, 2); }},
        {"2 bits per pixel", [](auto& f) { put16(f, kBiBitCount, 2); }},
        {"run-length compressed", [](auto& f) { put32(f, kBiCompression, 1); }},
        {"bit fields on an 8-bit picture", [](auto& f) { put32(f, kBiCompression, 3); }},
        {"colour table past bfSize",
         [](auto& f) {
             put32(f, kBfSize, 54 + 1000);
             put32(f, kBfOffBits, 54);
         }},
        {"biClrUsed above 256", [](auto& f) { put32(f, kBiClrUsed, 257); }},
        {"24 bits naming 256 colours it does not carry", [](auto& f) { f = bmp(24, 5, 2), put32(f, kBiClrUsed, 256); }},
        {"16-bit masks naming colours past bfSize", [](auto& f) { f = bmp(16, 3, 2, 3), put32(f, kBiClrUsed, 8); }},
        {"top-down with more rows than the file holds",
         [](auto& f) { put32(f, kBiHeight, static_cast<uint32_t>(-5)); }},
    };
    for (const auto& [name, edit] : cases) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> file = bmp(8, 3, 4);
        edit(file);
        DibImage image;
        EXPECT_FALSE(parseBitmapFile(file.data(), file.size(), image));
    }
}

// Random damage to valid files of every depth: whatever the reader accepts,
// and all that GDI would read for it (biClrUsed included), lies inside the
// file; reading all of it trips ASan if it does not.
TEST(BitmapReader, MutatedFilesNeverLeadOutsideTheirBytes) {
    const std::vector<std::vector<uint8_t>> seeds = {bmp(1, 9, 3),     bmp(4, 7, 2),         bmp(8, 3, -4),
                                                     bmp(16, 5, 2, 3), bmp(24, 3, 3),        bmp(32, 2, 2),
                                                     bmp(16, 2, 2),    bmp(24, 3, 3, 0, 16), bmp(4, 7, 2, 0, 3)};
    std::mt19937 rng(20261208);
    int accepted = 0;
    for (int round = 0; round < 40000; ++round) {
        std::vector<uint8_t> base = seeds[rng() % seeds.size()];
        const int edits = 1 + rng() % 4;
        for (int e = 0; e < edits; ++e) {
            switch (rng() % 5) {
                case 4:
                    put32(base, kBiClrUsed, rng() % 300);
                    break;  // a colour count GDI believes
                case 0:
                    base[rng() % 54] = static_cast<uint8_t>(rng());
                    break;  // a header byte
                case 1:
                    put32(base, 2 + 4 * (rng() % 13), rng());
                    break;  // a whole field
                case 2:
                    base.resize(rng() % (base.size() + 1));
                    break;
                default:
                    base.resize(base.size() + rng() % 64, 0x5A);
                    break;
            }
            if (base.size() < 54) base.resize(54);
        }
        // An exact-size heap copy, so that one byte too far is an ASan error.
        auto* copy = new uint8_t[base.size()];
        std::copy(base.begin(), base.end(), copy);
        DibImage image;
        if (parseBitmapFile(copy, base.size(), image)) {
            ++accepted;
            ASSERT_GE(image.info, copy);
            ASSERT_LE(image.info + image.infoSize, copy + base.size());
            const uint8_t* header = image.info;
            const size_t gdiInfo =
                40 + gdiTableBytes(header[14] | header[15] << 8, get32(header + 16), get32(header + 32));
            ASSERT_LE(gdiInfo, image.infoSize);
            ASSERT_GE(image.bits, copy);
            ASSERT_LE(image.bits + image.bitsSize, copy + base.size());
            static volatile unsigned sink;
            for (size_t i = 0; i < image.infoSize; ++i) sink = sink + image.info[i];
            for (size_t i = 0; i < image.bitsSize; ++i) sink = sink + image.bits[i];
        }
        delete[] copy;
    }
    EXPECT_GT(accepted, 100);  // the mutations also reach the drawing path
}

constexpr char kPanelBmp[] = "C:\\Program Files\\QTX\\PNL\\USBPNL\\panel.bmp";

TEST(TouchPanelPage, DrawsTheInstalledPictureOnEveryPaintAtEachLanguagesPlace) {
    struct Case {
        const char* name;
        Language language;
        std::vector<uint8_t> file;  // empty: no file
        std::vector<std::string> draws;
    };
    std::vector<uint8_t> tooLarge = bmp(24, 1, 1);
    tooLarge.resize(kMaxBitmapFileBytes + 1);
    std::vector<uint8_t> truncated = bmp(8, 40, 30);
    truncated.resize(truncated.size() / 2);
    const Case cases[] = {
        {"Japanese: below the page's top margin",
         Language::Japanese,
         bmp(8, 40, 30),
         {"5,50 40x30 info=1064 bits=1200"}},
        {"English: in the corner", Language::English, bmp(24, 4, -2), {"5,5 4x2 info=40 bits=24"}},
        {"no file: nothing drawn", Language::English, {}, {}},
        {"a truncated file: nothing drawn", Language::Japanese, truncated, {}},
        {"a file over the size cap is not read", Language::English, tooLarge, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConsoleRig rig(c.language);
        if (!c.file.empty()) rig.system.files[kPanelBmp] = c.file;
        FakeDialog dlg;
        auto page = makeTouchPanelPage(rig.console);
        page->onPaint(dlg);
        EXPECT_EQ(dlg.draws, c.draws);
        EXPECT_EQ(dlg.modifiedCount, 0);
    }
}

TEST(TouchPanelPage, AReplacedPictureShowsAtTheNextPaint) {
    ConsoleRig rig(Language::English);
    FakeDialog dlg;
    auto page = makeTouchPanelPage(rig.console);
    rig.system.files[kPanelBmp] = bmp(4, 10, 10);
    page->onPaint(dlg);
    rig.system.files[kPanelBmp] = bmp(32, 3, 3);
    page->onPaint(dlg);
    rig.system.files.erase(kPanelBmp);
    page->onPaint(dlg);
    EXPECT_EQ(dlg.draws, (std::vector<std::string>{"5,5 10x10 info=104 bits=80", "5,5 3x3 info=40 bits=36"}));
}

}  // namespace
}  // namespace tp::console::test
