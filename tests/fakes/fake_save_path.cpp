#include "fake_save_path.h"

namespace tp::test {

bool FakeAgentLink::sendCopyData(WindowHandle, uint32_t tag, const uint8_t* data, uint32_t size, uint32_t) {
    if (sequence) sequence->push_back("copydata " + std::to_string(size));
    if (tag != 0 || hung) return false;
    received.emplace_back(data, data + size);
    return true;
}

long SequencedRegistry::set(RegKey key, const char* name, uint32_t type, const uint8_t* data, uint32_t size) {
    const long rc = FakeRegistry::set(key, name, type, data, size);
    if (sequence) sequence->push_back(std::string("reg ") + name);
    return rc;
}

void SequencedSleep::sleep(uint32_t ms) {
    FakeSleep::sleep(ms);
    if (sequence) sequence->push_back("sleep " + std::to_string(ms));
}

}  // namespace tp::test
