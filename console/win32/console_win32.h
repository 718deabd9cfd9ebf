// Tapcon's Win32 side: the adapters of the console's ports, the resources of
// the chosen language, and the one dialog procedure every page shares.
#pragma once

#include <windows.h>

#include "console.h"

namespace tp::console {

// Resources of one language. Strings and templates are looked up with
// FindResourceExW in that language, never by the loader's locale order.
class Resources {
public:
    Resources(HINSTANCE module, Language language);
    HINSTANCE module() const { return module_; }
    // The text of a string id; an empty string when it is missing.
    const wchar_t* string(int id, wchar_t* buf, int capacity) const;
    // A dialog template of this language; null when it is missing.
    const DLGTEMPLATE* dialog(int id) const;
    HICON icon(int id, int size) const;

private:
    HINSTANCE module_;
    LANGID lang_;
};

class Win32Dialog : public DialogPort {
public:
    Win32Dialog(HWND window, const Resources& res) : hwnd_(window), res_(res) {}
    void checkButton(int id, bool checked) override;
    bool isButtonChecked(int id) override;
    void enableItem(int id, bool enabled) override;
    void showItem(int id, bool shown) override;
    void setItemText(int id, const wchar_t* text) override;
    void setItemString(int id, int stringId) override;
    int getItemText(int id, wchar_t* text, int capacity) override;
    void comboAdd(int id, const wchar_t* text) override;
    void comboAddString(int id, int stringId) override;
    void comboDelete(int id, int index) override;
    int comboCount(int id) override;
    void comboSelect(int id, int index) override;
    int comboSelection(int id) override;
    void setScrollRange(int id, int min, int max) override;
    void setScrollPos(int id, int pos) override;
    int scrollPos(int id) override;
    void setTrackRange(int id, int min, int max) override;
    void setTrackTicks(int id, int spacing) override;
    void setTrackLineSize(int id, int size) override;
    void setTrackPageSize(int id, int size) override;
    void setTrackPos(int id, int pos) override;
    int trackPos(int id) override;
    Rect itemRect(int id) override;
    void moveItem(int id, const Rect& rect) override;
    Rect itemScreenRect(int id) override;
    void setItemIcon(int id, int iconId) override;
    void setTimer(int timerId, uint32_t ms) override;
    void killTimer(int timerId) override;
    void markModified() override;
    void drawDib(int x, int y, const DibImage& image) override;
    Rect windowRect() override;
    void placeTopmost(int x, int y) override;
    void endDialog(int result) override;
    WindowHandle window() override { return reinterpret_cast<WindowHandle>(hwnd_); }

private:
    HWND item(int id) const { return GetDlgItem(hwnd_, id); }
    HWND hwnd_;
    const Resources& res_;
};

class Win32System : public SystemPort {
public:
    explicit Win32System(const Resources& res) : res_(res) {}
    uint32_t getACP() override;
    int getSystemMetrics(int index) override;
    uint32_t getDoubleClickTime() override;
    bool systemParametersInfo(uint32_t action, uint32_t param, uint32_t winIni) override;
    int ansiToWide(const char* text, wchar_t* out, int capacity) override;
    Point getCursorPos() override;
    bool programFilesPath(const char* tail, char (&out)[260]) override;
    bool windowsPath(const char* tail, char (&out)[260]) override;
    uint32_t getFileAttributes(const char* path) override;
    bool setFileAttributes(const char* path, uint32_t attributes) override;
    bool startProgram(const char* commandLine) override;
    bool readFile(const char* path, size_t maxBytes, std::vector<uint8_t>& out) override;
    int messageBox(WindowHandle owner, int textId, int captionId, uint32_t type) override;
    int runModalDialog(WindowHandle owner, int templateId, DialogLogic& logic) override;

private:
    const Resources& res_;
};

// The pause inside a save: messages sent to the sheet (another program's
// broadcast, a question) are answered while it lasts; posted ones wait.
class Win32ResponsiveSleep : public SleepPort {
public:
    void sleep(uint32_t ms) override;
};

// What a page's dialog procedure needs: its logic and the resources.
struct PageBinding {
    Page* page;
    const Resources* resources;
};

// The dialog procedure of every page; PROPSHEETPAGEW.lParam is a PageBinding*.
INT_PTR CALLBACK PageDialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// A modal dialog of the language's template run over logic; -1 when the
// template is missing.
int runModal(const Resources& res, HWND owner, int templateId, DialogLogic& logic);

}  // namespace tp::console
