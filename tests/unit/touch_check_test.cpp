#include "touch_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_registry.h"

namespace tp::check {
namespace {

using test::FakeRegistry;

const Monitor kPrimary{0, 0, 1024, 768};  // diagonal 1280 px: 1 % is 12.8 px
const Monitor kLeftOfPrimary{-1280, 0, 1280, 1024};

TEST(TouchCheckTargets, CornersStandATenthOfTheMonitorInAndTheLastTargetIsTheCentre) {
    struct Case {
        Monitor m;
        Point want[kTargetCount];
    } cases[] = {
        {kPrimary, {{102, 76}, {921, 76}, {921, 691}, {102, 691}, {512, 384}}},
        {kLeftOfPrimary, {{-1152, 102}, {-129, 102}, {-129, 921}, {-1152, 921}, {-640, 512}}},
        {{1024, -600, 800, 600}, {{1104, -540}, {1743, -540}, {1743, -61}, {1104, -61}, {1424, -300}}},
    };
    for (const Case& c : cases)
        for (int i = 0; i < kTargetCount; ++i) {
            const Point t = targetOf(c.m, i);
            EXPECT_EQ(t.x, c.want[i].x) << "monitor at " << c.m.left << " target " << i;
            EXPECT_EQ(t.y, c.want[i].y) << "monitor at " << c.m.left << " target " << i;
        }
}

TEST(TouchCheckOffsets, AreTouchMinusTargetAndClampedSoNoArithmeticOverflows) {
    EXPECT_EQ(offsetOf({-129, 102}, {-123, 98}).dx, 6);
    EXPECT_EQ(offsetOf({-129, 102}, {-123, 98}).dy, -4);
    const Offset far = offsetOf({-2147483647, 2147483647}, {2147483647, -2147483647});
    EXPECT_EQ(far.dx, kMaxOffset);
    EXPECT_EQ(far.dy, -kMaxOffset);
}

Offset (&all(Offset o))[kTargetCount] {
    static Offset offsets[kTargetCount];
    for (Offset& x : offsets) x = o;
    return offsets;
}

TEST(TouchCheckSummary, ReportsLargestAndMeanErrorInPixelsAndPerCentOfTheDiagonalWithTheVerdict) {
    struct Case {
        const char* what;
        Offset offsets[kTargetCount];
        Monitor m;
        uint32_t tolerance;
        uint32_t maxMilli, meanMilli, maxHundredths, meanHundredths;
        int worst;
        bool pass;
    } cases[] = {
        {"every touch +6, -4",
         {{6, -4}, {6, -4}, {6, -4}, {6, -4}, {6, -4}},
         kPrimary,
         100,
         7211,
         7211,
         56,
         56,
         0,
         true},
        {"no error", {}, kPrimary, 100, 0, 0, 0, 0, 0, true},
        {"12 px passes 1 % of 1280",
         {{0, 0}, {12, 0}, {0, 0}, {0, 0}, {0, 0}},
         kPrimary,
         100,
         12000,
         2400,
         94,
         19,
         1,
         true},
        {"13 px fails it", {{0, 0}, {0, 0}, {0, 0}, {0, -13}, {0, 0}}, kPrimary, 100, 13000, 2600, 102, 20, 3, false},
        {"exactly on 10 % passes",
         {{0, 0}, {0, 0}, {0, 128}, {0, 0}, {0, 0}},
         kPrimary,
         1000,
         128000,
         25600,
         1000,
         200,
         2,
         true},
        {"a hair beyond 10 % fails",
         {{0, 0}, {0, 0}, {1, 128}, {0, 0}, {0, 0}},
         kPrimary,
         1000,
         128004,
         25601,
         1000,
         200,
         2,
         false},
        {"a wider tolerance accepts 13 px",
         {{0, 0}, {0, 0}, {0, 0}, {0, -13}, {0, 0}},
         kPrimary,
         150,
         13000,
         2600,
         102,
         20,
         3,
         true},
        {"first of equal errors is the worst",
         {{3, 4}, {-4, 3}, {0, 5}, {5, 0}, {0, 0}},
         kLeftOfPrimary,
         100,
         5000,
         4000,
         31,
         24,
         0,
         true},
    };
    for (const Case& c : cases) {
        const Summary s = summarize(c.offsets, c.m, c.tolerance);
        EXPECT_EQ(s.maxMilliPx, c.maxMilli) << c.what;
        EXPECT_EQ(s.meanMilliPx, c.meanMilli) << c.what;
        EXPECT_EQ(s.maxHundredths, c.maxHundredths) << c.what;
        EXPECT_EQ(s.meanHundredths, c.meanHundredths) << c.what;
        EXPECT_EQ(s.worst, c.worst) << c.what;
        EXPECT_EQ(s.pass, c.pass) << c.what;
    }
    EXPECT_EQ(toleranceMilliPx(kPrimary, 100), 12800u);
    EXPECT_EQ(toleranceMilliPx(kLeftOfPrimary, 100), 16392u);  // diagonal 1639.20 px
}

TEST(TouchCheckSummary, OffsetsAtTheClampOnTheLargestMonitorStillCompareExactly) {
    const Monitor huge{0, 0, 65535, 65535};
    const Summary s = summarize(all({kMaxOffset, -kMaxOffset}), huge, kMaxTolerance);
    EXPECT_TRUE(s.pass);  // half the diagonal is within 100 %
    EXPECT_EQ(s.maxHundredths, 5000u);
    EXPECT_FALSE(summarize(all({kMaxOffset, -kMaxOffset}), huge, 4999).pass);
}

Record sampleRecord() {
    Record r;
    r.time = {2026, 12, 8, 23, 40, 12};
    r.screen = 2;
    r.monitor = kLeftOfPrimary;
    r.tolerance = 150;
    const Offset offsets[kTargetCount] = {{6, -4}, {-3, 2}, {0, 0}, {12, -1}, {-7, -7}};
    for (int i = 0; i < kTargetCount; ++i) r.offsets[i] = offsets[i];
    r.pass = summarize(r.offsets, r.monitor, r.tolerance).pass;
    return r;
}

TEST(TouchCheckRecord, IsStoredBesideTheUserKeyWithoutCreatingItAndReadsBackWhole) {
    FakeRegistry reg;
    const Record r = sampleRecord();
    ASSERT_TRUE(saveRecord(reg, r));
    EXPECT_FALSE(reg.hasKey("HKCU\\Software\\Korvane Component\\USB"));
    const auto stored = reg.value("HKCU\\Software\\Korvane Component\\Taptest", "LastCheck");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, kRegBinary);
    ASSERT_EQ(stored->data.size(), kRecordSize);
    EXPECT_EQ(stored->data[0], 1);  // version
    EXPECT_EQ(stored->data[4] | stored->data[5] << 8, 2026);
    EXPECT_EQ(stored->data[20], 0x00);  // left -1280, little-endian
    EXPECT_EQ(stored->data[21], 0xFB);
    EXPECT_EQ(stored->data[23], 0xFF);

    Record back;
    ASSERT_EQ(loadRecord(reg, &back), LoadResult::Loaded);
    EXPECT_EQ(back.time.minute, 40);
    EXPECT_EQ(back.screen, 2u);
    EXPECT_EQ(back.monitor.left, -1280);
    EXPECT_EQ(back.monitor.height, 1024);
    EXPECT_EQ(back.tolerance, 150u);
    EXPECT_EQ(back.offsets[3].dx, 12);
    EXPECT_EQ(back.offsets[4].dy, -7);
    EXPECT_EQ(back.pass, r.pass);
    EXPECT_EQ(reg.openHandles(), 0);
}

TEST(TouchCheckRecord, RefusesAnythingButAWholeConsistentRecord) {
    uint8_t good[kRecordSize];
    encodeRecord(sampleRecord(), good);
    struct Case {
        const char* what;
        size_t offset;  // byte to change, or kRecordSize for none
        uint8_t value;
        size_t size;
    } cases[] = {
        {"short", kRecordSize, 0, kRecordSize - 1},
        {"another version", 0, 2, kRecordSize},
        {"a screen beyond nine", 16, 10, kRecordSize},
        {"no width", 28, 0, kRecordSize},
        {"no tolerance", 36, 0, kRecordSize},
        {"an offset beyond the clamp", 43, 0x7F, kRecordSize},
        {"a verdict the offsets contradict", 80, 0, kRecordSize},
        {"a verdict that is no verdict", 80, 7, kRecordSize},
    };
    Record r;
    EXPECT_TRUE(decodeRecord(good, kRecordSize, &r));
    for (const Case& c : cases) {
        uint8_t bytes[kRecordSize + 1];
        std::memcpy(bytes, good, kRecordSize);
        if (c.offset < kRecordSize) {
            if (c.offset == 28) bytes[29] = 0;  // width 1280 is 0x0500
            bytes[c.offset] = c.value;
        }
        EXPECT_FALSE(decodeRecord(bytes, c.size, &r)) << c.what;
    }
}

TEST(TouchCheckRecord, LoadTellsAMissingRecordFromAnUnreadableOne) {
    FakeRegistry reg;
    Record r;
    EXPECT_EQ(loadRecord(reg, &r), LoadResult::None);
    reg.addKey("HKCU\\Software\\Korvane Component\\Taptest");
    EXPECT_EQ(loadRecord(reg, &r), LoadResult::None);
    reg.setDword("HKCU\\Software\\Korvane Component\\Taptest", "LastCheck", 1);
    EXPECT_EQ(loadRecord(reg, &r), LoadResult::Unreadable);
    reg.setRaw("HKCU\\Software\\Korvane Component\\Taptest", "LastCheck", kRegBinary,
               std::vector<uint8_t>(kRecordSize + 4, 0));
    EXPECT_EQ(loadRecord(reg, &r), LoadResult::Unreadable);
    EXPECT_EQ(reg.openHandles(), 0);
}

TEST(TouchCheckText, NumbersAreRoundedToTheShownDecimalsAndOffsetsCarryTheirSign) {
    struct Case {
        void (*format)(uint32_t, wchar_t*, size_t);
        uint32_t value;
        const wchar_t* want;
    } cases[] = {
        {formatTenths, 7211, L"7.2"},       {formatTenths, 7250, L"7.3"},    {formatTenths, 0, L"0.0"},
        {formatTenths, 128004, L"128.0"},   {formatHundredths, 56, L"0.56"}, {formatHundredths, 100, L"1.00"},
        {formatHundredths, 1005, L"10.05"},
    };
    for (const Case& c : cases) {
        wchar_t out[16];
        c.format(c.value, out, 16);
        EXPECT_EQ(std::wstring(out), c.want) << c.value;
    }
    wchar_t out[16];
    for (auto [v, want] : {std::pair{6, L"+6"}, {-4, L"-4"}, {0, L"0"}, {-32767, L"-32767"}}) {
        formatSigned(v, out, 16);
        EXPECT_EQ(std::wstring(out), want);
    }
}

}  // namespace
}  // namespace tp::check
