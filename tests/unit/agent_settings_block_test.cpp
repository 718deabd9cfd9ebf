#include <gtest/gtest.h>

#include <vector>

#include "agent_settings_block.h"
#include "bytes.h"

namespace tp {
namespace {

std::vector<uint8_t> sampleBytes(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    return bytes;
}

TEST(AgentSettingsBlock, FieldsAreLittleEndianAtTheirOffsets) {
    const auto bytes = sampleBytes(236);
    AgentSettingsBlock b;
    ASSERT_TRUE(decodeAgentSettingsBlock(bytes.data(), bytes.size(), &b));
    EXPECT_EQ(b.freq, get32(&bytes[4]));
    EXPECT_EQ(b.duration, get32(&bytes[8]));
    EXPECT_EQ(b.option, get32(&bytes[12]));
    EXPECT_EQ(b.disableMode, get32(&bytes[16]));
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(b.monitorFreq[i], get32(&bytes[20 + 4 * i]));
        EXPECT_EQ(b.monitorDuration[i], get32(&bytes[56 + 4 * i]));
        EXPECT_EQ(b.monitorOption[i], get32(&bytes[92 + 4 * i]));
        EXPECT_EQ(b.resolution[i], get32(&bytes[128 + 4 * i]));
        EXPECT_EQ(b.originX[i], get32(&bytes[164 + 4 * i]));
        EXPECT_EQ(b.originY[i], get32(&bytes[200 + 4 * i]));
    }
    // Byte order spelled out once: 0x0C0D0E0F at offset 12 would be bytes 0F 0E 0D 0C.
    std::vector<uint8_t> one(236, 0);
    one[12] = 0xA4, one[13] = 0x00, one[14] = 0x08, one[15] = 0x1A;
    ASSERT_TRUE(decodeAgentSettingsBlock(one.data(), one.size(), &b));
    EXPECT_EQ(b.option, 0x1A0800A4u);
}

TEST(AgentSettingsBlock, EncodeAndDecodeAgreeAndTheReservedWordIsZero) {
    AgentSettingsBlock in;
    in.freq = 1000, in.duration = 50, in.option = 0x12345678, in.disableMode = 1;
    for (int i = 0; i < 9; ++i) {
        in.monitorFreq[i] = 100 + i, in.monitorDuration[i] = 200 + i, in.monitorOption[i] = 300 + i;
        in.resolution[i] = 400 + i, in.originX[i] = 500 + i, in.originY[i] = 600 + i;
    }
    uint8_t bytes[236];
    std::fill(std::begin(bytes), std::end(bytes), 0xCC);
    encodeAgentSettingsBlock(in, bytes);
    EXPECT_EQ(get32(bytes), 0u);
    AgentSettingsBlock out;
    ASSERT_TRUE(decodeAgentSettingsBlock(bytes, sizeof bytes, &out));
    EXPECT_EQ(out.option, in.option);
    EXPECT_EQ(out.monitorOption[8], 308u);
    EXPECT_EQ(out.originY[8], 608u);
    EXPECT_EQ(out.originY[0], 600u);
}

TEST(AgentSettingsBlock, ShortOrMissingDataIsRefusedAndLeavesTheOutputAlone) {
    const auto bytes = sampleBytes(300);
    AgentSettingsBlock b;
    b.option = 0xDEAD;
    EXPECT_FALSE(decodeAgentSettingsBlock(bytes.data(), 235, &b));
    EXPECT_FALSE(decodeAgentSettingsBlock(bytes.data(), 0, &b));
    EXPECT_FALSE(decodeAgentSettingsBlock(nullptr, 236, &b));
    EXPECT_EQ(b.option, 0xDEADu);
    // Longer payloads carry the block in their first 236 bytes.
    EXPECT_TRUE(decodeAgentSettingsBlock(bytes.data(), 300, &b));
    EXPECT_EQ(b.option, get32(&bytes[12]));
}

}  // namespace
}  // namespace tp
