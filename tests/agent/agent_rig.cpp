#include "agent_rig.h"

#include <cstdio>
#include <cstring>

#include "settings.h"

namespace tp::test {

using namespace tp::agent;

void Journal::add(std::string line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
}

std::vector<std::string> Journal::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> Journal::starting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& line : lines())
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

int Journal::find(const std::string& text, int from) const {
    const auto all = lines();
    for (size_t i = from < 0 ? 0 : static_cast<size_t>(from); i < all.size(); ++i)
        if (all[i] == text) return static_cast<int>(i);
    return -1;
}

void Journal::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

std::string hexOf(uintptr_t value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(value));
    return buf;
}

// ---------------------------------------------------------------- driver

DeviceHandle JournalDriver::open(const char* path) {
    const DeviceHandle h = inner_.open(path);
    journal_.add(std::string("open ") + path + (h ? "" : " failed"));
    return h;
}

bool JournalDriver::control(DeviceHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                            uint32_t outSize) {
    char line[32];
    std::snprintf(line, sizeof line, "ioctl 0x%06x", code);
    std::string entry = line;
    if (in && inSize) entry += " in=" + FakeDriver::hex(static_cast<const uint8_t*>(in), inSize);
    journal_.add(entry);
    return inner_.control(device, code, in, inSize, out, outSize);
}

void JournalDriver::close(DeviceHandle device) {
    journal_.add("close");
    inner_.close(device);
}

// ---------------------------------------------------------------- display

int FakeDisplay::getSystemMetrics(int index) {
    journal_.add("GetSystemMetrics " + std::to_string(index));
    auto m = metrics.find(index);
    return m == metrics.end() ? 0 : m->second;
}

bool FakeDisplay::systemParametersInfo(uint32_t action, uint32_t param, uint32_t winIni) {
    journal_.add("SystemParametersInfo " + hexOf(action) + " " + std::to_string(param) + " " + std::to_string(winIni));
    if (onSystemParametersInfo) onSystemParametersInfo(action, param, winIni);
    return true;
}

bool FakeDisplay::currentDisplayOrientation(uint32_t* value) {
    journal_.add("EnumDisplaySettings");
    if (orientationFails) return false;
    *value = orientation;
    return true;
}

void FakeDisplay::enumDisplayMonitors(MonitorVisitor& visitor) {
    journal_.add("EnumDisplayMonitors");
    for (const Monitor& m : monitors)
        if (!visitor.visit(m.handle, m.rect)) break;
}

bool FakeDisplay::getMonitorInfo(MonitorHandle monitor) {
    journal_.add("GetMonitorInfo " + hexOf(monitor));
    for (const Monitor& m : monitors)
        if (m.handle == monitor) return !m.infoFails;
    return false;
}

int FakeDisplay::messageBox(WindowHandle owner, const char* text, const char* caption, uint32_t type) {
    journal_.add("MessageBox " + hexOf(owner) + " " + text + " | " + caption + " | " + hexOf(type));
    return 1;
}

// ---------------------------------------------------------------- windows

bool FakeWindows::postMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    journal_.add("PostMessage " + hexOf(window) + " " + hexOf(message) + " " + std::to_string(wParam) + " " +
                 hexOf(static_cast<uintptr_t>(lParam)));
    return true;
}

intptr_t FakeWindows::sendMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    journal_.add("SendMessage " + hexOf(window) + " " + hexOf(message) + " " + std::to_string(wParam) + " " +
                 hexOf(static_cast<uintptr_t>(lParam)));
    return 0;
}

void FakeWindows::announceSettingChange(uint32_t action) {
    journal_.add("AnnounceSettingChange " + std::to_string(action));
    if (onAnnounceSettingChange) onAnnounceSettingChange(action);
}

bool FakeWindows::showWindow(WindowHandle window, int command) {
    journal_.add("ShowWindow " + hexOf(window) + " " + std::to_string(command));
    return true;
}

bool FakeWindows::destroyWindow(WindowHandle window) {
    journal_.add("DestroyWindow " + hexOf(window));
    if (onDestroyWindow) onDestroyWindow(window);
    return true;
}

WindowHandle FakeWindows::createFloatingWindow() {
    journal_.add("CreateDialog 105 -> " + hexOf(nextDialog));
    return nextDialog;
}

IconHandle FakeWindows::loadIcon(int id, int size) {
    const IconHandle h = iconHandle(id, size);
    journal_.add("LoadIcon " + std::to_string(id) + " " + std::to_string(size));
    std::lock_guard lock(mutex_);
    icons_.insert(h);
    return h;
}

void FakeWindows::postQuitMessage(int exitCode) { journal_.add("PostQuitMessage " + std::to_string(exitCode)); }

std::set<IconHandle> FakeWindows::liveIcons() const {
    std::lock_guard lock(mutex_);
    return icons_;
}

void FakeWindows::iconDestroyed(IconHandle icon) {
    std::lock_guard lock(mutex_);
    icons_.erase(icon);
}

// ---------------------------------------------------------------- tray

bool FakeTray::shellNotifyIcon(uint32_t operation, const TrayIconData& data) {
    calls.push_back(data);
    journal_.add("Shell_NotifyIcon " + std::to_string(operation) + " id=" + std::to_string(data.id) +
                 " icon=" + hexOf(data.icon) + " tip=" + data.tip);
    if (onShellNotifyIcon) onShellNotifyIcon(operation);
    return result;
}

void FakeTray::destroyIcon(IconHandle icon) {
    journal_.add("DestroyIcon " + hexOf(icon));
    windows_.iconDestroyed(icon);
}

// ---------------------------------------------------------------- libraries

void FakeLibraries::addModule(const std::string& path, ModuleHandle handle) {
    std::lock_guard lock(mutex_);
    paths_[path] = handle;
}

void FakeLibraries::addExport(ModuleHandle module, const std::string& name, int32_t result) {
    setResults(module, name, {result});
}

void FakeLibraries::setResults(ModuleHandle module, const std::string& name, std::vector<int32_t> results) {
    std::lock_guard lock(mutex_);
    auto& proc = exports_[module][name];
    if (!proc) proc = nextProc_++;
    procs_[proc] = Export{name, std::move(results), 0};
}

std::set<ModuleHandle> FakeLibraries::loaded() const {
    std::lock_guard lock(mutex_);
    return {loaded_.begin(), loaded_.end()};
}

ModuleHandle FakeLibraries::loadLibrary(const char* path) {
    std::lock_guard lock(mutex_);
    auto p = paths_.find(path);
    const ModuleHandle h = p == paths_.end() ? 0 : p->second;
    journal_.add(std::string("LoadLibrary ") + path + " -> " + hexOf(h));
    if (h) loaded_.insert(h);
    return h;
}

void FakeLibraries::freeLibrary(ModuleHandle module) {
    std::lock_guard lock(mutex_);
    journal_.add("FreeLibrary " + hexOf(module));
    if (auto it = loaded_.find(module); it != loaded_.end()) loaded_.erase(it);
}

ProcAddress FakeLibraries::getProcAddress(ModuleHandle module, const char* name) {
    std::lock_guard lock(mutex_);
    ProcAddress proc = 0;
    if (loaded_.count(module))
        if (auto m = exports_.find(module); m != exports_.end())
            if (auto e = m->second.find(name); e != m->second.end()) proc = e->second;
    journal_.add(std::string("GetProcAddress ") + name + (proc ? "" : " missing"));
    return proc;
}

bool FakeLibraries::moduleFolder(char (&out)[260]) {
    journal_.add("GetModuleFileName");
    if (folder.size() + 1 > sizeof out) return false;
    std::memcpy(out, folder.c_str(), folder.size() + 1);
    return !folder.empty();
}

void FakeLibraries::excludeCurrentDirectory() { journal_.add("SetDllDirectory \"\""); }

int32_t FakeLibraries::call(ProcAddress proc, const std::string& args) {
    std::lock_guard lock(mutex_);
    auto e = procs_.find(proc);
    if (e == procs_.end()) {
        journal_.add("call unknown " + hexOf(proc));
        return 0;
    }
    Export& ex = e->second;
    const int32_t r = ex.results.empty() ? 0 : ex.results[std::min(ex.calls, ex.results.size() - 1)];
    ++ex.calls;
    journal_.add("call " + ex.name + "(" + args + ") -> " + std::to_string(r));
    return r;
}

int32_t FakeLibraries::callHook(ProcAddress proc) { return call(proc, ""); }

int32_t FakeLibraries::callHookWithOption(ProcAddress proc, uint32_t option) { return call(proc, hexOf(option)); }

int32_t FakeLibraries::callRegisterSession(ProcAddress proc, WindowHandle window, uint32_t flags) {
    return call(proc, hexOf(window) + ", " + std::to_string(flags));
}

int32_t FakeLibraries::callUnRegisterSession(ProcAddress proc, WindowHandle window) {
    return call(proc, hexOf(window));
}

bool FakeLibraries::callProcessIdToSessionId(ProcAddress proc, uint32_t* session) {
    if (!call(proc, "self")) return false;
    *session = processSessionId.value_or(sessionId);
    return true;
}

uint32_t FakeLibraries::callActiveConsoleSession(ProcAddress proc) {
    call(proc, "");
    return sessionId;
}

// ---------------------------------------------------------------- locks

void FakeLocks::lock(Routine routine) {
    mutexes_[static_cast<int>(routine)].lock();
    journal_.add("lock " + std::to_string(static_cast<int>(routine)));
}

void FakeLocks::unlock(Routine routine) {
    journal_.add("unlock " + std::to_string(static_cast<int>(routine)));
    mutexes_[static_cast<int>(routine)].unlock();
}

void FakeLocks::releaseInstanceMutex(KernelHandle mutex) { journal_.add("ReleaseMutex " + hexOf(mutex)); }

// ---------------------------------------------------------------- threads, cursors, sound

KernelHandle FakeThreads::createThread(ThreadEntry, void*) {
    std::lock_guard lock(mutex_);
    const KernelHandle h = next_++;
    journal_.add("CreateThread -> " + hexOf(h));
    return h;
}

void FakeThreads::setThreadPriority(KernelHandle thread, int priority) {
    journal_.add("SetThreadPriority " + hexOf(thread) + " " + std::to_string(priority));
}

void FakeThreads::resumeThread(KernelHandle thread) { journal_.add("ResumeThread " + hexOf(thread)); }

KernelHandle FakeThreads::createEvent() {
    std::lock_guard lock(mutex_);
    const KernelHandle h = next_++;
    journal_.add("CreateEvent -> " + hexOf(h));
    return h;
}

void FakeThreads::setEvent(KernelHandle event) { journal_.add("SetEvent " + hexOf(event)); }
void FakeThreads::resetEvent(KernelHandle event) { journal_.add("ResetEvent " + hexOf(event)); }
void FakeThreads::waitForEvent(KernelHandle event) { journal_.add("WaitForSingleObject " + hexOf(event)); }
bool FakeThreads::waitForEventTimeout(KernelHandle event, uint32_t timeoutMs) {
    journal_.add("WaitForSingleObject " + hexOf(event) + " " + std::to_string(timeoutMs));
    return false;
}
void FakeThreads::closeHandle(KernelHandle handle) { journal_.add("CloseHandle " + hexOf(handle)); }

CursorHandle FakeCursors::loadCursor(int id) {
    journal_.add("LoadCursor " + std::to_string(id));
    return 0xC102;
}

CursorHandle FakeCursors::copyCursor(CursorHandle cursor) {
    journal_.add("CopyCursor " + hexOf(cursor));
    return ++next_;
}

bool FakeCursors::setSystemCursor(CursorHandle cursor, uint32_t id) {
    journal_.add("SetSystemCursor " + hexOf(cursor) + " " + std::to_string(id));
    return true;
}

void FakeCursors::destroyCursor(CursorHandle cursor) { journal_.add("DestroyCursor " + hexOf(cursor)); }

void FakeSound::beep(uint32_t frequency, uint32_t duration) {
    journal_.add("Beep " + std::to_string(frequency) + " " + std::to_string(duration));
}

void FakeSound::messageBeep(uint32_t type) { journal_.add("MessageBeep " + hexOf(type)); }

// ---------------------------------------------------------------- rig

AgentRig::AgentRig() {
    agent.ports.threads = &threads;
    agent.ports.cursor = &cursors;
    agent.ports.sound = &sound;
    agent.state.mainWindow.set(kMainWindow);
    display.metrics[agent::win::kSmCMonitors] = 1;
    display.monitors.push_back({0x4D01, {0, 0, 1024, 768}});
}

std::string AgentRig::userKey() { return std::string("HKCU\\") + key::kUser; }
std::string AgentRig::panelKey() { return std::string("HKLM\\") + key::kPanelParams; }
std::string AgentRig::multiKey() { return std::string("HKLM\\") + key::kMultiParams; }

void AgentRig::installHook() {
    libraries.addModule(libraries.folder + kHookLibrary, kHookModule);
    libraries.addExport(kHookModule, kHookSetHook, 1);
    libraries.addExport(kHookModule, kHookSetOptionData, 1);
    libraries.addExport(kHookModule, kHookUnSetHook, 1);
}

void AgentRig::addSuiteKeys(FakeRegistry& registry, FakeDriver& driver) {
    registry.addKey(userKey());
    registry.addKey(panelKey());
    registry.addKey(multiKey());
    driver.answer(req::kGetPanelIds, std::vector<uint8_t>(kPanelIdTableSize, 0xFF));
}

}  // namespace tp::test
