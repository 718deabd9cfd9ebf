// One page over the console fakes, opened on a fake dialog, with the user's
// gestures on auto buttons and combo boxes.
#pragma once

#include <memory>
#include <string>

#include "console_rig.h"

namespace tp::console::test {

struct PageRig {
    using Maker = std::unique_ptr<Page> (*)(Console&);

    explicit PageRig(Maker maker, Language language = Language::English) : rig(language), page(maker(rig.console)) {
        dlg.logic = page.get();
    }

    void open() { page->onInit(dlg); }
    // An auto check box flips, an auto radio button checks; then BN_CLICKED.
    void toggle(int id) {
        dlg.at(id).checked = !dlg.at(id).checked;
        page->onCommand(dlg, id, kBnClicked);
    }
    void choose(int id) {
        dlg.at(id).checked = true;
        page->onCommand(dlg, id, kBnClicked);
    }
    void select(int combo, int index) {
        dlg.comboSelect(combo, index);
        page->onCommand(dlg, combo, kCbnSelChange);
    }
    void scroll(int id, int code, int pos = 0) { page->onHScroll(dlg, id, code, pos); }
    std::wstring text(int id) { return dlg.at(id).text; }

    PanelSettings& settings() { return rig.settings(); }
    UserValues& user() { return rig.settings().user; }

    ConsoleRig rig;
    FakeDialog dlg;
    std::unique_ptr<Page> page;
};

}  // namespace tp::console::test
