// The first page: the picture of the panel, read afresh on every paint so
// that a replaced file shows at the next repaint.
#include <vector>

#include "bitmap.h"
#include "console.h"

namespace tp::console {
namespace {

class TouchPanelPage : public Page {
public:
    using Page::Page;

    void onPaint(DialogPort& dlg) override {
        char path[260];
        if (!console().ports.system.programFilesPath("\\QTX\\PNL\\USBPNL\\panel.bmp", path)) return;
        std::vector<uint8_t> file;
        if (!console().ports.system.readFile(path, kMaxBitmapFileBytes, file)) return;
        DibImage image;
        if (!parseBitmapFile(file.data(), file.size(), image)) return;
        // The Japanese template has room above the picture; the English one does not.
        dlg.drawDib(5, japanese() ? 50 : 5, image);
    }
};

}  // namespace

std::unique_ptr<Page> makeTouchPanelPage(Console& console) { return std::make_unique<TouchPanelPage>(console); }

}  // namespace tp::console
