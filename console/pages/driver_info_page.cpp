// The last page: the driver's version as read at start-up, and the button
// that opens the list of the suite's file versions in Notepad.
#include <cstdio>

#include "console.h"

namespace tp::console {
namespace {

class DriverInfoPage : public Page {
public:
    using Page::Page;

    void onInit(DialogPort& dlg) override {
        // The twins show the two lines in opposite order.
        const int versionLine = japanese() ? IDC_INFO_LOWER : IDC_INFO_UPPER;
        const int systemLine = japanese() ? IDC_INFO_UPPER : IDC_INFO_LOWER;
        wchar_t version[sizeof settings().version];
        widenVersion(settings().version, version);
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
        char commandLine[2 * 260 + 8];
        std::snprintf(commandLine, sizeof commandLine, "\"%s\" \"%s\"", notepad, notes);
        system.startProgram(commandLine);
    }

private:
    // The driver writes its version in ASCII; any other byte shows as '?'
    // rather than as a character of the wrong code page.
    template <size_t N>
    static void widenVersion(const char (&in)[N], wchar_t (&out)[N]) {
        size_t i = 0;
        for (; i + 1 < N && in[i] != '\0'; ++i) {
            const auto byte = static_cast<unsigned char>(in[i]);
            out[i] = byte < 0x80 ? static_cast<wchar_t>(byte) : L'?';
        }
        out[i] = L'\0';
    }
};

}  // namespace

std::unique_ptr<Page> makeDriverInfoPage(Console& console) { return std::make_unique<DriverInfoPage>(console); }

}  // namespace tp::console
