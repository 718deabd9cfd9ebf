// Which panel event sounds with which settings, and how the sound is played.
#include <gtest/gtest.h>

#include "sound.h"
#include "worker_rig.h"

namespace tp::test {
namespace {

using agent::AgentSettings;
using agent::TouchSound;

constexpr uint32_t kOn = opt::kSoundOn;
constexpr uint32_t kAtTouch = opt::kBeepAtTouch;
constexpr uint32_t kAll = opt::kSameSoundAllMonitors;
constexpr uint32_t kPoint = opt::kPointMode;

struct Case {
    const char* what;
    uint32_t common;
    uint32_t monitor3;  // Option3; the other monitors keep 0xA0
    uint32_t word;
    bool plays;
    uint32_t freq;  // expected when it plays
};

// Common Freq/Duration 1000/50, Freq3/Duration3 440/120.
const Case kRule[] = {
    {"defaults: no sound", def::kOption, def::kMonitorOption, encodePanelEvent(0, kEventTouch), false, 0},
    {"defaults: no sound on release", def::kOption, def::kMonitorOption, encodePanelEvent(0, kEventRelease), false, 0},
    {"common, at touch: touch", kAll | kOn | kAtTouch, 0, encodePanelEvent(0, kEventTouch), true, 1000},
    {"common, at touch: release", kAll | kOn | kAtTouch, 0, encodePanelEvent(0, kEventRelease), false, 0},
    {"common, at touch: secondary release", kAll | kOn | kAtTouch, 0, encodePanelEvent(0, kEventSecondaryRelease),
     false, 0},
    {"common, at release: touch", kAll | kOn, 0, encodePanelEvent(0, kEventTouch), false, 0},
    {"common, at release: release", kAll | kOn, 0, encodePanelEvent(0, kEventRelease), true, 1000},
    {"common, at release: secondary release", kAll | kOn, 0, encodePanelEvent(0, kEventSecondaryRelease), true, 1000},
    {"stream mode: unknown code", kAll | kOn, 0, encodePanelEvent(0, 3), false, 0},
    {"common sound off", kAll | kAtTouch, kOn | kAtTouch, encodePanelEvent(2, kEventTouch), false, 0},
    {"common ignores the monitor", kAll | kOn | kAtTouch, 0, encodePanelEvent(12, kEventTouch), true, 1000},
    {"point mode: unknown code", kAll | kPoint | kOn | kAtTouch, 0, encodePanelEvent(0, 7), true, 1000},
    {"point mode: release despite the touch bit", kAll | kPoint | kOn | kAtTouch, 0, encodePanelEvent(0, kEventRelease),
     true, 1000},
    {"point mode: largest code", kAll | kPoint | kOn, 0, encodePanelEvent(0, 0x0FFFFFFF), true, 1000},
    {"point mode still needs sound on", kAll | kPoint | kAtTouch, 0, encodePanelEvent(0, kEventTouch), false, 0},
    {"per monitor: monitor 3's own word", kOn | kAtTouch, kOn | kAtTouch, 0x20000000, true, 440},
    {"per monitor: monitor 3 off though common on", kOn | kAtTouch, kAtTouch, 0x20000000, false, 0},
    {"per monitor: monitor 3 at release", 0, kOn, encodePanelEvent(2, kEventRelease), true, 440},
    {"per monitor: point mode only in the common word", 0, kOn | kPoint, encodePanelEvent(2, 5), false, 0},
    {"per monitor: common point mode", kPoint, kOn, encodePanelEvent(2, 5), true, 440},
    {"per monitor: index 9 has no settings", kOn | kAtTouch, kOn | kAtTouch, encodePanelEvent(9, kEventTouch), false,
     0},
    {"per monitor: index 15", kOn | kPoint, kOn, encodePanelEvent(15, kEventTouch), false, 0},
};

TEST(SoundRule, ChoosesCommonOrMonitorSettingsAndTheEventsThatSound) {
    for (const Case& c : kRule) {
        AgentSettings s;
        s.option.set(c.common);
        s.monitorOption[2].set(c.monitor3);
        s.monitorFreq[2].set(440);
        s.monitorDuration[2].set(120);
        s.monitorOption[8].set(kOn | kAtTouch);  // monitor 9 would sound
        TouchSound sound{};
        const bool plays = agent::ChooseTouchSound(s, c.word, &sound);
        EXPECT_EQ(plays, c.plays) << c.what;
        if (!plays || !c.plays) continue;
        EXPECT_EQ(sound.frequency, c.freq) << c.what;
        EXPECT_EQ(sound.duration, c.freq == 440 ? 120u : 50u) << c.what;
        EXPECT_EQ(sound.option, c.freq == 440 ? c.monitor3 : c.common) << c.what << ": the kind comes from it";
    }
}

TEST(SoundRule, MonitorNineIsTheLastWithSettings) {
    AgentSettings s;
    s.option.set(0);
    s.monitorOption[8].set(kOn | kAtTouch | 0x3000);
    s.monitorFreq[8].set(2500);
    TouchSound sound{};
    ASSERT_TRUE(agent::ChooseTouchSound(s, encodePanelEvent(8, kEventTouch), &sound));
    EXPECT_EQ(sound.frequency, 2500u);
    EXPECT_EQ(sound.option & opt::kKindMask, 0x3000u);
}

class PlayTouchSound : public ::testing::Test {
protected:
    WorkerRig rig;
    void play(uint32_t kind, uint32_t freq = 1000, uint32_t duration = 50) {
        agent::PlayTouchSound(rig.agent, kind << opt::kKindShift, freq, duration);
    }
};

TEST_F(PlayTouchSound, KindsOneToFiveAreSystemSoundsPlayedAtOnce) {
    const uint32_t types[] = {0x40, 0x30, 0x20, 0x10, 0x00};  // asterisk, exclamation, question, hand, OK
    for (uint32_t kind = 1; kind <= 5; ++kind) play(kind);
    std::vector<std::string> expected;
    for (uint32_t t : types) expected.push_back("MessageBeep " + hexOf(t));
    EXPECT_EQ(rig.lines("MessageBeep"), expected);
    EXPECT_TRUE(rig.lines("CreateThread").empty());
    EXPECT_TRUE(rig.lines("Beep").empty());
}

TEST_F(PlayTouchSound, OtherKindsAreATonePlayedOnItsOwnThreadThatClearsUpAfterItself) {
    rig.agent.state.settings.tPriority.set(5);
    uint32_t freq = 100;
    for (uint32_t kind : {0u, 6u, 9u, 15u}) {
        rig.journal.clear();
        play(kind, ++freq, 30);
        const auto created = rig.lines("CreateThread");
        ASSERT_EQ(created.size(), 1u) << kind;
        const agent::KernelHandle tone = rig.agent.state.toneThread.get();
        EXPECT_EQ(rig.lines("SetThreadPriority"), std::vector<std::string>{"SetThreadPriority " + hexOf(tone) + " 15"});
        EXPECT_TRUE(rig.lines("Beep").empty()) << "not on the caller's thread";
        rig.sim.advance(30);
        EXPECT_EQ(rig.lines("Beep"), std::vector<std::string>{"Beep " + std::to_string(freq) + " 30"});
        EXPECT_TRUE(rig.sim.thread(tone).ended);
        EXPECT_EQ(rig.sim.thread(tone).closes, 1);
        EXPECT_EQ(rig.agent.state.toneThread.get(), 0u);
        EXPECT_EQ(rig.agent.state.toneBusy.get(), 0u);
    }
    EXPECT_TRUE(rig.lines("MessageBeep").empty());
    EXPECT_EQ(rig.sim.handleErrors(), 0);
}

TEST_F(PlayTouchSound, AToneAskedForWhileOnePlaysIsDroppedNotQueued) {
    play(0, 1000, 50);
    rig.sim.advance(20);
    play(0, 2000, 50);  // 20 ms later
    rig.sim.advance(100);
    EXPECT_EQ(rig.lines("Beep"), std::vector<std::string>{"Beep 1000 50"});
    EXPECT_EQ(rig.lines("CreateThread").size(), 1u);
    play(0, 3000, 50);  // the first has ended
    rig.sim.advance(100);
    EXPECT_EQ(rig.lines("Beep"), (std::vector<std::string>{"Beep 1000 50", "Beep 3000 50"}));
}

// A duration from the registry or a WM_COPYDATA beyond what the console can
// set would hold the tone thread, and every later tone, for days.
TEST_F(PlayTouchSound, ToneDurationsAreKeptWithinWhatTheConsoleCanSet) {
    play(0, 1000, 0xFFFFFFF5u);
    rig.sim.advance(1000);
    EXPECT_EQ(rig.lines("Beep"), std::vector<std::string>{"Beep 1000 1000"});
    EXPECT_EQ(rig.agent.state.toneBusy.get(), 0u) << "over after a second";
    play(0, 2000, 0);
    rig.sim.advance(1);
    EXPECT_EQ(rig.lines("Beep"), (std::vector<std::string>{"Beep 1000 1000", "Beep 2000 1"}));
    EXPECT_EQ(rig.agent.state.toneBusy.get(), 0u);
}

TEST_F(PlayTouchSound, SystemSoundsNeitherWaitForNorStopATone) {
    play(0, 1000, 50);
    rig.sim.advance(10);
    play(4);
    EXPECT_EQ(rig.lines("MessageBeep"), std::vector<std::string>{"MessageBeep 0x10"});
    EXPECT_EQ(rig.sim.now(), 10u);
    rig.sim.advance(100);
    EXPECT_EQ(rig.lines("Beep"), std::vector<std::string>{"Beep 1000 50"});
    play(0, 1200, 50);
    rig.sim.advance(100);
    EXPECT_EQ(rig.lines("Beep").size(), 2u);
}

TEST_F(PlayTouchSound, UnknownPriorityAndFailedThreadCreation) {
    rig.agent.state.settings.tPriority.set(6);
    play(0);
    EXPECT_TRUE(rig.lines("SetThreadPriority").empty());
    rig.sim.advance(100);

    rig.sim.failThreadCreation(true);
    play(0, 700);
    EXPECT_EQ(rig.agent.state.toneBusy.get(), 0u) << "a tone that never started blocks none after it";
    rig.sim.failThreadCreation(false);
    play(0, 800);
    rig.sim.advance(100);
    EXPECT_EQ(rig.lines("Beep"), (std::vector<std::string>{"Beep 1000 50", "Beep 800 50"}));
}

}  // namespace
}  // namespace tp::test
