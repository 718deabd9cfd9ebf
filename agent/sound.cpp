#include "sound.h"

#include "worker_threads.h"

namespace tp::agent {

bool ChooseTouchSound(const AgentSettings& s, uint32_t eventWord, TouchSound* sound) {
    const PanelEvent event = decodePanelEvent(eventWord);
    const uint32_t common = s.option.get();
    TouchSound chosen;
    if (common & opt::kSameSoundAllMonitors) {
        chosen = {common, s.freq.get(), s.duration.get()};
    } else {
        if (event.monitorIndex >= static_cast<uint32_t>(kMaxMonitors)) return false;
        const uint32_t m = event.monitorIndex;
        chosen = {s.monitorOption[m].get(), s.monitorFreq[m].get(), s.monitorDuration[m].get()};
    }
    if (!(chosen.option & opt::kSoundOn)) return false;
    // Point mode is a property of the panel, so only the common word says so.
    if (!(common & opt::kPointMode)) {
        const bool atTouch = chosen.option & opt::kBeepAtTouch;
        const bool plays = event.code == kEventTouch
                               ? atTouch
                               : (event.code == kEventRelease || event.code == kEventSecondaryRelease) && !atTouch;
        if (!plays) return false;
    }
    *sound = chosen;
    return true;
}

namespace {

unsigned long TP_THREAD_API toneThread(void* parameter) {
    Agent& a = *static_cast<Agent*>(parameter);
    a.ports.sound->beep(a.state.toneFreq.get(), a.state.toneDuration.get());
    // The slot is emptied before the busy flag opens the way for the next
    // tone, whose handle must not be overwritten.
    if (const KernelHandle own = a.state.toneThread.exchange(0)) a.ports.threads->closeHandle(own);
    a.state.toneBusy.set(0);
    return 1;
}

uint32_t messageBeepType(uint32_t kind) {
    switch (kind) {
        case 1:
            return beep::kIconAsterisk;
        case 2:
            return beep::kIconExclamation;
        case 3:
            return beep::kIconQuestion;
        case 4:
            return beep::kIconHand;
        default:
            return beep::kOk;
    }
}

}  // namespace

void PlayTouchSound(Agent& a, uint32_t option, uint32_t frequency, uint32_t duration) {
    const uint32_t kind = (option & opt::kKindMask) >> opt::kKindShift;
    if (kind >= 1 && kind <= 5) {
        a.ports.sound->messageBeep(messageBeepType(kind));
        return;
    }
    if (a.state.toneBusy.exchange(1)) return;
    a.state.toneFreq.set(frequency);
    // A duration beyond what the console can set would hold the tone thread,
    // and with it every later tone, for up to 49 days.
    a.state.toneDuration.set(ClampDuration(duration));
    ThreadPort& threads = *a.ports.threads;
    const KernelHandle tone = threads.createThread(&toneThread, &a);
    if (!tone) {
        a.state.toneBusy.set(0);
        return;
    }
    a.state.toneThread.set(tone);
    int priority = 0;
    if (ThreadPriorityFor(a.state.settings.tPriority.get(), &priority)) threads.setThreadPriority(tone, priority);
    threads.resumeThread(tone);
}

}  // namespace tp::agent
