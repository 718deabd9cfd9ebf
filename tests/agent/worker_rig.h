// An agent wired to the recording fakes of the core's rig plus the worker
// side's own: the thread simulator, sound and cursors.
#pragma once

#include "agent_rig.h"
#include "cursor.h"
#include "sound.h"
#include "thread_sim.h"

namespace tp::test {

// "Beep 1000 50" (taking the tone's time on the simulated clock) and "MessageBeep 0x10".
class TimedSound : public agent::SoundPort {
public:
    TimedSound(Journal& journal, ThreadSim& sim) : journal_(journal), sim_(sim) {}
    void beep(uint32_t frequency, uint32_t duration) override;
    void messageBeep(uint32_t type) override;

private:
    Journal& journal_;
    ThreadSim& sim_;
};

// "LoadCursor 102", "CopyCursor 0xc66 -> 0xc01", "SetSystemCursor 0xc01 32512", "DestroyCursor 0xc01".
class CheckedCursors : public agent::CursorPort {
public:
    explicit CheckedCursors(Journal& journal) : journal_(journal) {}
    static constexpr agent::CursorHandle kLoaded = 0xC66;
    bool loadFails = false;
    bool copyFails = false;
    uint32_t refusedId = 0;  // SetSystemCursor fails for this id
    agent::CursorHandle loadCursor(int id) override;
    agent::CursorHandle copyCursor(agent::CursorHandle cursor) override;
    bool setSystemCursor(agent::CursorHandle cursor, uint32_t id) override;
    void destroyCursor(agent::CursorHandle cursor) override;
    // Copies made and neither taken by the system nor destroyed.
    int leaked() const { return static_cast<int>(owned_.size()); }

private:
    Journal& journal_;
    agent::CursorHandle next_ = 0xC01;
    std::set<agent::CursorHandle> owned_;
};

struct WorkerRig {
    explicit WorkerRig(ThreadSim::Mode mode = ThreadSim::Mode::Step);
    ~WorkerRig();
    WorkerRig(const WorkerRig&) = delete;

    Journal journal;
    FakeRegistry registry;
    FakeDriver driver;
    JournalDriver journalDriver{driver, journal};
    FakeDisplay display{journal};
    FakeWindows windows{journal};
    FakeTray tray{journal, windows};
    FakeLibraries libraries{journal};
    ThreadSim sim;
    TimedSound sound{journal, sim};
    CheckedCursors cursors{journal};
    agent::Agent agent{{},
                       {registry, journalDriver, sim, display, windows, tray, libraries, sim, &sim, &sound, &cursors}};

    static constexpr agent::WindowHandle kMainWindow = 0x500;

    // Journal lines starting with prefix.
    std::vector<std::string> lines(const std::string& prefix) const { return journal.starting(prefix); }
    // The driver signals the panel thread's registered event (a touch is ready
    // to read as eventWord) or the settings thread's.
    void signalPanelEvent(uint32_t eventWord);
    // The event in the driver's last panel registration.
    agent::KernelHandle registeredPanelEvent() const;
    void signalSettingsChanged();
};

}  // namespace tp::test
