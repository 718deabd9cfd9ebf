// Random registry values of every type and size through the readers of
// outside data; ASan and UBSan watch for any read or write out of bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "calibration.h"
#include "fake_registry.h"
#include "portprobe.h"
#include "registry.h"

namespace tp {
namespace {

using test::FakeRegistry;

constexpr char kPath[] = "HKCU\\Software\\Korvane Component\\USB";

std::vector<uint8_t> randomBytes(std::mt19937& rng, size_t n) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng() % 4 == 0 ? 0 : rng());
    return v;
}

class RandomValues : public ::testing::Test {
protected:
    void SetUp() override {
        reg.addKey(kPath);
        ASSERT_EQ(reg.open(RegRoot::CurrentUser, key::kUser, kKeyRead, &userKey), kErrorSuccess);
    }
    void TearDown() override { reg.close(userKey); }
    void plant(const std::string& name) {
        const uint32_t types[] = {kRegSz, kRegBinary, kRegDword, 0, 7, 11};
        const size_t sizes[] = {0, 1, 3, 4, 5, 8, 109, 110, 111, 259, 260, 261, 320, 321, 600};
        reg.setRaw(kPath, name, types[rng() % 6], randomBytes(rng, sizes[rng() % 15]));
    }
    std::mt19937 rng{20261208};
    FakeRegistry reg;
    RegKey userKey = 0;
};

TEST_F(RandomValues, DwordAndStringReadersStayInBounds) {
    for (int i = 0; i < 3000; ++i) {
        plant("V");
        const auto stored = *reg.value(kPath, "V");
        uint32_t dword = 0xDEADBEEF;
        const bool gotDword = readDword(reg, userKey, "V", &dword);
        EXPECT_EQ(gotDword, stored.type == kRegDword && stored.data.size() == 4);
        if (!gotDword) {
            EXPECT_EQ(dword, 0xDEADBEEFu);
        }

        char text[260];
        const bool gotText = readString(reg, userKey, "V", text, sizeof text);
        EXPECT_LT(std::strlen(text), sizeof text);
        if (!gotText) {
            EXPECT_STREQ(text, "");
        }
        if (stored.type != kRegSz) {
            EXPECT_FALSE(gotText);
        }
    }
}

TEST_F(RandomValues, CalibrationBlockTakesOnlyTablesThatFit) {
    for (int i = 0; i < 1000; ++i) {
        for (const auto& kind : kCalibrationKinds) plant(calibrationValueName(kind, 3).c_str());
        CalibrationTableBlock block;
        loadCalibrationBlock(reg, userKey, 3, &block);
        for (const auto& kind : kCalibrationKinds) {
            const auto stored = *reg.value(kPath, calibrationValueName(kind, 3).c_str());
            const bool present = stored.data.size() <= kind.maxBytes;
            EXPECT_EQ((block.flags() & kind.flag) != 0, present);
            const uint8_t* field = block.bytes + kind.offset;
            for (uint32_t b = present ? std::max<size_t>(stored.data.size(), 2) : 0; b < kind.maxBytes; ++b)
                ASSERT_EQ(field[b], 0) << "byte " << b << " of a " << stored.data.size() << "-byte value";
        }
    }
}

TEST_F(RandomValues, InstanceListAlwaysHoldsTerminatedPaths) {
    static probe::InstanceList list;
    for (int i = 0; i < 200; ++i) {
        for (int n = 0; n < 6; ++n) plant(std::to_string(n));
        probe::readInstanceList(reg, userKey, &list);
        ASSERT_LE(list.count, 6);
        for (int n = 0; n < list.count; ++n) EXPECT_LT(std::strlen(list.path[n]), sizeof list.path[n]);
    }
}

}  // namespace
}  // namespace tp
