// The one way every program talks to the driver: open the control device,
// send, close. A Device owns one handle for a request or a short batch.
#pragma once

#include "driver_protocol.h"
#include "ports.h"

namespace tp {

class Device {
public:
    Device(DriverPort& port, const char* path) : port_(port), handle_(port.open(path)) {}
    ~Device() { close(); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    explicit operator bool() const { return handle_ != 0; }

    bool send(uint32_t code, const void* in = nullptr, uint32_t inSize = 0, void* out = nullptr, uint32_t outSize = 0) {
        return port_.control(handle_, code, in, inSize, out, outSize);
    }

    bool sendDword(uint32_t code, uint32_t value) {
        uint8_t bytes[kDwordSize];
        put32(bytes, value);
        return send(code, bytes, sizeof bytes);
    }

    // The driver's DWORD answer lands in *value only when the request succeeds.
    bool readDword(uint32_t code, uint32_t* value) {
        uint8_t bytes[kDwordSize] = {};
        if (!send(code, nullptr, 0, bytes, sizeof bytes)) return false;
        *value = get32(bytes);
        return true;
    }

    void close() {
        if (handle_) port_.close(handle_);
        handle_ = 0;
    }

private:
    DriverPort& port_;
    DeviceHandle handle_;
};

enum class SendResult { NoDevice, Failed, Done };

// Open, send one request, close.
inline SendResult sendRequest(DriverPort& port, const char* path, uint32_t code, const void* in = nullptr,
                              uint32_t inSize = 0, void* out = nullptr, uint32_t outSize = 0) {
    Device device(port, path);
    if (!device) return SendResult::NoDevice;
    return device.send(code, in, inSize, out, outSize) ? SendResult::Done : SendResult::Failed;
}

}  // namespace tp
