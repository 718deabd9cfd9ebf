#include "simclient.h"

#include <windows.h>

#include <cstdio>

namespace tpsim {

Client::Client() {
    HANDLE h = CreateFileA(kControlDevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    handle_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
    if (!handle_) lastError_ = GetLastError();
}

Client::~Client() {
    if (handle_) CloseHandle(handle_);
}

bool Client::call(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize, uint32_t* returned) {
    if (!handle_) return false;
    DWORD got = 0;
    const BOOL ok = DeviceIoControl(handle_, code, const_cast<void*>(in), inSize, out, outSize, &got, nullptr);
    if (!ok) lastError_ = GetLastError();
    if (returned) *returned = got;
    return ok != FALSE;
}

bool Client::reset() { return call(ctl::kReset, nullptr, 0); }

bool Client::injectEvent(uint32_t eventWord) {
    uint8_t in[4];
    tp::put32(in, eventWord);
    return call(ctl::kInjectEvent, in, sizeof in);
}

bool Client::setPanels(const tp::PanelIdTable& table) {
    uint8_t in[tp::kPanelIdTableSize];
    tp::encodePanelIdTable(in, table);
    return call(ctl::kSetPanels, in, sizeof in);
}

bool Client::setSpinTop(uint32_t value) {
    uint8_t in[4];
    tp::put32(in, value);
    return call(ctl::kSetSpinTop, in, sizeof in);
}

bool Client::setDisabledAnswer(uint32_t type, uint32_t value) {
    uint8_t in[8];
    tp::put32(in, type);
    tp::put32(in + 4, value);
    return call(ctl::kSetDisabled, in, sizeof in);
}

bool Client::setVendorAnswer(const uint8_t* bytes, uint32_t length) {
    uint8_t in[4 + tp::kVendorAnswerSize];
    if (length > tp::kVendorAnswerSize) return false;
    tp::put32(in, length);
    for (uint32_t i = 0; i < length; ++i) in[4 + i] = bytes[i];
    return call(ctl::kSetVendorAnswer, in, 4 + length);
}

bool Client::setFailure(uint32_t code, bool on) {
    uint8_t in[8];
    tp::put32(in, code);
    tp::put32(in + 4, on ? 1 : 0);
    return call(ctl::kSetFailure, in, sizeof in);
}

bool Client::setPlugged(bool plugged) {
    uint8_t in[4];
    tp::put32(in, plugged ? 1 : 0);
    return call(ctl::kSetPlugged, in, sizeof in);
}

bool Client::touchPanel(uint32_t port) {
    uint8_t in[4];
    tp::put32(in, port);
    return call(ctl::kTouchPanel, in, sizeof in);
}

bool Client::clearLog() { return call(ctl::kClearLog, nullptr, 0); }

bool Client::getState(State* state) {
    uint8_t out[kStateSize];
    uint32_t got = 0;
    if (!call(ctl::kGetState, nullptr, 0, out, sizeof out, &got) || got != kStateSize) return false;
    for (uint32_t i = 0; i < st::kCount; ++i) state->w[i] = tp::get32(out + 4 * i);
    return state->w[st::kMagic] == kStateMagic;
}

bool Client::readLog(uint32_t from, std::vector<LogRecord>* records, uint32_t* next) {
    static uint8_t buffer[kLogHeaderSize + 256 * kLogRecordSize];
    for (;;) {
        uint8_t in[4];
        tp::put32(in, from);
        uint32_t got = 0;
        if (!call(ctl::kReadLog, in, sizeof in, buffer, sizeof buffer, &got) || got < kLogHeaderSize) return false;
        const LogHeader header = decodeLogHeader(buffer);
        for (uint32_t i = 0; i < header.count; ++i) {
            records->push_back(decodeLogRecord(buffer + kLogHeaderSize + i * kLogRecordSize));
            from = records->back().seq + 1;
        }
        if (header.count == 0 || from >= header.nextSeq) {
            if (next) *next = header.nextSeq;
            return true;
        }
    }
}

bool Client::getCalibration(uint32_t slot, uint32_t* port, uint8_t block[tp::kCalibrationTableBlockSize]) {
    uint8_t in[4];
    tp::put32(in, slot);
    uint8_t out[kCalibrationAnswerSize];
    uint32_t got = 0;
    if (!call(ctl::kGetCalibration, in, sizeof in, out, sizeof out, &got) || got != sizeof out) return false;
    *port = tp::get32(out);
    for (uint32_t i = 0; i < tp::kCalibrationTableBlockSize; ++i) block[i] = out[4 + i];
    return true;
}

const char* requestName(uint32_t code) {
    namespace req = tp::req;
    switch (code) {
        case req::kIdentifyMultiStart:
            return "IdentifyMultiStart";
        case req::kIdentifyMultiEnd:
            return "IdentifyMultiEnd";
        case req::kSetMonitorLayout:
            return "SetMonitorLayout";
        case req::kRegisterPanelEvent:
            return "RegisterPanelEvent";
        case req::kReadPanelEvent:
            return "ReadPanelEvent";
        case req::kButtonSecondary:
            return "ButtonSecondary";
        case req::kButtonPrimary:
            return "ButtonPrimary";
        case req::kButtonsSwapped:
            return "ButtonsSwapped";
        case req::kButtonsNotSwapped:
            return "ButtonsNotSwapped";
        case req::kSetSpinTop:
            return "SetSpinTop";
        case req::kGetSpinTop:
            return "GetSpinTop";
        case req::kSetOption:
            return "SetOption";
        case req::kSetCalibration:
            return "SetCalibration";
        case req::kEnable1:
            return "Enable1";
        case req::kDisable1:
            return "Disable1";
        case req::kEnable2:
            return "Enable2";
        case req::kDisable2:
            return "Disable2";
        case req::kGetDisabled1:
            return "GetDisabled1";
        case req::kGetDisabled2:
            return "GetDisabled2";
        case req::kGetPanelIds:
            return "GetPanelIds";
        case req::kIdentifyPanelStart:
            return "IdentifyPanelStart";
        case req::kIdentifyPanelEnd:
            return "IdentifyPanelEnd";
        case req::kSignalSettingsChanged:
            return "SignalSettingsChanged";
        case req::kRegisterSettingsEvent:
            return "RegisterSettingsEvent";
        case req::kSetOrientation:
            return "SetOrientation";
        case req::kVendorRequest:
            return "VendorRequest";
        default:
            return nullptr;
    }
}

const char* deviceName(uint32_t device) {
    switch (device) {
        case kDevPanel:
            return "TAPTPU";
        case kDevMulti:
            return "QTXTPUM";
        case kDevControl:
            return "TPSIMCTL";
        default:
            return "?";
    }
}

const char* kindName(uint32_t kind) {
    switch (kind) {
        case kLogRequest:
            return "ioctl";
        case kLogOpen:
            return "open";
        case kLogClose:
            return "close";
        case kLogTouch:
            return "touch";
        default:
            return "?";
    }
}

const char* resultName(const LogRecord& r) {
    if (r.flags & logflag::kProtocolError) return "protocol-error";
    if (r.flags & logflag::kUnplugged) return "unplugged";
    if (r.flags & logflag::kInjected) return "injected-failure";
    return static_cast<int32_t>(r.status) >= 0 ? "ok" : "failed";
}

std::string hexBytes(const uint8_t* bytes, uint32_t count) {
    std::string s;
    char two[4];
    for (uint32_t i = 0; i < count; ++i) {
        std::snprintf(two, sizeof two, i ? " %02X" : "%02X", bytes[i]);
        s += two;
    }
    return s;
}

namespace {
uint64_t micros(uint64_t ticks, uint64_t frequency) {
    return frequency ? ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency : 0;
}
}  // namespace

std::string formatReadable(const LogRecord& r, uint64_t frequency, uint64_t originTicks) {
    const uint64_t us = micros(r.ticks - originTicks, frequency);
    char line[256];
    const char* name = r.kind == kLogRequest ? requestName(r.code) : "";
    std::snprintf(line, sizeof line, "%6u %7llu.%06llu s  pid %-5u %-7s %-5s", r.seq,
                  static_cast<unsigned long long>(us / 1000000), static_cast<unsigned long long>(us % 1000000), r.pid,
                  deviceName(r.device), kindName(r.kind));
    std::string s = line;
    if (r.kind == kLogRequest) {
        std::snprintf(line, sizeof line, " 0x%06X %-21s in=%-3u out=%-3u", r.code, name ? name : "(unknown)", r.inSize,
                      r.outSize);
        s += line;
    }
    if (r.kind == kLogTouch) {
        const auto port = static_cast<int32_t>(tp::get32(r.in));
        if (r.code == kNoScreen)
            std::snprintf(line, sizeof line, " port %-5d no identification", port);
        else
            std::snprintf(line, sizeof line, " port %-5d taken for screen %u", port, (r.code >> 28) + 1);
        s += line;
    }
    std::snprintf(line, sizeof line, " %s", resultName(r));
    s += line;
    if (static_cast<int32_t>(r.status) < 0) {
        std::snprintf(line, sizeof line, " (0x%08X)", r.status);
        s += line;
    }
    if (r.inStored) {
        s += "  [" + hexBytes(r.in, r.inStored);
        s += r.inStored < r.inSize ? " ...]" : "]";
    }
    return s;
}

std::string formatMachine(const LogRecord& r, uint64_t frequency) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "seq=%u us=%llu pid=%u dev=%s kind=%s code=0x%06X in=%u out=%u status=0x%08X result=%s", r.seq,
                  static_cast<unsigned long long>(micros(r.ticks, frequency)), r.pid, deviceName(r.device),
                  kindName(r.kind), r.code, r.inSize, r.outSize, r.status, resultName(r));
    std::string s = line;
    s += " bytes=";
    for (uint32_t i = 0; i < r.inStored; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02X", r.in[i]);
        s += two;
    }
    return s;
}

}  // namespace tpsim
