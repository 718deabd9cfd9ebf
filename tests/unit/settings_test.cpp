#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "settings.h"
#include "text.h"

namespace tp {
namespace {

std::vector<std::string> namesIn(ValueOrder order) {
    UserValues v;
    std::vector<std::string> names;
    forEachUserValue(v, order, [&](const ValueName& n, uint32_t&) { names.push_back(n.c_str()); });
    return names;
}

std::vector<std::string> perMonitor(const char* prefix) {
    std::vector<std::string> out;
    for (int i = 1; i <= 9; ++i) out.push_back(prefix + std::to_string(i));
    return out;
}

std::vector<std::string> withPerMonitorTail(std::vector<std::string> head) {
    for (const char* p : {"Option", "Freq", "Duration", "StdFreq", "StdDuration"})
        for (auto& n : perMonitor(p)) head.push_back(n);
    return head;
}

TEST(UserValueOrder, SeedingWritesDoubleClickAreaBeforeStandards) {
    EXPECT_EQ(namesIn(ValueOrder::Seeding),
              withPerMonitorTail({"Option", "Freq", "Duration", "DHeight", "DWidth", "StdFreq", "StdDuration"}));
}

TEST(UserValueOrder, ConsoleSavesStandardsBeforeDoubleClickArea) {
    const auto names = namesIn(ValueOrder::ConsoleSave);
    EXPECT_EQ(names.size(), static_cast<size_t>(kUserValueCount));
    EXPECT_EQ(names, withPerMonitorTail({"Option", "Freq", "Duration", "StdFreq", "StdDuration", "DHeight", "DWidth"}));
}

TEST(UserValueOrder, EachNameReachesItsOwnField) {
    UserValues v;
    uint32_t tag = 1;
    forEachUserValue(v, ValueOrder::Seeding, [&](const ValueName&, uint32_t& field) { field = tag++; });
    EXPECT_EQ(v.option, 1u);
    EXPECT_EQ(v.dHeight, 4u);
    EXPECT_EQ(v.stdDuration, 7u);
    EXPECT_EQ(v.monitorOption[0], 8u);
    EXPECT_EQ(v.monitorFreq[8], 25u);
    EXPECT_EQ(v.monitorStdDuration[8], 52u);
}

TEST(UserValueDefaults, MatchTheCompiledInSet) {
    const UserValues v;
    EXPECT_EQ(v.option, 0x1A0800A4u);
    EXPECT_EQ(v.freq, 1000u);
    EXPECT_EQ(v.duration, 50u);
    EXPECT_EQ(v.dHeight, 34u);
    EXPECT_EQ(v.dWidth, 34u);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(v.monitorOption[i], 0xA0u);
        EXPECT_EQ(v.monitorFreq[i], 1000u);
        EXPECT_EQ(v.monitorDuration[i], 50u);
        EXPECT_EQ(v.monitorStdFreq[i], 1000u);
        EXPECT_EQ(v.monitorStdDuration[i], 50u);
    }
    // The default word as documented: 9-point, beep at touch, sound off, same sound on all screens.
    EXPECT_TRUE(v.option & opt::kCal9);
    EXPECT_TRUE(v.option & opt::kBeepAtTouch);
    EXPECT_FALSE(v.option & opt::kSoundOn);
    EXPECT_TRUE(v.option & opt::kSameSoundAllMonitors);
    EXPECT_TRUE(v.option & opt::kOfferOperateMode);
}

TEST(Encodings, OriginsAreSignAndMagnitude) {
    EXPECT_EQ(encodeOrigin(-1280), 0x10000500u);
    EXPECT_EQ(encodeOrigin(1280), 0x00000500u);
    EXPECT_EQ(encodeOrigin(0), 0u);
    EXPECT_EQ(decodeOrigin(0x10000500), -1280);
    EXPECT_EQ(decodeOrigin(0x00000500), 1280);
    for (int32_t x : {-65535, -1, 1, 1920, 32767}) EXPECT_EQ(decodeOrigin(encodeOrigin(x)), x);
}

TEST(Encodings, ResolutionPacksWidthHighHeightLow) {
    EXPECT_EQ(packResolution(1024, 768), 0x04000300u);
    EXPECT_EQ(resolutionWidth(0x07800438), 1920u);
    EXPECT_EQ(resolutionHeight(0x07800438), 1080u);
}

TEST(MonitorCount, CountsLeadingNonZeroResolutions) {
    uint32_t res[9] = {0x04000300, 0x04000300, 0, 0x04000300, 0x04000300, 0, 0, 0, 0};
    EXPECT_EQ(monitorCount(res), 2);
    uint32_t none[9] = {0, 0x04000300};
    EXPECT_EQ(monitorCount(none), 0);
    uint32_t all[9];
    for (auto& r : all) r = 1;
    EXPECT_EQ(monitorCount(all), 9);
}

TEST(MonitorLayoutBlock, EncodesTwentyNineWordsAtTheirOffsets) {
    MonitorLayoutBlock b;
    for (int i = 0; i < 9; ++i) {
        b.resolution[i] = 0x100 + i;
        b.originX[i] = 0x200 + i;
        b.originY[i] = 0x300 + i;
    }
    b.nComm = 3;
    b.disableMode = 1;
    b.clearFrom(2);
    uint8_t bytes[kMonitorLayoutBlockSize];
    b.encode(bytes);
    EXPECT_EQ(get32(bytes + 4), 0x101u);
    EXPECT_EQ(get32(bytes + 8), 0u) << "entries past the monitor count are zero";
    EXPECT_EQ(get32(bytes + 36), 0x200u);
    EXPECT_EQ(get32(bytes + 72 + 4), 0x301u);
    EXPECT_EQ(get32(bytes + 72 + 8), 0u);
    EXPECT_EQ(get32(bytes + 108), 3u);
    EXPECT_EQ(get32(bytes + 112), 1u);
    const MonitorLayoutBlock back = MonitorLayoutBlock::decode(bytes);
    EXPECT_EQ(back.originY[1], 0x301u);
    EXPECT_EQ(back.disableMode, 1u);
}

TEST(ValueNames, CarryNumbersWithoutLeadingZeros) {
    EXPECT_STREQ(numberedName("Freq", 3).c_str(), "Freq3");
    EXPECT_STREQ(numberedName("9Cal", 0).c_str(), "9Cal0");
    EXPECT_STREQ(numberedName("20Cal", 10).c_str(), "20Cal10");
    EXPECT_STREQ(numberedName("12Cal", -3).c_str(), "12Cal-3");
}

TEST(Text, FormatDecimalHandlesExtremesAndShortBuffers) {
    char buf[24];
    formatDecimal(LONG_MIN, buf, sizeof buf);
    EXPECT_EQ(std::string(buf), std::to_string(LONG_MIN));
    char small[3] = {'x', 'x', 'x'};
    EXPECT_EQ(formatDecimal(123, small, sizeof small), 0u);
    EXPECT_EQ(small[0], '\0');
    EXPECT_EQ(formatDecimal(12, small, sizeof small), 2u);
    EXPECT_STREQ(small, "12");
}

TEST(Text, AppendRefusesToOverflow) {
    char buf[8] = "abc";
    EXPECT_TRUE(appendText(buf, sizeof buf, "defg"));
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_FALSE(appendText(buf, sizeof buf, "h"));
    EXPECT_STREQ(buf, "abcdefg");
}

}  // namespace
}  // namespace tp
