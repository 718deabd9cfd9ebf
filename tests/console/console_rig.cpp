#include "console_rig.h"

#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bytes.h"

namespace tp::console::test {

std::wstring FakeDialog::stringText(int id) const {
    auto it = strings.find(id);
    return it != strings.end() ? it->second : L"#" + std::to_wstring(id);
}

void FakeDialog::setItemText(int id, const wchar_t* text) {
    Control& c = at(id);
    c.text = text;
    c.textStringId = 0;
    for (int edit : editIds)
        if (edit == id && logic) logic->onCommand(*this, id, kEnChange);
}

void FakeDialog::setItemString(int id, int stringId) {
    setItemText(id, stringText(stringId).c_str());
    at(id).textStringId = stringId;
}

int FakeDialog::getItemText(int id, wchar_t* text, int capacity) {
    if (capacity <= 0) return 0;
    const std::wstring& t = at(id).text;
    const int n = static_cast<int>(t.size() < static_cast<size_t>(capacity - 1) ? t.size() : capacity - 1);
    std::wmemcpy(text, t.data(), n);
    text[n] = L'\0';
    return n;
}

void FakeDialog::comboDelete(int id, int index) {
    Control& c = at(id);
    if (index < 0 || index >= static_cast<int>(c.items.size())) return;
    c.items.erase(c.items.begin() + index);
    if (c.selection == index)
        c.selection = -1;
    else if (c.selection > index)
        --c.selection;
}

void FakeDialog::comboSelect(int id, int index) {
    Control& c = at(id);
    c.selection = index >= 0 && index < static_cast<int>(c.items.size()) ? index : -1;
}

void FakeDialog::setScrollRange(int id, int min, int max) {
    Control& c = at(id);
    c.min = min;
    c.max = max;
}

// Scroll bars and track bars keep their position inside their range.
void FakeDialog::setScrollPos(int id, int pos) {
    Control& c = at(id);
    c.pos = pos < c.min ? c.min : pos > c.max ? c.max : pos;
}

void FakeDialog::setTrackRange(int id, int min, int max) { setScrollRange(id, min, max); }
void FakeDialog::setTrackPos(int id, int pos) { setScrollPos(id, pos); }

Rect FakeDialog::itemScreenRect(int id) {
    const Rect r = at(id).rect;
    return {r.left + clientOrigin.x, r.top + clientOrigin.y, r.right + clientOrigin.x, r.bottom + clientOrigin.y};
}

void FakeDialog::drawDib(int x, int y, const DibImage& image) {
    draws.push_back(std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(image.width) + "x" +
                    std::to_string(image.height) + " info=" + std::to_string(image.infoSize) +
                    " bits=" + std::to_string(image.bitsSize));
}

int FakeSystem::getSystemMetrics(int index) {
    switch (index) {
        case kSmSwapButton:
            return buttonsSwapped ? 1 : 0;
        case kSmCxDoubleClk:
            return doubleClickWidth;
        case kSmCyDoubleClk:
            return doubleClickHeight;
    }
    return 0;
}

int FakeSystem::ansiToWide(const char* text, wchar_t* out, int capacity) {
    log.push_back("ansi " + std::to_string(codePage));
    const std::string from = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("WCHAR_T", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1) || capacity <= 0) return 0;
    char* in = const_cast<char*>(text);
    size_t inLeft = std::strlen(text) + 1;
    char* to = reinterpret_cast<char*>(out);
    size_t toLeft = static_cast<size_t>(capacity) * sizeof(wchar_t);
    const size_t rc = iconv(cd, &in, &inLeft, &to, &toLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) return 0;
    return capacity - static_cast<int>(toLeft / sizeof(wchar_t));
}

bool FakeSystem::systemParametersInfo(uint32_t action, uint32_t param, uint32_t winIni) {
    log.push_back("spi " + std::to_string(action) + " " + std::to_string(param) + " " + std::to_string(winIni));
    if (action == kSpiSetDoubleClickTime) doubleClickTime = param;
    if (action == kSpiSetDoubleClkWidth) doubleClickWidth = static_cast<int>(param);
    if (action == kSpiSetDoubleClkHeight) doubleClickHeight = static_cast<int>(param);
    return true;
}

namespace {
bool joinPath(const std::string& folder, const char* tail, char (&out)[260]) {
    const std::string path = folder + tail;
    out[0] = '\0';
    if (folder.empty() || path.size() >= sizeof out) return false;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return true;
}
}  // namespace

bool FakeSystem::programFilesPath(const char* tail, char (&out)[260]) { return joinPath(programFiles, tail, out); }
bool FakeSystem::windowsPath(const char* tail, char (&out)[260]) { return joinPath(windowsDir, tail, out); }

uint32_t FakeSystem::getFileAttributes(const char* path) {
    if (!files.count(path)) return kInvalidFileAttributes;
    auto it = attributes.find(path);
    return it != attributes.end() ? it->second : 0x80;  // FILE_ATTRIBUTE_NORMAL
}

bool FakeSystem::setFileAttributes(const char* path, uint32_t value) {
    log.push_back(std::string("setattr ") + path + " " + std::to_string(value));
    if (!files.count(path) || value == kInvalidFileAttributes) return false;
    attributes[path] = value;
    return true;
}

bool FakeSystem::startProgram(const char* commandLine) {
    log.push_back(std::string("start ") + commandLine);
    return true;
}

bool FakeSystem::readFile(const char* path, size_t maxBytes, std::vector<uint8_t>& out) {
    auto it = files.find(path);
    if (it == files.end() || it->second.size() > maxBytes) return false;
    out = it->second;
    return true;
}

int FakeSystem::messageBox(WindowHandle, int textId, int captionId, uint32_t type) {
    log.push_back("message " + std::to_string(textId) + " " + std::to_string(captionId) + " " + std::to_string(type));
    return kIdOk;
}

int FakeSystem::runModalDialog(WindowHandle, int templateId, DialogLogic& logic) {
    log.push_back("dialog " + std::to_string(templateId));
    return modal ? modal(templateId, logic) : 0;
}

ConsoleRig::ConsoleRig(Language language) : console(ConsolePorts{registry, driver, sleeper, system, agent}, language) {
    registry.sequence = &sequence;
    sleeper.sequence = &sequence;
    agent.sequence = &sequence;
    for (uint32_t code : {req::kSetMonitorLayout, req::kSignalSettingsChanged})
        driver.onRequest(code, [this, code](const std::vector<uint8_t>&) {
            char text[32];
            std::snprintf(text, sizeof text, "ioctl 0x%06x", code);
            sequence.push_back(text);
        });
}

}  // namespace tp::console::test
