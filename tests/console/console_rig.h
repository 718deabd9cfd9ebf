// Fakes of the console's ports that keep state: a dialog whose controls
// remember what was set, a system with its double-click settings and files,
// and an agent window that records what it was sent.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "console.h"
#include "fake_driver.h"
#include "fake_save_path.h"

namespace tp::console::test {

struct Control {
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    std::wstring text;
    int textStringId = 0;  // the string id last set, 0 for literal text
    std::vector<std::wstring> items;
    int selection = -1;
    int min = 0, max = 0, pos = 0;
    int ticks = 0, lineSize = 0, pageSize = 0;
    Rect rect{0, 0, 0, 0};
    int icon = 0;
};

class FakeDialog : public DialogPort {
public:
    // The logic that receives the EN_CHANGE of setItemText, as on Windows.
    DialogLogic* logic = nullptr;
    std::map<int, Control> controls;
    // Rendered text of string ids: "#<id>" unless the test names it.
    std::map<int, std::wstring> strings;
    int modifiedCount = 0;
    std::map<int, uint32_t> timers;
    std::vector<std::string> draws;  // "x,y WxH info=N bits=N"
    Rect outer{0, 0, 0, 0};
    int endResult = -1;
    Point placedAt{-1, -1};
    // Offset of the client area on the screen.
    Point clientOrigin{0, 0};
    std::vector<int> editIds;  // controls whose text changes send EN_CHANGE

    Control& at(int id) { return controls[id]; }
    std::wstring stringText(int id) const;

    void checkButton(int id, bool checked) override { at(id).checked = checked; }
    bool isButtonChecked(int id) override { return at(id).checked; }
    void enableItem(int id, bool enabled) override { at(id).enabled = enabled; }
    void showItem(int id, bool shown) override { at(id).visible = shown; }
    void setItemText(int id, const wchar_t* text) override;
    void setItemString(int id, int stringId) override;
    int getItemText(int id, wchar_t* text, int capacity) override;
    void comboAdd(int id, const wchar_t* text) override { at(id).items.push_back(text); }
    void comboAddString(int id, int stringId) override { at(id).items.push_back(stringText(stringId)); }
    void comboDelete(int id, int index) override;
    int comboCount(int id) override { return static_cast<int>(at(id).items.size()); }
    void comboSelect(int id, int index) override;
    int comboSelection(int id) override { return at(id).selection; }
    void setScrollRange(int id, int min, int max) override;
    void setScrollPos(int id, int pos) override;
    int scrollPos(int id) override { return at(id).pos; }
    void setTrackRange(int id, int min, int max) override;
    void setTrackTicks(int id, int spacing) override { at(id).ticks = spacing; }
    void setTrackLineSize(int id, int size) override { at(id).lineSize = size; }
    void setTrackPageSize(int id, int size) override { at(id).pageSize = size; }
    void setTrackPos(int id, int pos) override;
    int trackPos(int id) override { return at(id).pos; }
    Rect itemRect(int id) override { return at(id).rect; }
    void moveItem(int id, const Rect& rect) override { at(id).rect = rect; }
    Rect itemScreenRect(int id) override;
    void setItemIcon(int id, int iconId) override { at(id).icon = iconId; }
    void setTimer(int timerId, uint32_t ms) override { timers[timerId] = ms; }
    void killTimer(int timerId) override { timers.erase(timerId); }
    void markModified() override { ++modifiedCount; }
    void drawDib(int x, int y, const DibImage& image) override;
    Rect windowRect() override { return outer; }
    void placeTopmost(int x, int y) override { placedAt = {x, y}; }
    void endDialog(int result) override { endResult = result; }
    WindowHandle window() override { return 0x1234; }
};

class FakeSystem : public SystemPort {
public:
    uint32_t codePage = 1252;
    bool buttonsSwapped = false;
    uint32_t doubleClickTime = 500;
    int doubleClickWidth = 4, doubleClickHeight = 4;
    Point cursor{0, 0};
    std::string programFiles = "C:\\Program Files";
    std::string windowsDir = "C:\\windows";
    std::map<std::string, std::vector<uint8_t>> files;
    std::map<std::string, uint32_t> attributes;
    std::vector<std::string> log;  // every call with its arguments, in order
    // What the next modal dialog does with its logic; returns the result.
    std::function<int(int templateId, DialogLogic& logic)> modal;

    uint32_t getACP() override { return codePage; }
    int getSystemMetrics(int index) override;
    uint32_t getDoubleClickTime() override { return doubleClickTime; }
    bool systemParametersInfo(uint32_t action, uint32_t param, uint32_t winIni) override;
    // Converts from codePage as Windows does (iconv's tables).
    int ansiToWide(const char* text, wchar_t* out, int capacity) override;
    Point getCursorPos() override { return cursor; }
    bool programFilesPath(const char* tail, char (&out)[260]) override;
    bool windowsPath(const char* tail, char (&out)[260]) override;
    uint32_t getFileAttributes(const char* path) override;
    bool setFileAttributes(const char* path, uint32_t attributes) override;
    bool startProgram(const char* commandLine) override;
    bool readFile(const char* path, size_t maxBytes, std::vector<uint8_t>& out) override;
    int messageBox(WindowHandle owner, int textId, int captionId, uint32_t type) override;
    int runModalDialog(WindowHandle owner, int templateId, DialogLogic& logic) override;
};

using tp::test::FakeAgentLink;
using tp::test::SequencedRegistry;
using tp::test::SequencedSleep;

// The whole console over fakes. sequence interleaves registry writes
// ("reg Option"), driver requests ("ioctl 0x22200c"), agent messages
// ("copydata 236") and sleeps ("sleep 1000") in the order they happened.
struct ConsoleRig {
    explicit ConsoleRig(Language language = Language::English);

    std::vector<std::string> sequence;
    SequencedRegistry registry;
    tp::test::FakeDriver driver;
    SequencedSleep sleeper;
    FakeSystem system;
    FakeAgentLink agent;
    Console console;

    PanelSettings& settings() { return console.settings; }
};

}  // namespace tp::console::test
