// Right-click page: the keyboard right click (on/off, Ctrl, Shift or Alt,
// every touch while the key is held or one touch after it) and where the
// agent shows its button icon. With swapped mouse buttons it speaks of the
// left click and shows the R mouse first.
#include "console.h"

namespace tp::console {
namespace {

struct SwappedText {
    int id;
    int right, left;  // string ids for normal and swapped buttons
};
constexpr SwappedText kTexts[] = {
    {IDC_RIGHT_GROUP, IDS_RIGHT_GROUP_R, IDS_RIGHT_GROUP_L},
    {IDC_RIGHT_EXPLAIN, IDS_RIGHT_EXPLAIN_R, IDS_RIGHT_EXPLAIN_L},
    {IDC_RIGHT_ENABLE, IDS_RIGHT_ENABLE_R, IDS_RIGHT_ENABLE_L},
    {IDC_RIGHT_WHILE_HELD, IDS_RIGHT_WHILE_HELD_R, IDS_RIGHT_WHILE_HELD_L},
    {IDC_RIGHT_ONE_TOUCH, IDS_RIGHT_ONE_TOUCH_R, IDS_RIGHT_ONE_TOUCH_L},
    {IDC_RIGHT_HELP, IDS_RIGHT_HELP_R, IDS_RIGHT_HELP_L},
    {IDC_RIGHT_MODE_TEXT, IDS_RIGHT_MODE_R, IDS_RIGHT_MODE_L},
};

constexpr uint32_t kKeyBits = opt::kKeyCtrl | opt::kKeyShift | opt::kKeyAlt;

class RightClickPage final : public Page {
public:
    using Page::Page;

    void onInit(DialogPort& dlg) override {
        dlg.checkButton(IDC_RIGHT_TRAY, has(opt::kTrayIcon));
        showMode(dlg);
        // No key bit at all reads as Ctrl; the record stays as it is until a key is picked.
        const int key = has(opt::kKeyAlt) ? IDC_RIGHT_ALT : has(opt::kKeyShift) ? IDC_RIGHT_SHIFT : IDC_RIGHT_CTRL;
        for (int id : {IDC_RIGHT_CTRL, IDC_RIGHT_SHIFT, IDC_RIGHT_ALT}) dlg.checkButton(id, id == key);
        dlg.checkButton(IDC_RIGHT_ENABLE, has(opt::kKeyRightClick));
        enableDependents(dlg);
        dlg.checkButton(IDC_RIGHT_WINDOW, has(opt::kFloatingIcon));

        const bool swapped = console().ports.system.getSystemMetrics(kSmSwapButton) != 0;
        dlg.setItemIcon(IDC_RIGHT_PICTURE1, swapped ? IDI_MOUSE_R : IDI_MOUSE_L);
        dlg.setItemIcon(IDC_RIGHT_PICTURE2, swapped ? IDI_MOUSE_L : IDI_MOUSE_R);
        for (const SwappedText& t : kTexts) dlg.setItemString(t.id, swapped ? t.left : t.right);
    }

    void onCommand(DialogPort& dlg, int id, int code) override {
        if (code != kBnClicked) return;
        switch (id) {
            case IDC_RIGHT_CTRL:
                setKey(opt::kKeyCtrl);
                break;
            case IDC_RIGHT_SHIFT:
                setKey(opt::kKeyShift);
                break;
            case IDC_RIGHT_ALT:
                setKey(opt::kKeyAlt);
                break;
            case IDC_RIGHT_ENABLE:
                put(opt::kKeyRightClick, dlg.isButtonChecked(IDC_RIGHT_ENABLE));
                enableDependents(dlg);
                break;
            case IDC_RIGHT_WHILE_HELD:
            case IDC_RIGHT_ONE_TOUCH: {
                // The two boxes are one switch: a click on either flips both.
                const bool held = dlg.isButtonChecked(id) == (id == IDC_RIGHT_WHILE_HELD);
                if (held && has(opt::kKeyAlt)) {
                    setKey(opt::kKeyCtrl);
                    dlg.checkButton(IDC_RIGHT_ALT, false);
                    dlg.checkButton(IDC_RIGHT_CTRL, true);
                }
                put(opt::kKeyHeld, held);
                showMode(dlg);
                enableDependents(dlg);
                break;
            }
            case IDC_RIGHT_TRAY:
                put(opt::kTrayIcon, dlg.isButtonChecked(IDC_RIGHT_TRAY));
                break;
            case IDC_RIGHT_WINDOW:
                put(opt::kFloatingIcon, dlg.isButtonChecked(IDC_RIGHT_WINDOW));
                break;
            default:
                return;
        }
        markModified(dlg);
    }

    bool onApply(DialogPort& dlg) override { return saveIfChanged(dlg); }

private:
    bool has(uint32_t bit) { return (settings().user.option & bit) != 0; }
    void put(uint32_t bit, bool on) {
        uint32_t& option = settings().user.option;
        option = on ? option | bit : option & ~bit;
    }
    void setKey(uint32_t key) { settings().user.option = (settings().user.option & ~kKeyBits) | key; }

    void showMode(DialogPort& dlg) {
        dlg.checkButton(IDC_RIGHT_WHILE_HELD, has(opt::kKeyHeld));
        dlg.checkButton(IDC_RIGHT_ONE_TOUCH, !has(opt::kKeyHeld));
    }

    // Alt is offered only for the one touch after the key.
    void enableDependents(DialogPort& dlg) {
        const bool on = has(opt::kKeyRightClick);
        for (int id : {IDC_RIGHT_CTRL, IDC_RIGHT_SHIFT, IDC_RIGHT_WHILE_HELD, IDC_RIGHT_ONE_TOUCH, IDC_RIGHT_MODE_TEXT})
            dlg.enableItem(id, on);
        dlg.enableItem(IDC_RIGHT_ALT, on && !has(opt::kKeyHeld));
    }
};

}  // namespace

std::unique_ptr<Page> makeRightClickPage(Console& console) { return std::make_unique<RightClickPage>(console); }

}  // namespace tp::console
