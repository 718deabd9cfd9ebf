#include "worker_rig.h"

#include <gtest/gtest.h>

namespace tp::test {

void TimedSound::beep(uint32_t frequency, uint32_t duration) {
    journal_.add("Beep " + std::to_string(frequency) + " " + std::to_string(duration));
    sim_.elapse(duration);
}

void TimedSound::messageBeep(uint32_t type) { journal_.add("MessageBeep " + hexOf(type)); }

agent::CursorHandle CheckedCursors::loadCursor(int id) {
    journal_.add("LoadCursor " + std::to_string(id));
    return loadFails ? 0 : kLoaded;
}

agent::CursorHandle CheckedCursors::copyCursor(agent::CursorHandle cursor) {
    if (copyFails) {
        journal_.add("CopyCursor " + hexOf(cursor) + " failed");
        return 0;
    }
    const agent::CursorHandle copy = next_++;
    owned_.insert(copy);
    journal_.add("CopyCursor " + hexOf(cursor) + " -> " + hexOf(copy));
    return copy;
}

bool CheckedCursors::setSystemCursor(agent::CursorHandle cursor, uint32_t id) {
    journal_.add("SetSystemCursor " + hexOf(cursor) + " " + std::to_string(id));
    if (cursor == kLoaded) ADD_FAILURE() << "the shared cursor was handed to the system";
    if (id == refusedId) return false;
    owned_.erase(cursor);  // the system owns it now
    return true;
}

void CheckedCursors::destroyCursor(agent::CursorHandle cursor) {
    journal_.add("DestroyCursor " + hexOf(cursor));
    if (!owned_.erase(cursor)) ADD_FAILURE() << "destroyed a cursor not ours: " << hexOf(cursor);
}

WorkerRig::WorkerRig(ThreadSim::Mode mode) : sim(journal, mode) {
    agent.state.mainWindow.set(kMainWindow);
    AgentRig::addSuiteKeys(registry, driver);
}

WorkerRig::~WorkerRig() { sim.shutdown(); }

namespace {
// The handle in the last registration the driver received with code, as the
// driver would find it.
agent::KernelHandle registeredEvent(const FakeDriver& driver, uint32_t code) {
    const auto inputs = driver.inputsOf(code);
    if (inputs.empty() || inputs.back().size() != kEventRegistrationSize) return 0;
    return eventRegistrationHandle(inputs.back().data());
}
}  // namespace

agent::KernelHandle WorkerRig::registeredPanelEvent() const {
    return registeredEvent(driver, req::kRegisterPanelEvent);
}

void WorkerRig::signalPanelEvent(uint32_t eventWord) {
    driver.answerDword(req::kReadPanelEvent, eventWord);
    const agent::KernelHandle event = registeredEvent(driver, req::kRegisterPanelEvent);
    ASSERT_NE(event, 0u) << "no panel event registered";
    sim.setEvent(event);
}

void WorkerRig::signalSettingsChanged() {
    const agent::KernelHandle event = registeredEvent(driver, req::kRegisterSettingsEvent);
    ASSERT_NE(event, 0u) << "no settings event registered";
    sim.setEvent(event);
}

}  // namespace tp::test
