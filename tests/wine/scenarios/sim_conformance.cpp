// The simulated driver as a conformance checker: every request of the
// channel is accepted on its own device with its own sizes, answered from
// the simulated state, and refused (as a logged protocol error) otherwise.
#include <cstring>

#include "tpt.h"

namespace {

using tpsim::LogRecord;
namespace st = tpsim::st;
namespace req = tp::req;

constexpr const char* kTap = tp::kPanelDevicePath;
constexpr const char* kMulti = tp::kMultiDevicePath;

// The channel's table, written down independently of the simulator's.
struct Row {
    uint32_t code;
    const char* device;
    uint32_t in;
    uint32_t out;  // the vendor request's output is "up to" this
};

const Row kTable[] = {
    {0x222004, kMulti, 4, 0}, {0x222008, kMulti, 0, 0}, {0x22200c, kMulti, 116, 0}, {0x222014, kTap, 8, 0},
    {0x222018, kTap, 0, 4},   {0x22201c, kTap, 0, 0},   {0x222020, kTap, 0, 0},     {0x222024, kTap, 0, 0},
    {0x222028, kTap, 0, 0},   {0x22202c, kTap, 4, 0},   {0x222030, kTap, 0, 4},     {0x222034, kTap, 4, 0},
    {0x222038, kTap, 596, 0}, {0x22204c, kTap, 0, 0},   {0x222050, kTap, 0, 0},     {0x222054, kTap, 0, 0},
    {0x222058, kTap, 0, 0},   {0x22205c, kTap, 0, 4},   {0x222060, kTap, 0, 4},     {0x222064, kTap, 0, 36},
    {0x222068, kTap, 4, 0},   {0x22206c, kTap, 0, 0},   {0x222070, kTap, 0, 0},     {0x222074, kTap, 8, 0},
    {0x222078, kTap, 4, 0},   {0x222100, kTap, 8, 255},
};

const char* otherDevice(const char* device) { return device == kTap ? kMulti : kTap; }

// Input that is valid in content, padded or cut to `size`.
std::vector<uint8_t> validInput(const Row& row, uint32_t size, const tpt::Event& event) {
    std::vector<uint8_t> in(size > row.in ? size : row.in, 0);
    switch (row.code) {
        case 0x222004:
        case 0x222068:
            tp::put32(in.data(), tp::monitorIndexWord(2));
            break;
        case 0x222014:
        case 0x222074:
            std::memcpy(in.data(), event.registration(), 8);
            break;
        case 0x222034:
            tp::put32(in.data(), 0x1A0800A4);
            break;
        case 0x222078:
            tp::put32(in.data(), 1);
            break;
        case 0x222038:
            tp::put32(in.data(), 1);
            tp::put16(in.data() + 4, 7);
            break;
        case 0x222100: {
            const uint8_t status[8] = {0xC0, 0xFF, 0, 0, 0, 0, 2, 0};
            std::memcpy(in.data(), status, 8);
            break;
        }
        default:
            for (uint32_t i = 0; i < row.in; ++i) in[i] = static_cast<uint8_t>(0x11 * (i % 15 + 1));
    }
    in.resize(size);
    return in;
}

bool lastRequestIs(tpt::Sim& sim, const Row& row, const char* device, bool protocolError) {
    const std::vector<LogRecord> requests = sim.records(tpsim::kLogRequest);
    if (requests.size() != 1) return false;
    const LogRecord& r = requests.back();
    const uint32_t dev = device == kTap ? tpsim::kDevPanel : tpsim::kDevMulti;
    const bool isError = (r.flags & tpsim::logflag::kProtocolError) != 0;
    return r.code == row.code && r.device == dev && isError == protocolError;
}

void everyRequestRightAndWrong() {
    tpt::group("every request with its own sizes is accepted, any other shape is a protocol error");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    uint32_t wrongShapes = 0;
    for (const Row& row : kTable) {
        const std::string name = tpsim::requestName(row.code) ? tpsim::requestName(row.code) : "?";
        tpt::Event event;
        uint8_t out[300];

        if (row.code == req::kReadPanelEvent) TPT_CHECK(sim.injectEvent(tp::encodePanelEvent(0, tp::kEventTouch)));
        sim.mark();
        std::vector<uint8_t> in = validInput(row, row.in, event);
        tpt::Request r = tpt::request(row.device, row.code, in.data(), row.in, out, row.out);
        TPT_CHECK_MSG(r.opened && r.ok, name + " with its own sizes, error " + std::to_string(r.error));
        TPT_CHECK_MSG(lastRequestIs(sim, row, row.device, false), name + " logged as accepted");
        if (row.in) {
            const std::vector<LogRecord> logged = sim.records(tpsim::kLogRequest);
            TPT_CHECK_MSG(
                !logged.empty() &&
                    logged.back().inStored == (row.in < tpsim::kLogInputBytes ? row.in : tpsim::kLogInputBytes) &&
                    std::memcmp(logged.back().in, in.data(), logged.back().inStored) == 0,
                name + " input bytes logged");
        }

        struct Shape {
            const char* what;
            const char* device;
            uint32_t in;
            uint32_t out;
        };
        std::vector<Shape> wrong = {{"input one byte longer", row.device, row.in + 1, row.out},
                                    {"on the other device", otherDevice(row.device), row.in, row.out},
                                    {"output one byte longer", row.device, row.in, row.out + 1}};
        if (row.in) wrong.push_back({"input one byte shorter", row.device, row.in - 1, row.out});
        if (row.out && row.code != req::kVendorRequest)
            wrong.push_back({"output one byte shorter", row.device, row.in, row.out - 1});
        for (const Shape& shape : wrong) {
            sim.mark();
            std::vector<uint8_t> bad = validInput(row, shape.in, event);
            tpt::Request w = tpt::request(shape.device, row.code, bad.data(), shape.in, out, shape.out);
            ++wrongShapes;
            TPT_CHECK_MSG(w.opened && !w.ok, name + " " + shape.what + " fails");
            TPT_CHECK_MSG(lastRequestIs(sim, row, shape.device, true),
                          name + " " + shape.what + " is a protocol error");
        }
    }
    // Codes outside the table, including the simulator's own control codes.
    for (uint32_t code : {tp::ctlCode(0x804), tp::ctlCode(0x841), tpsim::ctl::kReset, tpsim::ctl::kSetPlugged}) {
        sim.mark();
        uint8_t zero[4] = {};
        tpt::Request r = tpt::request(kTap, code, zero, 4);
        ++wrongShapes;
        TPT_CHECK_MSG(r.opened && !r.ok, "unknown code " + tpt::show(code) + " fails");
        const std::vector<LogRecord> logged = sim.records(tpsim::kLogRequest);
        TPT_CHECK(logged.size() == 1 && (logged[0].flags & tpsim::logflag::kProtocolError));
    }
    TPT_CHECK_EQ(sim.state()[st::kPlugged], 1u);  // the control code did not act
    TPT_CHECK_EQ(sim.state()[st::kProtocolErrors], wrongShapes);
}

void stateFollowsRequests() {
    tpt::group("requests change and report the simulated state");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    uint8_t in[600] = {}, out[256] = {};

    tp::put32(in, 0xCAFE);
    TPT_CHECK(tpt::request(kTap, req::kSetSpinTop, in, 4).ok);
    TPT_CHECK(tpt::request(kTap, req::kGetSpinTop, nullptr, 0, out, 4).ok);
    TPT_CHECK_EQ(tp::get32(out), 0xCAFEu);
    TPT_CHECK(sim.setSpinTop(0xFFFFFFFE));
    TPT_CHECK(tpt::request(kTap, req::kGetSpinTop, nullptr, 0, out, 4).ok);
    TPT_CHECK_EQ(tp::get32(out), 0xFFFFFFFEu);

    tp::put32(in, 0x12345678);
    TPT_CHECK(tpt::request(kTap, req::kSetOption, in, 4).ok);
    TPT_CHECK_EQ(sim.state()[st::kOption], 0x12345678u);
    tp::put32(in, 3);
    TPT_CHECK(tpt::request(kTap, req::kSetOrientation, in, 4).ok);
    tp::put32(in, 4);
    TPT_CHECK(!tpt::request(kTap, req::kSetOrientation, in, 4).ok);
    TPT_CHECK_EQ(sim.state()[st::kOrientation], 3u);

    for (uint32_t i = 0; i < 29; ++i) tp::put32(in + 4 * i, 0x01000000u * i + 7);
    TPT_CHECK(tpt::request(kMulti, req::kSetMonitorLayout, in, 116).ok);
    tpsim::State s = sim.state();
    TPT_CHECK_EQ(s[st::kLayoutSet], 1u);
    TPT_CHECK_EQ(s[st::kLayout + 0], 7u);
    TPT_CHECK_EQ(s[st::kLayout + 28], 0x1C000007u);

    TPT_CHECK(tpt::request(kTap, req::kButtonSecondary).ok);
    TPT_CHECK_EQ(sim.state()[st::kButtonSecondary], 1u);
    TPT_CHECK(tpt::request(kTap, req::kButtonPrimary).ok);
    TPT_CHECK_EQ(sim.state()[st::kButtonSecondary], 0u);
    TPT_CHECK_EQ(sim.state()[st::kSwapKnown], 0u);
    TPT_CHECK(tpt::request(kTap, req::kButtonsSwapped).ok);
    TPT_CHECK_EQ(sim.state()[st::kSwapped], 1u);
    TPT_CHECK(tpt::request(kTap, req::kButtonsNotSwapped).ok);
    TPT_CHECK_EQ(sim.state()[st::kSwapped], 0u);
    TPT_CHECK_EQ(sim.state()[st::kSwapKnown], 1u);

    tp::put32(in, tp::monitorIndexWord(8));
    TPT_CHECK(tpt::request(kTap, req::kIdentifyPanelStart, in, 4).ok);
    tp::put32(in, tp::monitorIndexWord(4));
    TPT_CHECK(tpt::request(kMulti, req::kIdentifyMultiStart, in, 4).ok);
    s = sim.state();
    TPT_CHECK_EQ(s[st::kIdentifyPanelActive], 1u);
    TPT_CHECK_EQ(s[st::kIdentifyPanelWord], 0x80000000u);
    TPT_CHECK_EQ(s[st::kIdentifyMultiWord], 0x40000000u);
    TPT_CHECK(tpt::request(kTap, req::kIdentifyPanelEnd).ok);
    TPT_CHECK_EQ(sim.state()[st::kIdentifyPanelActive], 0u);
    TPT_CHECK_EQ(sim.state()[st::kIdentifyMultiActive], 1u);
    TPT_CHECK(tpt::request(kMulti, req::kIdentifyMultiEnd).ok);
    TPT_CHECK_EQ(sim.state()[st::kIdentifyMultiActive], 0u);
    tp::put32(in, 9u << 28);  // there is no tenth monitor
    TPT_CHECK(!tpt::request(kTap, req::kIdentifyPanelStart, in, 4).ok);

    struct Switch {
        uint32_t on, off, query;
    };
    for (const Switch& sw : {Switch{req::kEnable1, req::kDisable1, req::kGetDisabled1},
                             Switch{req::kEnable2, req::kDisable2, req::kGetDisabled2}}) {
        TPT_CHECK(tpt::request(kTap, sw.off).ok);
        TPT_CHECK(tpt::request(kTap, sw.query, nullptr, 0, out, 4).ok);
        TPT_CHECK(tp::get32(out) != 0);
        TPT_CHECK(tpt::request(kTap, sw.on).ok);
        TPT_CHECK(tpt::request(kTap, sw.query, nullptr, 0, out, 4).ok);
        TPT_CHECK_EQ(tp::get32(out), 0u);
    }
    TPT_CHECK(sim.setDisabledAnswer(2, 5));
    TPT_CHECK(tpt::request(kTap, req::kGetDisabled2, nullptr, 0, out, 4).ok);
    TPT_CHECK_EQ(tp::get32(out), 5u);
    TPT_CHECK(tpt::request(kTap, req::kGetDisabled1, nullptr, 0, out, 4).ok);
    TPT_CHECK_EQ(tp::get32(out), 0u);

    TPT_CHECK(tpt::request(kTap, req::kGetPanelIds, nullptr, 0, out, 36).ok);
    TPT_CHECK_EQ(tp::decodePanelIdTable(out).port[0], 0);  // the default: one panel on port 0
    TPT_CHECK_EQ(tp::decodePanelIdTable(out).port[1], -1);
    tp::PanelIdTable table{{-1, 4, -1, 10, -1, -1, -1, -1, 2}};
    TPT_CHECK(sim.setPanels(table));
    TPT_CHECK(tpt::request(kTap, req::kGetPanelIds, nullptr, 0, out, 36).ok);
    const tp::PanelIdTable got = tp::decodePanelIdTable(out);
    TPT_CHECK(std::memcmp(got.port, table.port, sizeof table.port) == 0);
}

void calibrationPerPort() {
    tpt::group("calibration blocks are kept per port");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    auto send = [](uint32_t flags, uint16_t port, uint8_t fill) {
        uint8_t block[596] = {};
        tp::put32(block, flags);
        std::memset(block + 4, fill, 590);
        if (flags & 1) tp::put16(block + 4, port);
        if (flags & 2) tp::put16(block + 114, port);
        if (flags & 4) tp::put16(block + 274, port);
        return tpt::request(kTap, req::kSetCalibration, block, sizeof block).ok;
    };
    TPT_CHECK(send(1, 3, 0xAA));
    TPT_CHECK(send(6, 10, 0xBB));  // no 9-point table: the port is in the 12-point one
    TPT_CHECK(send(7, 3, 0xCC));
    tpsim::State s = sim.state();
    TPT_CHECK_EQ(s[st::kCalibrationCount], 2u);
    uint32_t port = 0;
    uint8_t block[596];
    TPT_CHECK(sim.getCalibration(0, &port, block));
    TPT_CHECK_EQ(port, 3u);
    TPT_CHECK_EQ(tp::get32(block), 7u);
    TPT_CHECK_EQ(block[10], 0xCC);
    TPT_CHECK(sim.getCalibration(1, &port, block));
    TPT_CHECK_EQ(port, 10u);
    TPT_CHECK_EQ(tp::get16(block + 114), 10u);
    TPT_CHECK(!sim.getCalibration(2, &port, block));
}

void vendorRequests() {
    tpt::group("vendor requests answer the configured data stage");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    uint8_t out[255];
    const uint8_t status[8] = {0xC0, 0xFF, 0, 0, 0, 0, 2, 0};
    std::memset(out, 0xEE, sizeof out);
    tpt::Request r = tpt::request(kTap, req::kVendorRequest, status, 8, out, 255);
    TPT_CHECK(r.ok);
    TPT_CHECK_EQ(r.returned, 2u);
    TPT_CHECK_EQ(out[0], 1);  // the default answer is a good status
    TPT_CHECK_EQ(out[1], 0);
    const uint8_t answer[4] = {0x00, 0x05, 0x06, 0x07};
    TPT_CHECK(sim.setVendorAnswer(answer, 4));
    std::memset(out, 0xEE, sizeof out);
    r = tpt::request(kTap, req::kVendorRequest, status, 8, out, 255);
    TPT_CHECK_EQ(r.returned, 2u);  // no more than wLength
    TPT_CHECK_EQ(out[1], 0x05);
    TPT_CHECK_EQ(out[2], 0xEE);

    const uint8_t command[8] = {0x40, 0x10, 0x04, 0, 0, 0, 0, 0};
    r = tpt::request(kTap, req::kVendorRequest, command, 8, out, 255);
    TPT_CHECK(r.ok);
    TPT_CHECK_EQ(r.returned, 0u);
    tpsim::State s = sim.state();
    TPT_CHECK_EQ(s[st::kLastVendorSet], 1u);
    TPT_CHECK_EQ(s[st::kLastVendorLow], 0x00041040u);

    const uint8_t tooLong[8] = {0xC0, 0xFF, 0, 0, 0, 0, 0x00, 0x01};  // wLength 256 > 255-byte buffer
    TPT_CHECK(!tpt::request(kTap, req::kVendorRequest, tooLong, 8, out, 255).ok);
}

void injectedFailures() {
    tpt::group("failures on request");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    uint8_t out[4];
    TPT_CHECK(sim.setFailure(req::kGetSpinTop, true));
    sim.mark();
    tpt::Request r = tpt::request(kTap, req::kGetSpinTop, nullptr, 0, out, 4);
    TPT_CHECK(r.opened && !r.ok);
    std::vector<LogRecord> logged = sim.records(tpsim::kLogRequest);
    TPT_CHECK(logged.size() == 1 && logged[0].flags == tpsim::logflag::kInjected);
    TPT_CHECK(tpt::request(kTap, req::kGetDisabled1, nullptr, 0, out, 4).ok);  // only that code
    TPT_CHECK(sim.setFailure(req::kGetSpinTop, false));
    TPT_CHECK(tpt::request(kTap, req::kGetSpinTop, nullptr, 0, out, 4).ok);

    TPT_CHECK(sim.setFailure(tpsim::kAllCodes, true));
    TPT_CHECK(!tpt::request(kTap, req::kButtonPrimary).ok);
    TPT_CHECK(!tpt::request(kMulti, req::kIdentifyMultiEnd).ok);
    TPT_CHECK(sim.setFailure(tpsim::kNoFailures, false));
    TPT_CHECK(tpt::request(kTap, req::kButtonPrimary).ok);
    TPT_CHECK_EQ(sim.state()[st::kProtocolErrors], 0u);
}

void logKeepsOrderAndTime() {
    tpt::group("the log: opens, requests and closes in order, timestamps monotonic, bounded");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    sim.mark();
    uint8_t out[4];
    for (int i = 0; i < 3; ++i) TPT_CHECK(tpt::request(kTap, req::kGetSpinTop, nullptr, 0, out, 4).ok);
    TPT_CHECK(sim.waitClosesBalanced());
    std::vector<LogRecord> log = sim.log();
    TPT_CHECK_EQ(log.size(), 9u);
    for (size_t i = 0; i + 2 < log.size() && log.size() == 9; i += 3) {
        TPT_CHECK_EQ(log[i].kind, static_cast<uint32_t>(tpsim::kLogOpen));
        TPT_CHECK_EQ(log[i + 1].kind, static_cast<uint32_t>(tpsim::kLogRequest));
        TPT_CHECK_EQ(log[i + 2].kind, static_cast<uint32_t>(tpsim::kLogClose));
        TPT_CHECK_EQ(log[i].pid, static_cast<uint32_t>(GetCurrentProcessId()));
    }
    for (size_t i = 1; i < log.size(); ++i) {
        TPT_CHECK(log[i].seq == log[i - 1].seq + 1);
        TPT_CHECK(log[i].ticks >= log[i - 1].ticks);
    }
    // The ring keeps the newest records.
    TPT_CHECK(sim.clearLog());
    HANDLE h = CreateFileA(kTap, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    TPT_CHECK(h != INVALID_HANDLE_VALUE);
    DWORD got;
    for (uint32_t i = 0; i < tpsim::kLogCapacity + 10; ++i)
        DeviceIoControl(h, req::kGetSpinTop, nullptr, 0, out, 4, &got, nullptr);
    CloseHandle(h);
    std::vector<LogRecord> all;
    uint32_t next = 0;
    TPT_CHECK(sim.readLog(0, &all, &next));
    TPT_CHECK_EQ(all.size(), static_cast<size_t>(tpsim::kLogCapacity));
    TPT_CHECK(!all.empty() && all.back().seq + 1 == next);
    TPT_CHECK(sim.clearLog());
    all.clear();
    TPT_CHECK(sim.readLog(0, &all));
    TPT_CHECK(all.empty());
}

}  // namespace

int main() {
    everyRequestRightAndWrong();
    stateFollowsRequests();
    calibrationPerPort();
    vendorRequests();
    injectedFailures();
    logKeepsOrderAndTime();
    return tpt::finish();
}
