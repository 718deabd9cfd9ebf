// The simulated touch-panel driver: a kernel-mode test fixture for Wine. It
// answers every request of the suite from simulated state, refuses requests
// that break the channel's rules (and logs them as protocol errors), and
// takes commands from the control tool on its own control device.
#include <ntifs.h>

#include "sim_protocol.h"

namespace {

using namespace tpsim;

// One rule per request of the suite: the device it belongs to, the exact
// input size and the accepted output sizes.
struct Rule {
    uint32_t code;
    uint32_t device;
    uint32_t in;
    uint32_t outMin;
    uint32_t outMax;
};

constexpr Rule kRules[] = {
    {tp::req::kIdentifyMultiStart, kDevMulti, 4, 0, 0},
    {tp::req::kIdentifyMultiEnd, kDevMulti, 0, 0, 0},
    {tp::req::kSetMonitorLayout, kDevMulti, tp::kMonitorLayoutBlockSize, 0, 0},
    {tp::req::kRegisterPanelEvent, kDevPanel, tp::kEventRegistrationSize, 0, 0},
    {tp::req::kReadPanelEvent, kDevPanel, 0, tp::kPanelEventWordSize, tp::kPanelEventWordSize},
    {tp::req::kButtonSecondary, kDevPanel, 0, 0, 0},
    {tp::req::kButtonPrimary, kDevPanel, 0, 0, 0},
    {tp::req::kButtonsSwapped, kDevPanel, 0, 0, 0},
    {tp::req::kButtonsNotSwapped, kDevPanel, 0, 0, 0},
    {tp::req::kSetSpinTop, kDevPanel, 4, 0, 0},
    {tp::req::kGetSpinTop, kDevPanel, 0, 4, 4},
    {tp::req::kSetOption, kDevPanel, 4, 0, 0},
    {tp::req::kSetCalibration, kDevPanel, tp::kCalibrationTableBlockSize, 0, 0},
    {tp::req::kEnable1, kDevPanel, 0, 0, 0},
    {tp::req::kDisable1, kDevPanel, 0, 0, 0},
    {tp::req::kEnable2, kDevPanel, 0, 0, 0},
    {tp::req::kDisable2, kDevPanel, 0, 0, 0},
    {tp::req::kGetDisabled1, kDevPanel, 0, 4, 4},
    {tp::req::kGetDisabled2, kDevPanel, 0, 4, 4},
    {tp::req::kGetPanelIds, kDevPanel, 0, tp::kPanelIdTableSize, tp::kPanelIdTableSize},
    {tp::req::kIdentifyPanelStart, kDevPanel, 4, 0, 0},
    {tp::req::kIdentifyPanelEnd, kDevPanel, 0, 0, 0},
    {tp::req::kSignalSettingsChanged, kDevPanel, 0, 0, 0},
    {tp::req::kRegisterSettingsEvent, kDevPanel, tp::kEventRegistrationSize, 0, 0},
    {tp::req::kSetOrientation, kDevPanel, 4, 0, 0},
    {tp::req::kVendorRequest, kDevPanel, tp::kVendorRequestSize, 0, tp::kVendorAnswerSize},
};

const Rule* findRule(uint32_t code) {
    for (const Rule& r : kRules)
        if (r.code == code) return &r;
    return nullptr;
}

// A caller's event kept until it is signalled. On Wine the reference comes
// from a duplicate handle in our own process, which stays open with it.
struct Registration {
    PKEVENT event;
    HANDLE duplicate;
};

struct Calibration {
    uint32_t port;
    uint8_t block[tp::kCalibrationTableBlockSize];
};

struct State {
    bool plugged;
    int32_t panels[tp::kPanelSlots];
    bool buttonSecondary;
    bool swapped;
    bool swapKnown;
    uint32_t option;
    bool optionSet;
    uint32_t orientation;
    bool orientationSet;
    bool layoutSet;
    uint8_t layout[tp::kMonitorLayoutBlockSize];
    bool identifyPanelActive;
    uint32_t identifyPanelWord;
    bool identifyMultiActive;
    uint32_t identifyMultiWord;
    uint32_t spinTop;
    uint32_t disabled1;
    uint32_t disabled2;
    uint32_t events[kMaxPendingEvents];
    uint32_t eventHead;
    uint32_t eventCount;
    Registration panelRegistration;
    Registration settingsRegistrations[kMaxSettingsRegistrations];
    uint32_t settingsRegistrationCount;
    uint8_t vendorAnswer[tp::kVendorAnswerSize];
    uint32_t vendorAnswerLength;
    bool lastVendorSet;
    uint8_t lastVendor[tp::kVendorRequestSize];
    Calibration calibration[kCalibrationSlots];
    uint32_t calibrationCount;
    bool failAll;
    uint32_t failCodes[kMaxFailCodes];
    uint32_t failCount;
    uint32_t protocolErrors;
    uint32_t signalsSent;
    uint32_t identified[tp::kMaxMonitors];
};

struct Log {
    LogRecord records[kLogCapacity];
    uint32_t nextSeq;
    uint32_t oldestSeq;
};

State g_state;
Log g_log;
KSPIN_LOCK g_lock;
LARGE_INTEGER g_frequency;
PDEVICE_OBJECT g_devices[3];

struct DeviceName {
    const wchar_t* device;
    const wchar_t* link;
    uint32_t kind;
};

constexpr DeviceName kDeviceNames[] = {
    {L"\\Device\\TAPTPU", L"\\DosDevices\\TAPTPU", kDevPanel},
    {L"\\Device\\QTXTPUM", L"\\DosDevices\\QTXTPUM", kDevMulti},
    {L"\\Device\\TPSIMCTL", L"\\DosDevices\\TPSIMCTL", kDevControl},
};

struct Extension {
    uint32_t kind;
};

class Lock {
public:
    Lock() { KeAcquireSpinLock(&g_lock, &irql_); }
    ~Lock() { KeReleaseSpinLock(&g_lock, irql_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    KIRQL irql_;
};

void copyBytes(void* to, const void* from, uint32_t n) {
    auto* d = static_cast<uint8_t*>(to);
    auto* s = static_cast<const uint8_t*>(from);
    for (uint32_t i = 0; i < n; ++i) d[i] = s[i];
}

void zeroBytes(void* to, uint32_t n) {
    auto* d = static_cast<volatile uint8_t*>(to);
    for (uint32_t i = 0; i < n; ++i) d[i] = 0;
}

// Caller holds the lock.
void appendLog(uint32_t device, uint32_t kind, uint32_t code, const uint8_t* in, uint32_t inSize, uint32_t outSize,
               NTSTATUS status, uint32_t flags) {
    LogRecord& r = g_log.records[g_log.nextSeq % kLogCapacity];
    r.seq = g_log.nextSeq++;
    r.ticks = static_cast<uint64_t>(KeQueryPerformanceCounter(nullptr).QuadPart);
    r.device = device;
    r.kind = kind;
    r.code = code;
    r.inSize = inSize;
    r.outSize = outSize;
    r.status = static_cast<uint32_t>(status);
    r.flags = flags;
    r.pid = static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(PsGetCurrentProcessId()));
    r.inStored = in ? (inSize < kLogInputBytes ? inSize : kLogInputBytes) : 0;
    copyBytes(r.in, in, r.inStored);
    if (g_log.nextSeq - g_log.oldestSeq > kLogCapacity) g_log.oldestSeq = g_log.nextSeq - kLogCapacity;
    if (flags & logflag::kProtocolError) ++g_state.protocolErrors;
}

void releaseRegistration(Registration& reg, bool signal) {
    if (reg.event) {
        if (signal) KeSetEvent(reg.event, IO_NO_INCREMENT, FALSE);
        ObDereferenceObject(reg.event);
    }
    if (reg.duplicate) ZwClose(reg.duplicate);
    reg.event = nullptr;
    reg.duplicate = nullptr;
}

// Keeps the caller's event. Real Windows dispatches in the caller's context,
// so its handle resolves directly; Wine runs us in winedevice, where the
// handle has to be duplicated out of the calling process first.
NTSTATUS referenceCallerEvent(uint32_t handleValue, Registration* out) {
    // Handles cross the channel as 32 bits; user handles are small positive values.
    const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(handleValue));
    PVOID object = nullptr;
    NTSTATUS status = ObReferenceObjectByHandle(handle, EVENT_MODIFY_STATE, (POBJECT_TYPE)ExEventObjectType, UserMode,
                                                &object, nullptr);
    if (NT_SUCCESS(status)) {
        out->event = static_cast<PKEVENT>(object);
        out->duplicate = nullptr;
        return status;
    }
    CLIENT_ID client;
    client.UniqueProcess = PsGetCurrentProcessId();
    client.UniqueThread = nullptr;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    HANDLE process = nullptr;
    status = ZwOpenProcess(&process, PROCESS_DUP_HANDLE, &attributes, &client);
    if (!NT_SUCCESS(status)) return status;
    HANDLE duplicate = nullptr;
    status = ZwDuplicateObject(process, handle, NtCurrentProcess(), &duplicate, EVENT_MODIFY_STATE | SYNCHRONIZE, 0, 0);
    ZwClose(process);
    if (!NT_SUCCESS(status)) return status;
    status = ObReferenceObjectByHandle(duplicate, EVENT_MODIFY_STATE, (POBJECT_TYPE)ExEventObjectType, KernelMode,
                                       &object, nullptr);
    if (!NT_SUCCESS(status)) {
        ZwClose(duplicate);
        return status;
    }
    out->event = static_cast<PKEVENT>(object);
    out->duplicate = duplicate;
    return STATUS_SUCCESS;
}

// Registrations leave the state under the lock; they are signalled or
// dropped after it, where dereferencing and closing handles is allowed.
struct SignalList {
    struct Item {
        Registration reg;
        bool signal;
    };
    Item items[kMaxSettingsRegistrations + 2];
    uint32_t count = 0;

    void take(Registration& reg, bool signal) {
        if (!reg.event) return;
        items[count++] = {reg, signal};
        reg = {};
    }
    void finish() {
        for (uint32_t i = 0; i < count; ++i) releaseRegistration(items[i].reg, items[i].signal);
        count = 0;
    }
};

// Caller holds the lock.
void wakePanelReader(SignalList& signals) {
    if (g_state.eventCount == 0 || !g_state.panelRegistration.event) return;
    signals.take(g_state.panelRegistration, true);
    ++g_state.signalsSent;
}

void resetState(SignalList& dropped) {
    dropped.take(g_state.panelRegistration, false);
    for (uint32_t i = 0; i < g_state.settingsRegistrationCount; ++i)
        dropped.take(g_state.settingsRegistrations[i], false);
    zeroBytes(&g_state, sizeof g_state);
    g_state.plugged = true;
    g_state.panels[0] = 0;  // one panel on port 0
    for (int i = 1; i < tp::kPanelSlots; ++i) g_state.panels[i] = tp::kEmptySlot;
    // A good answer to the status request of the calibration command.
    g_state.vendorAnswer[0] = 1;
    g_state.vendorAnswer[1] = 0;
    g_state.vendorAnswerLength = 2;
    for (uint32_t& port : g_state.identified) port = kNoPanel;
}

bool failureInjected(uint32_t code) {
    if (g_state.failAll) return true;
    for (uint32_t i = 0; i < g_state.failCount; ++i)
        if (g_state.failCodes[i] == code) return true;
    return false;
}

uint32_t inputDword(const uint8_t* in) { return tp::get32(in); }

bool monitorWordValid(uint32_t word) { return (word & 0x0FFFFFFFu) == 0 && (word >> 28) < tp::kMaxMonitors; }

struct Outcome {
    NTSTATUS status;
    uint32_t flags;
    ULONG_PTR written;
};

Outcome protocolError(NTSTATUS status) { return {status, logflag::kProtocolError, 0}; }

uint32_t calibrationPort(const uint8_t* block) {
    const uint32_t flags = tp::get32(block);
    if (flags & 1) return tp::get16(block + 4);
    if (flags & 2) return tp::get16(block + 114);
    if (flags & 4) return tp::get16(block + 274);
    return kNoCalibrationPort;
}

void storeCalibration(const uint8_t* block) {
    const uint32_t port = calibrationPort(block);
    uint32_t slot = 0;
    while (slot < g_state.calibrationCount && g_state.calibration[slot].port != port) ++slot;
    if (slot == kCalibrationSlots) slot = kCalibrationSlots - 1;  // the newest wins when full
    if (slot == g_state.calibrationCount) ++g_state.calibrationCount;
    g_state.calibration[slot].port = port;
    copyBytes(g_state.calibration[slot].block, block, tp::kCalibrationTableBlockSize);
}

// Everything after the size and device checks, under the lock. `registration`
// holds the caller's event for the two registering requests.
Outcome serveRequest(uint32_t code, const uint8_t* in, uint32_t outSize, uint8_t* out, Registration& registration,
                     SignalList& signals) {
    namespace req = tp::req;
    switch (code) {
        case req::kIdentifyMultiStart: {
            const uint32_t word = inputDword(in);
            if (!monitorWordValid(word)) return protocolError(STATUS_INVALID_PARAMETER);
            g_state.identifyMultiActive = true;
            g_state.identifyMultiWord = word;
            g_state.identified[word >> 28] = kNoPanel;  // OK without a touch leaves the screen without a panel
            break;
        }
        case req::kIdentifyMultiEnd:
            g_state.identifyMultiActive = false;
            break;
        case req::kSetMonitorLayout:
            copyBytes(g_state.layout, in, tp::kMonitorLayoutBlockSize);
            g_state.layoutSet = true;
            break;
        case req::kRegisterPanelEvent:
            signals.take(g_state.panelRegistration, false);  // a renewed registration replaces the old one
            g_state.panelRegistration = registration;
            registration = {};
            wakePanelReader(signals);
            break;
        case req::kReadPanelEvent: {
            if (g_state.eventCount == 0) return {STATUS_NO_MORE_ENTRIES, 0, 0};
            tp::put32(out, g_state.events[g_state.eventHead]);
            g_state.eventHead = (g_state.eventHead + 1) % kMaxPendingEvents;
            --g_state.eventCount;
            wakePanelReader(signals);
            return {STATUS_SUCCESS, 0, tp::kPanelEventWordSize};
        }
        case req::kButtonSecondary:
            g_state.buttonSecondary = true;
            break;
        case req::kButtonPrimary:
            g_state.buttonSecondary = false;
            break;
        case req::kButtonsSwapped:
        case req::kButtonsNotSwapped:
            g_state.swapped = code == req::kButtonsSwapped;
            g_state.swapKnown = true;
            break;
        case req::kSetSpinTop:
            g_state.spinTop = inputDword(in);
            break;
        case req::kGetSpinTop:
            tp::put32(out, g_state.spinTop);
            return {STATUS_SUCCESS, 0, 4};
        case req::kSetOption:
            g_state.option = inputDword(in);
            g_state.optionSet = true;
            break;
        case req::kSetCalibration:
            storeCalibration(in);
            break;
        case req::kEnable1:
        case req::kDisable1:
            g_state.disabled1 = code == req::kDisable1 ? 1 : 0;
            break;
        case req::kEnable2:
        case req::kDisable2:
            g_state.disabled2 = code == req::kDisable2 ? 1 : 0;
            break;
        case req::kGetDisabled1:
        case req::kGetDisabled2:
            tp::put32(out, code == req::kGetDisabled1 ? g_state.disabled1 : g_state.disabled2);
            return {STATUS_SUCCESS, 0, 4};
        case req::kGetPanelIds: {
            tp::PanelIdTable table;
            for (int i = 0; i < tp::kPanelSlots; ++i) table.port[i] = g_state.panels[i];
            tp::encodePanelIdTable(out, table);
            return {STATUS_SUCCESS, 0, tp::kPanelIdTableSize};
        }
        case req::kIdentifyPanelStart: {
            const uint32_t word = inputDword(in);
            if (!monitorWordValid(word)) return protocolError(STATUS_INVALID_PARAMETER);
            g_state.identifyPanelActive = true;
            g_state.identifyPanelWord = word;
            break;
        }
        case req::kIdentifyPanelEnd:
            g_state.identifyPanelActive = false;
            break;
        case req::kSignalSettingsChanged:
            for (uint32_t i = 0; i < g_state.settingsRegistrationCount; ++i) {
                signals.take(g_state.settingsRegistrations[i], true);
                ++g_state.signalsSent;
            }
            g_state.settingsRegistrationCount = 0;
            break;
        case req::kRegisterSettingsEvent:
            // An agent that stops its workers leaves its registration behind, so
            // the oldest makes room rather than a live agent being refused.
            if (g_state.settingsRegistrationCount == kMaxSettingsRegistrations) {
                signals.take(g_state.settingsRegistrations[0], false);
                for (uint32_t i = 1; i < kMaxSettingsRegistrations; ++i)
                    g_state.settingsRegistrations[i - 1] = g_state.settingsRegistrations[i];
                --g_state.settingsRegistrationCount;
            }
            g_state.settingsRegistrations[g_state.settingsRegistrationCount++] = registration;
            registration = {};
            break;
        case req::kSetOrientation: {
            const uint32_t orientation = inputDword(in);
            if (orientation > 3) return protocolError(STATUS_INVALID_PARAMETER);
            g_state.orientation = orientation;
            g_state.orientationSet = true;
            break;
        }
        case req::kVendorRequest: {
            const tp::VendorRequest setup = tp::decodeVendorRequest(in);
            copyBytes(g_state.lastVendor, in, tp::kVendorRequestSize);
            g_state.lastVendorSet = true;
            if (setup.length > outSize) return protocolError(STATUS_BUFFER_TOO_SMALL);  // no room for the data stage
            if (!(setup.requestType & 0x80)) return {STATUS_SUCCESS, 0, 0};
            uint32_t n = setup.length < g_state.vendorAnswerLength ? setup.length : g_state.vendorAnswerLength;
            copyBytes(out, g_state.vendorAnswer, n);
            return {STATUS_SUCCESS, 0, n};
        }
        default:
            return protocolError(STATUS_INVALID_DEVICE_REQUEST);
    }
    return {STATUS_SUCCESS, 0, 0};
}

bool isRegistration(uint32_t code) {
    return code == tp::req::kRegisterPanelEvent || code == tp::req::kRegisterSettingsEvent;
}

NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

uint32_t deviceKind(PDEVICE_OBJECT device) { return static_cast<Extension*>(device->DeviceExtension)->kind; }

NTSTATUS productRequest(uint32_t device, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out,
                        uint32_t outSize, ULONG_PTR* written) {
    const Rule* rule = findRule(code);
    const bool shapeOk =
        rule && rule->device == device && rule->in == inSize && outSize >= rule->outMin && outSize <= rule->outMax;
    const uint8_t* logged = inSize ? in : nullptr;

    // The caller's event is resolved before taking the lock: it may need
    // to open the calling process.
    Registration registration{};
    NTSTATUS refStatus = STATUS_SUCCESS;
    bool badRegistration = false;
    if (shapeOk && isRegistration(code)) {
        badRegistration = tp::get16(in) != 0 || tp::get16(in + 2) != 0;
        if (!badRegistration) refStatus = referenceCallerEvent(tp::eventRegistrationHandle(in), &registration);
    }

    SignalList signals;
    Outcome outcome{};
    {
        Lock lock;
        if (!rule) {
            outcome = protocolError(STATUS_INVALID_DEVICE_REQUEST);
        } else if (rule->device != device) {
            outcome = protocolError(STATUS_INVALID_DEVICE_REQUEST);
        } else if (!shapeOk) {
            outcome = protocolError(STATUS_INVALID_BUFFER_SIZE);
        } else if (!g_state.plugged) {
            outcome = {STATUS_DEVICE_NOT_CONNECTED, logflag::kUnplugged, 0};
        } else if (failureInjected(code)) {
            outcome = {STATUS_UNSUCCESSFUL, logflag::kInjected, 0};
        } else if (badRegistration) {
            outcome = protocolError(STATUS_INVALID_PARAMETER);
        } else if (isRegistration(code) && !NT_SUCCESS(refStatus)) {
            outcome = {refStatus, 0, 0};
        } else {
            outcome = serveRequest(code, in, outSize, out, registration, signals);
        }
        appendLog(device, kLogRequest, code, logged, inSize, outSize, outcome.status, outcome.flags);
    }
    signals.finish();
    releaseRegistration(registration, false);  // still ours when the request failed
    *written = outcome.written;
    return outcome.status;
}

void encodeState(uint8_t* out) {
    uint32_t w[st::kCount] = {};
    w[st::kMagic] = kStateMagic;
    w[st::kPlugged] = g_state.plugged;
    for (int i = 0; i < tp::kPanelSlots; ++i) w[st::kPanels + i] = static_cast<uint32_t>(g_state.panels[i]);
    w[st::kButtonSecondary] = g_state.buttonSecondary;
    w[st::kSwapped] = g_state.swapped;
    w[st::kSwapKnown] = g_state.swapKnown;
    w[st::kOption] = g_state.option;
    w[st::kOptionSet] = g_state.optionSet;
    w[st::kOrientation] = g_state.orientation;
    w[st::kOrientationSet] = g_state.orientationSet;
    w[st::kLayoutSet] = g_state.layoutSet;
    for (uint32_t i = 0; i < tp::kMonitorLayoutBlockSize / 4; ++i)
        w[st::kLayout + i] = tp::get32(g_state.layout + 4 * i);
    w[st::kIdentifyPanelActive] = g_state.identifyPanelActive;
    w[st::kIdentifyPanelWord] = g_state.identifyPanelWord;
    w[st::kIdentifyMultiActive] = g_state.identifyMultiActive;
    w[st::kIdentifyMultiWord] = g_state.identifyMultiWord;
    w[st::kSpinTop] = g_state.spinTop;
    w[st::kDisabled1] = g_state.disabled1;
    w[st::kDisabled2] = g_state.disabled2;
    w[st::kPendingEventCount] = g_state.eventCount;
    for (uint32_t i = 0; i < g_state.eventCount && i < 16; ++i)
        w[st::kPendingEvents + i] = g_state.events[(g_state.eventHead + i) % kMaxPendingEvents];
    w[st::kPanelRegistered] = g_state.panelRegistration.event != nullptr;
    w[st::kSettingsRegistrations] = g_state.settingsRegistrationCount;
    w[st::kVendorAnswerLength] = g_state.vendorAnswerLength;
    w[st::kLastVendorSet] = g_state.lastVendorSet;
    w[st::kLastVendorLow] = tp::get32(g_state.lastVendor);
    w[st::kLastVendorHigh] = tp::get32(g_state.lastVendor + 4);
    w[st::kCalibrationCount] = g_state.calibrationCount;
    for (uint32_t i = 0; i < kCalibrationSlots; ++i)
        w[st::kCalibrationKeys + i] = i < g_state.calibrationCount ? g_state.calibration[i].port : kNoCalibrationPort;
    w[st::kFailAll] = g_state.failAll;
    w[st::kFailCount] = g_state.failCount;
    for (uint32_t i = 0; i < g_state.failCount; ++i) w[st::kFailCodes + i] = g_state.failCodes[i];
    w[st::kNextSeq] = g_log.nextSeq;
    w[st::kProtocolErrors] = g_state.protocolErrors;
    w[st::kFrequencyLow] = static_cast<uint32_t>(g_frequency.QuadPart);
    w[st::kFrequencyHigh] = static_cast<uint32_t>(static_cast<uint64_t>(g_frequency.QuadPart) >> 32);
    w[st::kSignalsSent] = g_state.signalsSent;
    for (int i = 0; i < tp::kMaxMonitors; ++i) w[st::kIdentified + i] = g_state.identified[i];
    for (uint32_t i = 0; i < st::kCount; ++i) tp::put32(out + 4 * i, w[i]);
}

ULONG_PTR readLog(uint32_t from, uint8_t* out, uint32_t outSize) {
    uint32_t seq = from < g_log.oldestSeq ? g_log.oldestSeq : from;
    uint32_t count = 0;
    uint8_t* p = out + kLogHeaderSize;
    while (seq < g_log.nextSeq && kLogHeaderSize + (count + 1) * kLogRecordSize <= outSize) {
        encodeLogRecord(p, g_log.records[seq % kLogCapacity]);
        p += kLogRecordSize;
        ++seq;
        ++count;
    }
    encodeLogHeader(out, {count, g_log.oldestSeq, g_log.nextSeq});
    return kLogHeaderSize + count * kLogRecordSize;
}

void showPanelDevices(bool show);

bool panelConnected(uint32_t port) {
    for (int32_t slot : g_state.panels)
        if (slot != tp::kEmptySlot && static_cast<uint32_t>(slot) == port) return true;
    return false;
}

// A touch is taken as the screen's panel while both devices identify the
// same screen; a panel belongs to one screen at a time.
void touchPanel(uint32_t port, const uint8_t* in) {
    uint32_t word = kNoScreen;
    if (g_state.identifyPanelActive && g_state.identifyMultiActive &&
        g_state.identifyPanelWord == g_state.identifyMultiWord) {
        word = g_state.identifyMultiWord;
        for (uint32_t& assigned : g_state.identified)
            if (assigned == port) assigned = kNoPanel;
        g_state.identified[word >> 28] = port;
    }
    appendLog(kDevPanel, kLogTouch, word, in, 4, 0, STATUS_SUCCESS, 0);
}

bool setFailure(uint32_t code, bool on) {
    if (code == kAllCodes) {
        g_state.failAll = on;
        return true;
    }
    if (code == kNoFailures) {
        g_state.failAll = false;
        g_state.failCount = 0;
        return true;
    }
    for (uint32_t i = 0; i < g_state.failCount; ++i) {
        if (g_state.failCodes[i] != code) continue;
        if (!on) g_state.failCodes[i] = g_state.failCodes[--g_state.failCount];
        return true;
    }
    if (!on) return true;
    if (g_state.failCount == kMaxFailCodes) return false;
    g_state.failCodes[g_state.failCount++] = code;
    return true;
}

NTSTATUS controlRequest(uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                        ULONG_PTR* written) {
    SignalList signals;
    NTSTATUS status = STATUS_SUCCESS;
    bool plugged = true;
    *written = 0;
    {
        Lock lock;
        switch (code) {
            case ctl::kReset:
                resetState(signals);
                g_log.oldestSeq = g_log.nextSeq;
                break;
            case ctl::kInjectEvent:
                if (inSize != 4) {
                    status = STATUS_INVALID_BUFFER_SIZE;
                    break;
                }
                if (g_state.eventCount == kMaxPendingEvents) {
                    status = STATUS_INSUFFICIENT_RESOURCES;
                    break;
                }
                g_state.events[(g_state.eventHead + g_state.eventCount) % kMaxPendingEvents] = tp::get32(in);
                ++g_state.eventCount;
                wakePanelReader(signals);
                break;
            case ctl::kSetPanels: {
                if (inSize != tp::kPanelIdTableSize) {
                    status = STATUS_INVALID_BUFFER_SIZE;
                    break;
                }
                const tp::PanelIdTable table = tp::decodePanelIdTable(in);
                for (int i = 0; i < tp::kPanelSlots; ++i) g_state.panels[i] = table.port[i];
                break;
            }
            case ctl::kSetSpinTop:
                if (inSize != 4) {
                    status = STATUS_INVALID_BUFFER_SIZE;
                    break;
                }
                g_state.spinTop = tp::get32(in);
                break;
            case ctl::kSetDisabled:
                if (inSize != 8 || (tp::get32(in) != 1 && tp::get32(in) != 2)) {
                    status = STATUS_INVALID_PARAMETER;
                    break;
                }
                (tp::get32(in) == 1 ? g_state.disabled1 : g_state.disabled2) = tp::get32(in + 4);
                break;
            case ctl::kSetVendorAnswer: {
                if (inSize < 4) {
                    status = STATUS_INVALID_BUFFER_SIZE;
                    break;
                }
                const uint32_t n = tp::get32(in);
                if (n > tp::kVendorAnswerSize || inSize != 4 + n) {
                    status = STATUS_INVALID_PARAMETER;
                    break;
                }
                copyBytes(g_state.vendorAnswer, in + 4, n);
                g_state.vendorAnswerLength = n;
                break;
            }
            case ctl::kSetFailure:
                if (inSize != 8) {
                    status = STATUS_INVALID_BUFFER_SIZE;
                    break;
                }
                if (!setFailure(tp::get32(in), tp::get32(in + 4) != 0)) status = STATUS_INSUFFICIENT_RESOURCES;
                break;
            case ctl::kSetPlugged:
                if (inSize != 4) {
                    status = STATUS_INVALID_BUFFER_SIZE;
                    break;
                }
                g_state.plugged = tp::get32(in) != 0;
                plugged = g_state.plugged;
                break;
            case ctl::kReadLog:
                if (inSize != 4 || outSize < kLogHeaderSize) {
                    status = STATUS_INVALID_BUFFER_SIZE;
                    break;
                }
                *written = readLog(tp::get32(in), out, outSize);
                break;
            case ctl::kClearLog:
                g_log.oldestSeq = g_log.nextSeq;
                break;
            case ctl::kGetState:
                if (outSize < kStateSize) {
                    status = STATUS_BUFFER_TOO_SMALL;
                    break;
                }
                encodeState(out);
                *written = kStateSize;
                break;
            case ctl::kGetCalibration: {
                if (inSize != 4 || outSize < kCalibrationAnswerSize) {
                    status = STATUS_INVALID_BUFFER_SIZE;
                    break;
                }
                const uint32_t slot = tp::get32(in);
                if (slot >= g_state.calibrationCount) {
                    status = STATUS_NO_MORE_ENTRIES;
                    break;
                }
                tp::put32(out, g_state.calibration[slot].port);
                copyBytes(out + 4, g_state.calibration[slot].block, tp::kCalibrationTableBlockSize);
                *written = kCalibrationAnswerSize;
                break;
            }
            case ctl::kTouchPanel:
                if (inSize != 4) {
                    status = STATUS_INVALID_BUFFER_SIZE;
                    break;
                }
                if (!panelConnected(tp::get32(in))) {
                    status = STATUS_NOT_FOUND;
                    break;
                }
                touchPanel(tp::get32(in), in);
                break;
            default:
                status = STATUS_INVALID_DEVICE_REQUEST;
        }
    }
    signals.finish();
    if (code == ctl::kReset || code == ctl::kSetPlugged) showPanelDevices(plugged);
    return status;
}

NTSTATUS NTAPI dispatchCreate(PDEVICE_OBJECT device, PIRP irp) {
    const uint32_t kind = deviceKind(device);
    if (kind == kDevControl) return complete(irp, STATUS_SUCCESS, 0);
    NTSTATUS status = STATUS_SUCCESS;
    uint32_t flags = 0;
    {
        Lock lock;
        if (!g_state.plugged) {
            // What a caller sees when the panel's driver is gone.
            status = STATUS_OBJECT_NAME_NOT_FOUND;
            flags = logflag::kUnplugged;
        }
        appendLog(kind, kLogOpen, 0, nullptr, 0, 0, status, flags);
    }
    return complete(irp, status, 0);
}

NTSTATUS NTAPI dispatchClose(PDEVICE_OBJECT device, PIRP irp) {
    const uint32_t kind = deviceKind(device);
    if (kind != kDevControl) {
        Lock lock;
        appendLog(kind, kLogClose, 0, nullptr, 0, 0, STATUS_SUCCESS, 0);
    }
    return complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS NTAPI dispatchCleanup(PDEVICE_OBJECT, PIRP irp) { return complete(irp, STATUS_SUCCESS, 0); }

NTSTATUS NTAPI dispatchControl(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const uint32_t code = stack->Parameters.DeviceIoControl.IoControlCode;
    const uint32_t inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    const uint32_t outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    // METHOD_BUFFERED: one system buffer holds the input and receives the output,
    // so the input is copied out before any answer is written.
    auto* buffer = static_cast<uint8_t*>(irp->AssociatedIrp.SystemBuffer);
    uint8_t input[tp::kCalibrationTableBlockSize + 4];
    const uint32_t kept = inSize < sizeof input ? inSize : sizeof input;
    if (buffer && kept) copyBytes(input, buffer, kept);
    ULONG_PTR written = 0;
    NTSTATUS status;
    if (deviceKind(device) == kDevControl) {
        status = inSize > sizeof input ? STATUS_INVALID_BUFFER_SIZE
                                       : controlRequest(code, input, inSize, buffer, outSize, &written);
    } else if (inSize > sizeof input) {
        Lock lock;
        appendLog(deviceKind(device), kLogRequest, code, input, inSize, outSize, STATUS_INVALID_BUFFER_SIZE,
                  logflag::kProtocolError);
        status = STATUS_INVALID_BUFFER_SIZE;
    } else {
        status = productRequest(deviceKind(device), code, input, inSize, buffer, outSize, &written);
    }
    return complete(irp, status, NT_SUCCESS(status) ? written : 0);
}

// Wine opens a device without asking the driver whether it may, so an
// unplugged panel takes its names away: opens then fail as they do when the
// real driver is not loaded. Opens by the device name itself are refused
// in dispatchCreate.
void showPanelDevices(bool show) {
    for (int i = 0; i < 2; ++i) {
        UNICODE_STRING link, name;
        RtlInitUnicodeString(&link, kDeviceNames[i].link);
        RtlInitUnicodeString(&name, kDeviceNames[i].device);
        IoDeleteSymbolicLink(&link);
        if (show) IoCreateSymbolicLink(&link, &name);
    }
}

// The kernel calls its routines with its own convention (stdcall on x86).
void NTAPI unload(PDRIVER_OBJECT) {
    SignalList dropped;
    {
        Lock lock;
        resetState(dropped);
    }
    dropped.finish();
    for (int i = 2; i >= 0; --i) {
        if (!g_devices[i]) continue;
        UNICODE_STRING link;
        RtlInitUnicodeString(&link, kDeviceNames[i].link);
        IoDeleteSymbolicLink(&link);
        IoDeleteDevice(g_devices[i]);
        g_devices[i] = nullptr;
    }
}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    KeInitializeSpinLock(&g_lock);
    KeQueryPerformanceCounter(&g_frequency);
    {
        SignalList none;
        resetState(none);  // nothing registered yet
    }
    g_log.nextSeq = 0;
    g_log.oldestSeq = 0;

    driver->MajorFunction[IRP_MJ_CREATE] = dispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatchClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = dispatchCleanup;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatchControl;
    driver->DriverUnload = unload;

    for (int i = 0; i < 3; ++i) {
        UNICODE_STRING name;
        RtlInitUnicodeString(&name, kDeviceNames[i].device);
        PDEVICE_OBJECT device = nullptr;
        NTSTATUS status = IoCreateDevice(driver, sizeof(Extension), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
        if (!NT_SUCCESS(status)) {
            unload(driver);
            return status;
        }
        static_cast<Extension*>(device->DeviceExtension)->kind = kDeviceNames[i].kind;
        device->Flags |= DO_BUFFERED_IO;
        g_devices[i] = device;
        UNICODE_STRING link;
        RtlInitUnicodeString(&link, kDeviceNames[i].link);
        status = IoCreateSymbolicLink(&link, &name);
        if (!NT_SUCCESS(status)) {
            unload(driver);
            return status;
        }
        device->Flags &= ~DO_DEVICE_INITIALIZING;
    }
    return STATUS_SUCCESS;
}
