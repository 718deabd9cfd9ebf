#include <gtest/gtest.h>

#include "settings_file.h"
#include "tapcfg_rig.h"

namespace tp::cfg::test {
namespace {

// What a checked file says: the values taken, then each problem as the user reads it.
std::vector<std::string> outcome(const CheckedSettings& c) {
    FakeHost host;
    std::vector<std::string> lines;
    for (const Assignment& a : c.values) lines.push_back(formatAssignment(a.index, a.value));
    for (const LineProblem& p : c.problems)
        lines.push_back("line " + std::to_string(p.line) + ": " +
                        narrow(fill(host.text(p.problem.messageId), p.problem.args)));
    return lines;
}

TEST(SettingsFile, EachLineIsTakenOrRefusedWithItsReason) {
    struct Case {
        const char* line;
        const char* outcome;  // "" when the line holds nothing
    };
    const Case cases[] = {
        {"Freq=1000", "Freq=1000"},
        {"  freq = 0x3E8   ; the console's default", "Freq=1000"},
        {"Option=0x1A0800A4", "Option=0x1A0800A4"},
        {"STDDURATION9=1000", "StdDuration9=1000"},
        {"DHeight=2", "DHeight=2"},
        {"DWidth=66", "DWidth=66"},
        {"Freq=37", "Freq=37"},
        {"Freq3=10000", "Freq3=10000"},
        {"Freq=1000 ; コメント", "Freq=1000"},
        {"; a comment only", ""},
        {"   ", ""},
        {"Option3=0x00180018", "Option3=0x00180018"},  // a screen's word carries its other bits along
        {"Option=0x00000000", "Option=0x00000000"},
        {"Freq 1000", "line 1: expected Name=Value"},
        {"=1000", "line 1: unknown name \"\""},
        {"Frequency=1000", "line 1: unknown name \"Frequency\""},
        {"Option10=0xA0", "line 1: unknown name \"Option10\""},
        {"WinPosX=0", "line 1: unknown name \"WinPosX\""},
        {"Freq=", "line 1: \"\" is not a decimal or 0x hexadecimal number of at most 32 bits"},
        {"Freq=-5", "line 1: \"-5\" is not a decimal or 0x hexadecimal number of at most 32 bits"},
        {"Freq=12abc", "line 1: \"12abc\" is not a decimal or 0x hexadecimal number of at most 32 bits"},
        {"Freq=0x", "line 1: \"0x\" is not a decimal or 0x hexadecimal number of at most 32 bits"},
        {"Freq=1 000", "line 1: \"1 000\" is not a decimal or 0x hexadecimal number of at most 32 bits"},
        {"Option=0x100000000", "line 1: \"0x100000000\" is not a decimal or 0x hexadecimal number of at most 32 bits"},
        {"Freq=4294967296", "line 1: \"4294967296\" is not a decimal or 0x hexadecimal number of at most 32 bits"},
        {"Freq=36", "line 1: Freq must be from 37 to 10000"},
        {"Freq=10001", "line 1: Freq must be from 37 to 10000"},
        {"StdFreq4=0", "line 1: StdFreq4 must be from 37 to 10000"},
        {"Duration=0", "line 1: Duration must be from 1 to 1000"},
        {"StdDuration3=1001", "line 1: StdDuration3 must be from 1 to 1000"},
        {"DHeight=67", "line 1: DHeight must be from 2 to 66"},
        {"DWidth=1", "line 1: DWidth must be from 2 to 66"},
        {"Option=0x1A0800A5", "line 1: Option sets bits that no setting uses (0x00000001)"},
        {"Option=0x9A0800A4", "line 1: Option sets bits that no setting uses (0x80000000)"},
        {"Option2=0x200000A0", "line 1: Option2 sets bits that no setting uses (0x20000000)"},
        {"Option=0x1A0860A4", "line 1: Option names sound kind 6; the kinds are 0 to 5"},
        {"Option=0x1A080FA4", "line 1: Option names sound kind 15; the kinds are 0 to 5"},
        {"Option7=0x0000F0A0", "line 1: Option7 names sound kind 15; the kinds are 0 to 5"},
        {"Option=0x1A0800AC", "line 1: Option chooses more than one calibration point count"},
        {"Option=0x1A1800A4", "line 1: Option chooses more than one right-click key"},
        {"Option=0x1A2800A4", "line 1: Option chooses more than one right-click key"},
        {"Freq=１０００", "line 1: the line holds a character that is not plain ASCII"},
    };
    const std::string longName(60000, 'A'), longNumber(60000, '9');
    const std::string longName40(40, 'A'), longNumber40(40, '9');
    const std::string longLines[][2] = {
        {longName + "=1", "line 1: unknown name \"" + longName40 + "...\""},
        {"Freq=" + longNumber,
         "line 1: \"" + longNumber40 + "...\" is not a decimal or 0x hexadecimal number of at most 32 bits"},
    };
    for (const auto& c : longLines) EXPECT_EQ(outcome(checkSettingsFile(c[0])), std::vector<std::string>{c[1]});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto lines = outcome(checkSettingsFile(c.line));
        if (!*c.outcome) {
            EXPECT_TRUE(lines.empty());
        } else {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0], c.outcome);
        }
    }
}

TEST(SettingsFile, EveryBadLineIsNamedAndNoValueOfABadFileCounts) {
    const auto c = checkSettingsFile("; kiosk defaults\r\nFreq=1200\r\nDuration=5000\r\n\r\nfreq=900\r\nNoSuch=1\r\n");
    EXPECT_FALSE(c.ok());
    EXPECT_EQ(outcome(c), (std::vector<std::string>{"Freq=1200", "line 3: Duration must be from 1 to 1000",
                                                    "line 5: Freq is given twice", "line 6: unknown name \"NoSuch\""}));
}

TEST(SettingsFile, NotepadsEncodingsAreReadAlike) {
    const std::string ascii = "Freq=1200\r\nOption1=0xA0\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : ascii) utf16 += std::string{c, '\0'};
    for (const std::string& bytes : {ascii, "\xEF\xBB\xBF" + ascii, utf16, std::string("Freq=1200\nOption1=0xA0")}) {
        const auto c = checkSettingsFile(bytes);
        EXPECT_EQ(outcome(c), (std::vector<std::string>{"Freq=1200", "Option1=0x000000A0"}));
    }
}

TEST(SettingsFile, AnyMixOfLineEndsKeepsEveryLineAndItsNumber) {
    struct Case {
        const char* bytes;
        std::vector<std::string> outcome;
    };
    const Case cases[] = {
        {"; kiosk\rFreq=1200\rDuration=60\r", {"Freq=1200", "Duration=60"}},
        {"Freq=1200 ; note\rDuration=60", {"Freq=1200", "Duration=60"}},
        {"; a\r\nFreq=1200\n; b\rDuration=60\r\n\rDWidth=0",
         {"Freq=1200", "Duration=60", "line 6: DWidth must be from 2 to 66"}},
        {"Freq=1200\r\r\nDuration=0", {"Freq=1200", "line 3: Duration must be from 1 to 1000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(outcome(checkSettingsFile(c.bytes)), c.outcome);
    }
}

TEST(SettingsFile, AnExportReadsBackAsTheSameFiftyTwoValues) {
    UserValues v;
    uint32_t freq = 40;
    for (int i = 0; i < static_cast<int>(valueNames().size()); ++i) {
        switch (valueKind(i)) {
            case ValueKind::Option:
                valueField(v, i) = 0x1FCF55E4;  // every bit in use, one point count, one key, kinds 5
                break;
            case ValueKind::MonitorOption:
                valueField(v, i) = 0x000150A0u | static_cast<uint32_t>(i) << 20;
                break;
            case ValueKind::Freq:
                valueField(v, i) = freq += 97;
                break;
            case ValueKind::Duration:
                valueField(v, i) = static_cast<uint32_t>(i) * 11;
                break;
            case ValueKind::Area:
                valueField(v, i) = static_cast<uint32_t>(i) + 10;
                break;
        }
    }
    const auto c = checkSettingsFile(exportSettings(v, "1.0.0.0"));
    ASSERT_TRUE(c.ok()) << outcome(c).back();
    ASSERT_EQ(c.values.size(), 52u);
    for (const Assignment& a : c.values) EXPECT_EQ(a.value, valueOf(v, a.index)) << valueNames()[a.index].c_str();
}

TEST(SettingsFile, CommandLineArgumentsAreCheckedByTheirNumber) {
    const auto c = checkSettingsArguments(
        {L"Freq=1200 ; kiosk", L"Duration=0", L"freq=800", L"; a comment alone", L"DWidth=40;", L"DHeight ; =40"});
    EXPECT_EQ(outcome(c), (std::vector<std::string>{"Freq=1200", "DWidth=40", "line 2: Duration must be from 1 to 1000",
                                                    "line 3: Freq is given twice", "line 4: expected Name=Value",
                                                    "line 6: expected Name=Value"}));
}

}  // namespace
}  // namespace tp::cfg::test
