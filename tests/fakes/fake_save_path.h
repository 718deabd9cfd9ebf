// Fakes for the save path's ports that also write into one shared sequence,
// so a test states the order of registry writes, agent messages and sleeps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "agent_link.h"
#include "fake_registry.h"
#include "fake_sleep.h"

namespace tp::test {

// An agent window that takes every settings message ("copydata 236"),
// unless it is not running or hangs.
class FakeAgentLink : public AgentLinkPort {
public:
    bool running = true;
    bool hung = false;
    std::vector<std::vector<uint8_t>> received;
    std::vector<std::string>* sequence = nullptr;
    WindowHandle findAgentWindow() override { return running ? 0x5151 : 0; }
    bool sendCopyData(WindowHandle window, uint32_t tag, const uint8_t* data, uint32_t size,
                      uint32_t timeoutMs) override;
};

// "reg Option"
class SequencedRegistry : public FakeRegistry {
public:
    std::vector<std::string>* sequence = nullptr;
    long set(RegKey key, const char* name, uint32_t type, const uint8_t* data, uint32_t size) override;
};

// "sleep 1000"
class SequencedSleep : public FakeSleep {
public:
    std::vector<std::string>* sequence = nullptr;
    void sleep(uint32_t ms) override;
};

}  // namespace tp::test
