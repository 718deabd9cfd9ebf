#include <gtest/gtest.h>

#include "fake_registry.h"
#include "fake_sleep.h"
#include "registry.h"

namespace tp {
namespace {

using test::FakeRegistry;
using test::FakeSleep;

constexpr char kPath[] = "HKCU\\Software\\Korvane Component\\USB";
constexpr char kSub[] = "Software\\Korvane Component\\USB";

class RegistryRead : public ::testing::Test {
protected:
    void SetUp() override {
        reg.addKey(kPath);
        ASSERT_EQ(reg.open(RegRoot::CurrentUser, kSub, kKeyRead, &key), kErrorSuccess);
    }
    void TearDown() override { reg.close(key); }
    FakeRegistry reg;
    RegKey key = 0;
};

TEST_F(RegistryRead, DwordAcceptedOnlyAsFourByteRegDword) {
    reg.setDword(kPath, "Good", 0x1A0800A4);
    reg.setString(kPath, "Text", "123");                    // 4 bytes with terminator, wrong type
    reg.setRaw(kPath, "Binary", kRegBinary, {1, 2, 3, 4});  // right size, wrong type
    reg.setRaw(kPath, "Short", kRegDword, {1, 2});          // right type, short
    reg.setRaw(kPath, "Long", kRegDword, {1, 2, 3, 4, 5, 6, 7, 8});

    uint32_t v = 77;
    EXPECT_TRUE(readDword(reg, key, "good", &v)) << "names are case-insensitive";
    EXPECT_EQ(v, 0x1A0800A4u);
    for (const char* name : {"Text", "Binary", "Short", "Long", "Missing"}) {
        v = 77;
        EXPECT_FALSE(readDword(reg, key, name, &v)) << name;
        EXPECT_EQ(v, 77u) << name << " must leave the previous value";
    }
}

TEST_F(RegistryRead, StringIsAlwaysTerminatedAndNeverOverflows) {
    char buf[8];
    reg.setString(kPath, "Fits", "1234567");  // 8 bytes with terminator
    EXPECT_TRUE(readString(reg, key, "Fits", buf, sizeof buf));
    EXPECT_STREQ(buf, "1234567");

    reg.setRaw(kPath, "Unterminated", kRegSz, {'a', 'b', 'c'});
    EXPECT_TRUE(readString(reg, key, "Unterminated", buf, sizeof buf));
    EXPECT_STREQ(buf, "abc");

    reg.setRaw(kPath, "FullUnterminated", kRegSz, {'1', '2', '3', '4', '5', '6', '7', '8'});
    EXPECT_FALSE(readString(reg, key, "FullUnterminated", buf, sizeof buf));
    EXPECT_STREQ(buf, "");

    reg.setString(kPath, "TooLong", "123456789");
    EXPECT_FALSE(readString(reg, key, "TooLong", buf, sizeof buf));
    EXPECT_STREQ(buf, "");

    reg.setDword(kPath, "Number", 5);
    EXPECT_FALSE(readString(reg, key, "Number", buf, sizeof buf));
}

TEST_F(RegistryRead, BinaryLargerThanTheBufferIsAbsent) {
    uint8_t buf[4] = {9, 9, 9, 9};
    reg.setRaw(kPath, "Small", kRegBinary, {1, 2});
    EXPECT_EQ(readBinary(reg, key, "Small", buf, sizeof buf), 2);
    reg.setRaw(kPath, "Big", kRegBinary, {1, 2, 3, 4, 5});
    EXPECT_EQ(readBinary(reg, key, "Big", buf, sizeof buf), -1);
    EXPECT_EQ(readBinary(reg, key, "Missing", buf, sizeof buf), -1);
}

// The agent's policies give up on a key that is not there (ERROR_FILE_NOT_FOUND)
// at once; a key that fails otherwise, and the probe's policy, keep every
// attempt and its sleep.
TEST(RegistryRetry, OnlyAMissingKeyUnderAnAgentPolicyEndsAtOnce) {
    struct Case {
        const char* what;
        RetryPolicy policy;
        bool present;  // present but failing every open (access denied), else missing
        size_t attempts;
        uint64_t slept;
    };
    const Case cases[] = {
        {"agent user key, missing", kUserKeyRetry, false, 1, 0},
        {"agent seed key, missing", kSeedKeyRetry, false, 1, 0},
        {"agent layout key, missing", kLayoutKeyRetry, false, 1, 0},
        {"agent user key, refused", kUserKeyRetry, true, 20, 220},
        {"agent layout key, refused", kLayoutKeyRetry, true, 10, 200},
        {"probe key, missing", kProbeKeyRetry, false, 10, 200},
    };
    for (const Case& c : cases) {
        FakeRegistry reg;
        FakeSleep sleeper;
        if (c.present) {
            reg.addKey(std::string("HKLM\\") + kSub);
            reg.failOpens(std::string("HKLM\\") + kSub, 100);
        }
        EXPECT_EQ(openKeyWithRetry(reg, sleeper, c.policy, OpenMode::Open, RegRoot::LocalMachine, kSub, kKeyRead), 0u)
            << c.what;
        EXPECT_EQ(reg.log().size(), c.attempts) << c.what;
        EXPECT_EQ(sleeper.total(), c.slept) << c.what;
    }
}

TEST(RegistryRetry, StopsAtTheFirstSuccessfulAttempt) {
    FakeRegistry reg;
    FakeSleep sleeper;
    reg.addKey(std::string("HKLM\\") + kSub);
    reg.failOpens(std::string("HKLM\\") + kSub, 2);
    RegKey key = openKeyWithRetry(reg, sleeper, kLayoutKeyRetry, OpenMode::Open, RegRoot::LocalMachine, kSub, kKeyRead);
    EXPECT_NE(key, 0u);
    EXPECT_EQ(sleeper.calls(), (std::vector<uint32_t>{20, 20}));
    reg.close(key);
    EXPECT_EQ(reg.openHandles(), 0);
}

TEST(RegistryRetry, CreateModeMakesTheKey) {
    FakeRegistry reg;
    FakeSleep sleeper;
    ScopedKey key(reg, openKeyWithRetry(reg, sleeper, kSingleAttempt, OpenMode::Create, RegRoot::CurrentUser, kSub,
                                        kKeyReadWrite));
    ASSERT_TRUE(key);
    writeDword(reg, key.get(), "Option", 0x1A0800A4);
    writeString(reg, key.get(), "Text", "a b");
    EXPECT_EQ(reg.dword(kPath, "Option"), 0x1A0800A4u);
    EXPECT_EQ(reg.value(kPath, "Text")->data, (std::vector<uint8_t>{'a', ' ', 'b', 0}));
}

}  // namespace
}  // namespace tp
