// The last page: the driver's version as read at start-up, and the button
// that opens the list of the suite's file versions in Notepad.
#include "console.h"
#include "text.h"

namespace tp::console {
namespace {

class DriverInfoPage : public Page {
public:
    using Page::Page;

    void onInit(DialogPort& dlg) override {
        // The twins show the two lines in opposite order.
        const int versionLine = japanese() ? IDC_INFO_LOWER : IDC_INFO_UPPER;
        const int systemLine = japanese() ? IDC_INFO_UPPER : IDC_INFO_LOWER;
        // The driver's installer writes the version in the system's code page.
        wchar_t version[sizeof settings().version];
        if (console().ports.system.ansiToWide(settings().version, version, sizeof settings().version) == 0)
            version[0] = L'\0';
        dlg.setItemText(versionLine, version);
        dlg.setItemString(systemLine, IDS_WINDOWS8);
    }

    void onCommand(DialogPort&, int id, int code) override {
        if (id != IDC_INFO_FILES || code != kBnClicked) return;
        SystemPort& system = console().ports.system;
        char notepad[260];
        char notes[260];
        if (!system.windowsPath("\\NOTEPAD.EXE", notepad) ||
            !system.programFilesPath("\\QTX\\PNL\\USBPNL\\Drvnotes.txt", notes))
            return;
        // Read-only, so that Notepad cannot save changes over the list.
        const uint32_t attributes = system.getFileAttributes(notes);
        if (attributes != kInvalidFileAttributes) system.setFileAttributes(notes, attributes | kFileAttributeReadOnly);
        // Both paths quoted: "Program Files" has a blank.
        char commandLine[2 * 260 + 8] = "\"";
        for (const char* part : {static_cast<const char*>(notepad), "\" \"", static_cast<const char*>(notes), "\""})
            appendText(commandLine, sizeof commandLine, part);
        system.startProgram(commandLine);
    }
};
}  // namespace

std::unique_ptr<Page> makeDriverInfoPage(Console& console) { return std::make_unique<DriverInfoPage>(console); }

}  // namespace tp::console
