#include <gtest/gtest.h>

#include "page_rig.h"

namespace tp::console::test {
namespace {

constexpr uint32_t kKeys = opt::kKeyCtrl | opt::kKeyShift | opt::kKeyAlt;
constexpr uint32_t kOn = opt::kKeyRightClick;

struct RightRig : PageRig {
    explicit RightRig(uint32_t option) : PageRig(makeRightClickPage) { user().option = option; }
    int checkedKey() {
        for (int id : {IDC_RIGHT_CTRL, IDC_RIGHT_SHIFT, IDC_RIGHT_ALT})
            if (dlg.at(id).checked) return id;
        return 0;
    }
};

TEST(RightClickPage, OpeningReadsTheKeyModeAndWhatIsOffered) {
    struct Case {
        const char* name;
        uint32_t option;
        int key;
        bool heldChecked;
        bool keysEnabled, altEnabled;
    };
    const Case cases[] = {
        {"built-in option: off, Ctrl, one touch", def::kOption, IDC_RIGHT_CTRL, false, false, false},
        {"no key bit reads as Ctrl", (def::kOption & ~kKeys) | kOn, IDC_RIGHT_CTRL, false, true, true},
        {"Shift and Ctrl: Shift wins", (def::kOption & ~kKeys) | kOn | opt::kKeyShift | opt::kKeyCtrl, IDC_RIGHT_SHIFT,
         false, true, true},
        {"while held with Alt stored elsewhere: Alt shown but not offered",
         (def::kOption & ~kKeys) | kOn | opt::kKeyHeld | opt::kKeyAlt, IDC_RIGHT_ALT, true, true, false},
        {"off while held: nothing offered", (def::kOption & ~kKeys) | opt::kKeyHeld | opt::kKeyShift, IDC_RIGHT_SHIFT,
         true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RightRig r(c.option);
        r.open();
        EXPECT_EQ(r.checkedKey(), c.key);
        EXPECT_EQ(
            r.dlg.at(IDC_RIGHT_ALT).checked + r.dlg.at(IDC_RIGHT_SHIFT).checked + r.dlg.at(IDC_RIGHT_CTRL).checked, 1);
        EXPECT_EQ(r.dlg.at(IDC_RIGHT_WHILE_HELD).checked, c.heldChecked);
        EXPECT_EQ(r.dlg.at(IDC_RIGHT_ONE_TOUCH).checked, !c.heldChecked);
        EXPECT_EQ(r.dlg.at(IDC_RIGHT_ENABLE).checked, (c.option & kOn) != 0);
        for (int id : {IDC_RIGHT_CTRL, IDC_RIGHT_SHIFT, IDC_RIGHT_WHILE_HELD, IDC_RIGHT_ONE_TOUCH, IDC_RIGHT_MODE_TEXT})
            EXPECT_EQ(r.dlg.at(id).enabled, c.keysEnabled) << id;
        EXPECT_EQ(r.dlg.at(IDC_RIGHT_ALT).enabled, c.altEnabled);
        EXPECT_EQ(r.user().option, c.option);
        EXPECT_EQ(r.dlg.modifiedCount, 0);
    }
}

TEST(RightClickPage, ClicksEditTheirBitsAndKeepOneKey) {
    struct Case {
        const char* name;
        uint32_t option;
        std::vector<int> clicks;
        uint32_t expected;
        int key;
        bool altEnabled;
    };
    const uint32_t base = (def::kOption & ~kKeys) | kOn;
    const Case cases[] = {
        {"Shift replaces Ctrl", base | opt::kKeyCtrl, {IDC_RIGHT_SHIFT}, base | opt::kKeyShift, IDC_RIGHT_SHIFT, true},
        {"Alt replaces a stray pair",
         base | opt::kKeyCtrl | opt::kKeyShift,
         {IDC_RIGHT_ALT},
         base | opt::kKeyAlt,
         IDC_RIGHT_ALT,
         true},
        {"while held moves Alt to Ctrl",
         base | opt::kKeyAlt,
         {IDC_RIGHT_WHILE_HELD},
         base | opt::kKeyHeld | opt::kKeyCtrl,
         IDC_RIGHT_CTRL,
         false},
        {"unchecking one touch is the same switch",
         base | opt::kKeyAlt,
         {IDC_RIGHT_ONE_TOUCH},
         base | opt::kKeyHeld | opt::kKeyCtrl,
         IDC_RIGHT_CTRL,
         false},
        {"back to one touch does not restore Alt",
         base | opt::kKeyAlt,
         {IDC_RIGHT_WHILE_HELD, IDC_RIGHT_ONE_TOUCH},
         base | opt::kKeyCtrl,
         IDC_RIGHT_CTRL,
         true},
        {"while held keeps Shift",
         base | opt::kKeyShift,
         {IDC_RIGHT_WHILE_HELD},
         base | opt::kKeyHeld | opt::kKeyShift,
         IDC_RIGHT_SHIFT,
         false},
        {"turning it on while held leaves Alt unoffered",
         (base & ~kOn) | opt::kKeyHeld | opt::kKeyCtrl,
         {IDC_RIGHT_ENABLE},
         base | opt::kKeyHeld | opt::kKeyCtrl,
         IDC_RIGHT_CTRL,
         false},
        {"turning it off", base | opt::kKeyAlt, {IDC_RIGHT_ENABLE}, (base & ~kOn) | opt::kKeyAlt, IDC_RIGHT_ALT, false},
        {"tray icon", base, {IDC_RIGHT_TRAY}, base | opt::kTrayIcon, IDC_RIGHT_CTRL, true},
        {"window icon", base | opt::kFloatingIcon, {IDC_RIGHT_WINDOW}, base, IDC_RIGHT_CTRL, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RightRig r(c.option);
        r.open();
        bool radioClicked = false;
        for (int id : c.clicks) {
            const bool radio = id == IDC_RIGHT_CTRL || id == IDC_RIGHT_SHIFT || id == IDC_RIGHT_ALT;
            radioClicked |= radio;
            if (radio)
                r.choose(id);
            else
                r.toggle(id);
        }
        EXPECT_EQ(r.user().option, c.expected);
        // Auto radio buttons uncheck their siblings themselves; a mode switch is the page's doing.
        if (!radioClicked) {
            EXPECT_EQ(r.checkedKey(), c.key);
        }
        const bool held = (c.expected & opt::kKeyHeld) != 0;
        EXPECT_EQ(r.dlg.at(IDC_RIGHT_WHILE_HELD).checked, held);
        EXPECT_EQ(r.dlg.at(IDC_RIGHT_ONE_TOUCH).checked, !held);
        EXPECT_EQ(r.dlg.at(IDC_RIGHT_ALT).enabled, c.altEnabled);
        EXPECT_EQ(r.dlg.modifiedCount, static_cast<int>(c.clicks.size()));
        EXPECT_TRUE(r.settings().settingsChanged);
    }
}

}  // namespace
}  // namespace tp::console::test
