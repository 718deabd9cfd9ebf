// Tapapi.dll, loaded from the install folder by a client program, against
// the simulated panel answering, failing and unplugged.
#include "tpt.h"

namespace {

namespace st = tpsim::st;
namespace req = tp::req;
using tpsim::LogRecord;

using GetSpinTopFn = int(__cdecl*)();
using SetSpinTopFn = int(__cdecl*)(int);
using EnableFn = int(WINAPI*)(int, int*);

struct Api {
    GetSpinTopFn getSpinTop = nullptr;
    SetSpinTopFn setSpinTop = nullptr;
    EnableFn getEnable = nullptr;
    EnableFn setEnable = nullptr;
};

// What one call left in the log: its requests, and whether every open was
// closed again.
struct Trace {
    std::vector<LogRecord> requests;
    size_t opens = 0;
    bool balanced = false;
};

template <typename F>
Trace trace(tpt::Sim& sim, F call) {
    sim.mark();
    call();
    Trace t;
    t.balanced = sim.waitClosesBalanced();
    t.requests = sim.records(tpsim::kLogRequest);
    t.opens = sim.records(tpsim::kLogOpen).size();
    return t;
}

bool oneRequest(const Trace& t, uint32_t code, std::vector<uint8_t> in = {}, uint32_t out = 0) {
    if (t.opens != 1 || !t.balanced || t.requests.size() != 1) return false;
    const LogRecord& r = t.requests[0];
    return r.code == code && r.device == tpsim::kDevPanel && r.inSize == in.size() && r.outSize == out &&
           std::vector<uint8_t>(r.in, r.in + r.inStored) == in;
}

void answering(const Api& api) {
    tpt::group("every function with the simulator answering");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    TPT_CHECK(sim.setSpinTop(1234));
    int result = 0;
    Trace t = trace(sim, [&] { result = api.getSpinTop(); });
    TPT_CHECK_EQ(result, 1234);
    TPT_CHECK(oneRequest(t, req::kGetSpinTop, {}, 4));

    t = trace(sim, [&] { result = api.setSpinTop(-5); });
    TPT_CHECK_EQ(result, 0);
    TPT_CHECK(oneRequest(t, req::kSetSpinTop, {0xFB, 0xFF, 0xFF, 0xFF}));
    TPT_CHECK_EQ(sim.state()[st::kSpinTop], 0xFFFFFFFBu);
    TPT_CHECK_EQ(api.getSpinTop(), -5);

    struct Query {
        int type;
        uint32_t code;
    };
    for (const Query& q : {Query{1, req::kGetDisabled1}, Query{2, req::kGetDisabled2}}) {
        const std::string type = "type " + std::to_string(q.type);
        int enabled = 77;
        TPT_CHECK(sim.setDisabledAnswer(q.type, 0));
        t = trace(sim, [&] { result = api.getEnable(q.type, &enabled); });
        TPT_CHECK_EQ(result, 0);
        TPT_CHECK_MSG(enabled == 1, type + ": answer 0 reads as enabled");
        TPT_CHECK(oneRequest(t, q.code, {}, 4));
        TPT_CHECK(sim.setDisabledAnswer(q.type, 5));
        TPT_CHECK_EQ(api.getEnable(q.type, &enabled), 0);
        TPT_CHECK_MSG(enabled == 0, type + ": answer 5 reads as disabled");
    }

    struct Set {
        int type;
        int value;
        uint32_t code;
        uint32_t disabledWord;
        uint32_t disabled;
    };
    for (const Set& s : {Set{1, 2, req::kEnable1, st::kDisabled1, 0}, Set{1, 0, req::kDisable1, st::kDisabled1, 1},
                         Set{2, -1, req::kEnable2, st::kDisabled2, 0}, Set{2, 0, req::kDisable2, st::kDisabled2, 1}}) {
        int value = s.value;
        t = trace(sim, [&] { result = api.setEnable(s.type, &value); });
        TPT_CHECK_EQ(result, 0);
        TPT_CHECK_MSG(oneRequest(t, s.code), "SetUSBTPEnable(" + std::to_string(s.type) + ", " +
                                                 std::to_string(s.value) + ") sends " + tpt::show(s.code));
        TPT_CHECK_EQ(sim.state()[s.disabledWord], s.disabled);
    }
    int state = 0;
    TPT_CHECK_EQ(api.getEnable(2, &state), 0);
    TPT_CHECK_EQ(state, 0);

    for (int type : {0, 3, -1}) {
        int out = 77;
        t = trace(sim, [&] { result = api.getEnable(type, &out); });
        TPT_CHECK_EQ(result, 2);
        TPT_CHECK_EQ(out, 77);
        TPT_CHECK_EQ(t.opens, 0u);
        int in = 1;
        t = trace(sim, [&] { result = api.setEnable(type, &in); });
        TPT_CHECK_EQ(result, 2);
        TPT_CHECK_EQ(t.opens, 0u);
    }
    TPT_CHECK_EQ(sim.state()[st::kProtocolErrors], 0u);
}

void failing(const Api& api) {
    tpt::group("every function with its request failing");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    TPT_CHECK(sim.setSpinTop(9));
    TPT_CHECK(sim.setFailure(tpsim::kAllCodes, true));
    int result = 0;
    Trace t = trace(sim, [&] { result = api.getSpinTop(); });
    TPT_CHECK_EQ(result, -1);  // the untouched answer
    TPT_CHECK(t.balanced && t.requests.size() == 1);
    t = trace(sim, [&] { result = api.setSpinTop(3); });
    TPT_CHECK_EQ(result, -1);
    TPT_CHECK(t.balanced && t.requests.size() == 1);
    for (int type : {1, 2}) {
        int out = 77;
        t = trace(sim, [&] { result = api.getEnable(type, &out); });
        TPT_CHECK_EQ(result, 1);
        TPT_CHECK_EQ(out, 77);
        TPT_CHECK(t.balanced && t.requests.size() == 1);
        int in = 1;
        t = trace(sim, [&] { result = api.setEnable(type, &in); });
        TPT_CHECK_EQ(result, 1);
        TPT_CHECK(t.balanced && t.requests.size() == 1);
    }
    TPT_CHECK_EQ(sim.state()[st::kSpinTop], 9u);
}

void unplugged(const Api& api) {
    tpt::group("every function with the panel unplugged");
    tpt::Sim sim;
    TPT_CHECK(sim.reset());  // each group starts from the defaults
    TPT_CHECK(sim.setPlugged(false));
    int result = 0;
    Trace t = trace(sim, [&] { result = api.getSpinTop(); });
    TPT_CHECK_EQ(result, -1);
    TPT_CHECK(t.requests.empty());
    TPT_CHECK_EQ(api.setSpinTop(3), -1);
    for (int type : {1, 2}) {
        int out = 77;
        TPT_CHECK_EQ(api.getEnable(type, &out), 1);
        TPT_CHECK_EQ(out, 77);
        int in = 1;
        TPT_CHECK_EQ(api.setEnable(type, &in), 1);
    }
    int out = 77;
    TPT_CHECK_EQ(api.getEnable(4, &out), 2);
    TPT_CHECK(sim.records(tpsim::kLogRequest).empty());
    TPT_CHECK(sim.setPlugged(true));
    TPT_CHECK_EQ(api.setSpinTop(8), 0);
}

}  // namespace

int main() {
    tpt::group("Tapapi.dll loads from the install folder");
    HMODULE dll = LoadLibraryA(tpt::installPath("Tapapi.dll").c_str());
    TPT_CHECK(dll != nullptr);
    if (!dll) return tpt::finish();
    Api api;
    api.getSpinTop = reinterpret_cast<GetSpinTopFn>(reinterpret_cast<void*>(GetProcAddress(dll, "GetSpinTop")));
    api.setSpinTop = reinterpret_cast<SetSpinTopFn>(reinterpret_cast<void*>(GetProcAddress(dll, "SetSpinTop")));
    api.getEnable = reinterpret_cast<EnableFn>(reinterpret_cast<void*>(GetProcAddress(dll, "GetUSBTPEnable")));
    api.setEnable = reinterpret_cast<EnableFn>(reinterpret_cast<void*>(GetProcAddress(dll, "SetUSBTPEnable")));
    TPT_CHECK(api.getSpinTop && api.setSpinTop && api.getEnable && api.setEnable);
    for (WORD ordinal = 1; ordinal <= 4; ++ordinal)
        TPT_CHECK(GetProcAddress(dll, MAKEINTRESOURCEA(ordinal)) != nullptr);
    TPT_CHECK(reinterpret_cast<void*>(GetProcAddress(dll, MAKEINTRESOURCEA(1))) ==
              reinterpret_cast<void*>(api.getSpinTop));
    if (!(api.getSpinTop && api.setSpinTop && api.getEnable && api.setEnable)) return tpt::finish();
    answering(api);
    failing(api);
    unplugged(api);
    FreeLibrary(dll);
    return tpt::finish();
}
