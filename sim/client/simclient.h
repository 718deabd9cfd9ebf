// User-mode access to the simulated panel through its control device, and
// the readable and machine-readable forms of its log. Used by simctl and by
// the Wine scenarios.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "sim_protocol.h"

namespace tpsim {

struct State {
    uint32_t w[st::kCount] = {};
    uint32_t operator[](uint32_t index) const { return w[index]; }
    uint64_t frequency() const { return w[st::kFrequencyLow] | (static_cast<uint64_t>(w[st::kFrequencyHigh]) << 32); }
};

class Client {
public:
    Client();
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // False when the simulator is not loaded.
    bool ok() const { return handle_ != nullptr; }
    // GetLastError of the last failed control request.
    unsigned long lastError() const { return lastError_; }

    bool reset();
    bool injectEvent(uint32_t eventWord);
    bool setPanels(const tp::PanelIdTable& table);
    bool setSpinTop(uint32_t value);
    bool setDisabledAnswer(uint32_t type, uint32_t value);
    bool setVendorAnswer(const uint8_t* bytes, uint32_t length);
    // code kAllCodes: every request of the suite; kNoFailures with on=false clears all.
    bool setFailure(uint32_t code, bool on);
    bool setPlugged(bool plugged);
    // A finger on the connected panel with this port.
    bool touchPanel(uint32_t port);
    bool clearLog();
    bool getState(State* state);
    // Every record from seq `from` on; *next receives the seq to continue from.
    bool readLog(uint32_t from, std::vector<LogRecord>* records, uint32_t* next = nullptr);
    // False when the slot is empty.
    bool getCalibration(uint32_t slot, uint32_t* port, uint8_t block[tp::kCalibrationTableBlockSize]);

private:
    bool call(uint32_t code, const void* in, uint32_t inSize, void* out = nullptr, uint32_t outSize = 0,
              uint32_t* returned = nullptr);

    void* handle_;
    unsigned long lastError_ = 0;
};

// Names for the log: the suite's requests by their role ("GetSpinTop"),
// other codes as null.
const char* requestName(uint32_t code);
const char* deviceName(uint32_t device);
const char* kindName(uint32_t kind);

// "ok", "failed", "protocol-error", "injected-failure" or "unplugged".
const char* resultName(const LogRecord& r);

// One line per record. Readable: aligned columns with the time in seconds.
// Machine: space-separated key=value fields, stable for scripts.
std::string formatReadable(const LogRecord& r, uint64_t frequency, uint64_t originTicks);
std::string formatMachine(const LogRecord& r, uint64_t frequency);

// Hex bytes, "A4 00 08 1A".
std::string hexBytes(const uint8_t* bytes, uint32_t count);

}  // namespace tpsim
