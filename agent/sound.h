// Audible feedback for panel events: which event sounds with which settings,
// and how a tone or a system sound is played.
#pragma once

#include <cstdint>

#include "agent.h"

namespace tp::agent {

// MessageBeep types, as <windows.h> spells them.
namespace beep {
inline constexpr uint32_t kOk = 0x00000000;
inline constexpr uint32_t kIconHand = 0x00000010;
inline constexpr uint32_t kIconQuestion = 0x00000020;
inline constexpr uint32_t kIconExclamation = 0x00000030;
inline constexpr uint32_t kIconAsterisk = 0x00000040;
}  // namespace beep

class SoundPort {
public:
    // Beep: returns when the tone has ended.
    virtual void beep(uint32_t frequency, uint32_t duration) = 0;
    virtual void messageBeep(uint32_t type) = 0;

protected:
    ~SoundPort() = default;
};

struct TouchSound {
    uint32_t option;  // the word whose kind bits choose the sound
    uint32_t frequency;
    uint32_t duration;
};

// The sound rule: whether the event word calls for a sound, and with which
// settings (the common ones or the monitor's own).
bool ChooseTouchSound(const AgentSettings& settings, uint32_t eventWord, TouchSound* sound);

// Kinds 1-5 are system sounds played on the calling thread; every other kind
// is a tone on its own thread, dropped while another tone plays.
void PlayTouchSound(Agent& agent, uint32_t option, uint32_t frequency, uint32_t duration);

}  // namespace tp::agent
