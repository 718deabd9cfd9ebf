// A recording stand-in for the driver's control devices:
//   open \\.\TAPTPU / ioctl 0x222034 in=A4 00 08 1A / close
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ports.h"

namespace tp::test {

class FakeDriver : public DriverPort {
public:
    // Devices are present unless removed.
    void setPresent(const std::string& path, bool present);
    // Bytes copied to the output buffer of code (up to its size).
    void answer(uint32_t code, std::vector<uint8_t> bytes);
    void answerDword(uint32_t code, uint32_t value);
    void fail(uint32_t code, bool failing = true);
    // Called for each request of code, after answering, with the input bytes.
    void onRequest(uint32_t code, std::function<void(const std::vector<uint8_t>&)> hook);

    std::vector<std::string> log() const;
    void clearLog();
    // Only the ioctl lines: "0x222034 in=A4 00 08 1A".
    std::vector<std::string> requests() const;
    std::vector<std::vector<uint8_t>> inputsOf(uint32_t code) const;
    int countOf(uint32_t code) const;
    int openHandles() const;

    DeviceHandle open(const char* path) override;
    bool control(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                 uint32_t outSize) override;
    void close(DeviceHandle device) override;

    static std::string hex(const uint8_t* bytes, size_t n);

private:
    mutable std::recursive_mutex mutex_;
    std::set<std::string> absent_;
    std::map<uint32_t, std::vector<uint8_t>> answers_;
    std::set<uint32_t> failing_;
    std::map<uint32_t, std::function<void(const std::vector<uint8_t>&)>> hooks_;
    std::map<DeviceHandle, std::string> handles_;
    DeviceHandle next_ = 0x40;
    std::vector<std::string> log_;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> inputs_;
};

}  // namespace tp::test
