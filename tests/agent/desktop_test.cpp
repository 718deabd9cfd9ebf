// What the agent does on the user's desktop: cursor hiding, the tray icon
// and the floating icon window.
#include <gtest/gtest.h>

#include "cursor.h"
#include "floating_window.h"
#include "worker_rig.h"

namespace tp::test {
namespace {

using agent::IconHandle;
using agent::Rect;
using agent::WindowHandle;

// ---------------------------------------------------------------- cursor

class CursorHiding : public ::testing::Test {
protected:
    AgentRig rig;
    CheckedCursors cursors{rig.journal};
    void SetUp() override { rig.agent.ports.cursor = &cursors; }
    void hide(bool on) { rig.agent.state.settings.option.set(on ? def::kOption | opt::kHideCursor : def::kOption); }
};

TEST_F(CursorHiding, EverySixteenIdsGetsItsOwnCopyOfTheTransparentCursor) {
    hide(true);
    agent::ApplyCursorHiding(rig.agent);
    const uint32_t ids[] = {32512, 32513, 32514, 32515, 32516, 32640, 32641, 32642,
                            32643, 32644, 32645, 32646, 32648, 32649, 32650, 32651};
    std::vector<std::string> expected = {"lock 2", "LoadCursor 102"};
    agent::CursorHandle copy = 0xC01;
    for (uint32_t id : ids) {
        expected.push_back("CopyCursor 0xc66 -> " + hexOf(copy));
        expected.push_back("SetSystemCursor " + hexOf(copy) + " " + std::to_string(id));
        ++copy;
    }
    expected.push_back("unlock 2");
    EXPECT_EQ(rig.journal.lines(), expected);
    EXPECT_EQ(cursors.leaked(), 0);
    EXPECT_EQ(rig.journal.find("SetSystemCursor 0xc01 32647"), -1);
}

TEST_F(CursorHiding, ClearedBitRestoresTheUsersScheme) {
    hide(false);
    agent::ApplyCursorHiding(rig.agent);
    EXPECT_EQ(rig.journal.lines(),
              (std::vector<std::string>{"lock 2", "LoadCursor 102", "SystemParametersInfo 0x57 0 0", "unlock 2"}));
}

TEST_F(CursorHiding, CopiesTheSystemDidNotTakeAreDestroyedAndFailuresSkipped) {
    hide(true);
    cursors.refusedId = 32514;
    agent::ApplyCursorHiding(rig.agent);
    EXPECT_EQ(rig.journal.starting("SetSystemCursor").size(), 16u);
    EXPECT_EQ(rig.journal.starting("DestroyCursor"), std::vector<std::string>{"DestroyCursor 0xc03"});
    EXPECT_EQ(cursors.leaked(), 0);

    rig.journal.clear();
    cursors.copyFails = true;
    agent::ApplyCursorHiding(rig.agent);
    EXPECT_TRUE(rig.journal.starting("SetSystemCursor").empty());

    rig.journal.clear();
    cursors.copyFails = false;
    cursors.loadFails = true;
    agent::ApplyCursorHiding(rig.agent);
    EXPECT_TRUE(rig.journal.starting("CopyCursor").empty());
    EXPECT_TRUE(rig.journal.starting("SetSystemCursor").empty());
}

// ---------------------------------------------------------------- tray

TEST(TrayIcon, FillsTheFirstVersionDataAndDestroysTheIconAfterTheCall) {
    AgentRig rig;
    const IconHandle icon = rig.windows.loadIcon(agent::kIconRightButton, agent::kTrayIconSize);
    rig.journal.clear();
    EXPECT_TRUE(agent::SetTrayIcon(rig.agent, 0x500, agent::win::kNimModify, 1, icon, "Switch to Primary Button"));
    ASSERT_EQ(rig.tray.calls.size(), 1u);
    const agent::TrayIconData& d = rig.tray.calls[0];
    EXPECT_EQ(d.window, 0x500u);
    EXPECT_EQ(d.id, 1u);
    EXPECT_EQ(d.flags, 0x7u);  // NIF_MESSAGE | NIF_ICON | NIF_TIP
    EXPECT_EQ(d.callbackMessage, agent::AGM_BUTTON_MODE);
    EXPECT_EQ(d.icon, icon);
    EXPECT_STREQ(d.tip, "Switch to Primary Button");
    EXPECT_EQ(rig.journal.lines(),
              (std::vector<std::string>{"Shell_NotifyIcon 1 id=1 icon=" + hexOf(icon) + " tip=Switch to Primary Button",
                                        "DestroyIcon " + hexOf(icon)}));
    EXPECT_TRUE(rig.windows.liveIcons().empty());
}

TEST(TrayIcon, LongTipIsCutTo63AndNoIconOrTipIsFine) {
    AgentRig rig;
    const std::string tip(70, 'x');
    rig.tray.result = false;
    EXPECT_FALSE(agent::SetTrayIcon(rig.agent, 0x500, agent::win::kNimAdd, 1, 0, tip.c_str()));
    EXPECT_EQ(std::string(rig.tray.calls[0].tip), tip.substr(0, 63));
    EXPECT_FALSE(agent::SetTrayIcon(rig.agent, 0x500, agent::win::kNimDelete, 1, 0, nullptr));
    EXPECT_STREQ(rig.tray.calls[1].tip, "");
    EXPECT_TRUE(rig.journal.starting("DestroyIcon").empty());
}

// ---------------------------------------------------------------- floating window

class FakeFloating : public agent::FloatingWindowPort {
public:
    explicit FakeFloating(Journal& journal) : journal_(journal) {}
    Rect window{100, 200, 160, 250};
    Rect icon{110, 220, 150, 245};
    int32_t cursorX = 0, cursorY = 0;
    IconHandle shown = 0x5000;  // the dialog's own icon

    bool windowRect(WindowHandle, Rect* r) override {
        *r = window;
        return true;
    }
    bool controlRect(WindowHandle, int id, Rect* r) override {
        if (id != agent::kControlFloatingIcon) return false;
        *r = icon;
        return true;
    }
    bool cursorPos(int32_t* x, int32_t* y) override {
        *x = cursorX;
        *y = cursorY;
        return true;
    }
    IconHandle setControlIcon(WindowHandle dialog, int id, IconHandle icon) override {
        journal_.add("STM_SETICON " + hexOf(dialog) + " " + std::to_string(id) + " " + hexOf(icon));
        const IconHandle old = shown;
        shown = icon;
        return old;
    }
    bool placeTopmost(WindowHandle dialog, int32_t x, int32_t y, int32_t w, int32_t h) override {
        journal_.add("SetWindowPos " + hexOf(dialog) + " topmost " + std::to_string(x) + "," + std::to_string(y) + " " +
                     std::to_string(w) + "x" + std::to_string(h));
        return true;
    }
    void destroyIcon(IconHandle icon) override { journal_.add("DestroyIcon " + hexOf(icon)); }

private:
    Journal& journal_;
};

class FloatingWindow : public ::testing::Test {
protected:
    AgentRig rig;
    FakeFloating port{rig.journal};
    static constexpr WindowHandle kDialog = 0x900;
    bool handle(uint32_t message) { return agent::HandleFloatingWindowMessage(rig.agent, port, kDialog, message); }
    std::optional<uint32_t> stored(const char* name) const { return rig.registry.dword(AgentRig::userKey(), name); }
};

TEST_F(FloatingWindow, MovingStoresTheNewTopLeftAtOnce) {
    port.window = {-300, 40, -240, 90};
    EXPECT_TRUE(handle(agent::kWmMove));
    EXPECT_EQ(stored(val::kWinPosX), static_cast<uint32_t>(-300));
    EXPECT_EQ(stored(val::kWinPosY), 40u);
    EXPECT_EQ(rig.registry.log().front(), "create " + AgentRig::userKey());
    EXPECT_EQ(rig.registry.openHandles(), 0);

    rig.registry.failOpens(AgentRig::userKey(), 1);
    port.window = {5, 6, 65, 56};
    handle(agent::kWmMove);
    EXPECT_EQ(stored(val::kWinPosX), static_cast<uint32_t>(-300)) << "not saved without the key";
    EXPECT_EQ(rig.agent.state.winPosX.get(), 5u) << "but remembered";
}

TEST_F(FloatingWindow, OnlyAReleaseOverTheIconSwitchesTheButton) {
    const struct {
        int32_t x, y;
        bool over;
    } points[] = {{110, 220, true}, {149, 244, true}, {130, 210, false}, {150, 230, false}, {130, 245, false}};
    for (const auto& p : points) {
        for (uint32_t message : {agent::win::kWmLButtonUp, agent::win::kWmRButtonUp}) {
            rig.journal.clear();
            port.cursorX = p.x;
            port.cursorY = p.y;
            EXPECT_TRUE(handle(message));
            const auto posts = rig.journal.starting("PostMessage");
            if (p.over)
                EXPECT_EQ(posts, std::vector<std::string>{"PostMessage 0x500 0x500 0 " + hexOf(message)})
                    << p.x << "," << p.y;
            else
                EXPECT_TRUE(posts.empty()) << p.x << "," << p.y;
        }
    }
}

TEST_F(FloatingWindow, ShowRightAndLeftSwapTheIconAndFreeTheOnesItSet) {
    handle(agent::FLM_SHOW_RIGHT);
    handle(agent::FLM_SHOW_LEFT);
    const IconHandle right = iconHandle(agent::kIconRightButton, 32);
    const IconHandle left = iconHandle(agent::kIconLeftButton, 32);
    EXPECT_EQ(rig.journal.lines(),
              (std::vector<std::string>{"LoadIcon 104 32", "STM_SETICON 0x900 1000 " + hexOf(right), "LoadIcon 103 32",
                                        "STM_SETICON 0x900 1000 " + hexOf(left), "DestroyIcon " + hexOf(right)}))
        << "the dialog's own first icon is not destroyed";
    rig.journal.clear();
    EXPECT_TRUE(handle(agent::win::kWmDestroy));
    EXPECT_EQ(rig.journal.lines(), std::vector<std::string>{"DestroyIcon " + hexOf(left)});
}

TEST_F(FloatingWindow, RestoreReadsThePositionAndPlacesItTopmostAtItsSize) {
    rig.registry.setDword(AgentRig::userKey(), val::kWinPosX, 640);
    rig.registry.setDword(AgentRig::userKey(), val::kWinPosY, 12);
    EXPECT_TRUE(handle(agent::FLM_RESTORE_POSITION));
    EXPECT_EQ(rig.journal.starting("SetWindowPos"),
              std::vector<std::string>{"SetWindowPos 0x900 topmost 640,12 60x50"});
    EXPECT_TRUE(rig.registry.writtenNames().empty());

    // Ten attempts 20 ms apart; without the key the last position stays.
    rig.journal.clear();
    rig.registry.failOpens(AgentRig::userKey(), 10);
    handle(agent::FLM_RESTORE_POSITION);
    EXPECT_EQ(rig.sleep.calls(), std::vector<uint32_t>(10, 20));
    EXPECT_EQ(rig.journal.starting("SetWindowPos"),
              std::vector<std::string>{"SetWindowPos 0x900 topmost 640,12 60x50"});
}

TEST_F(FloatingWindow, ResetWritesZerosAndOtherMessagesAreLeftAlone) {
    rig.agent.state.winPosX.set(77);
    rig.agent.state.winPosY.set(88);
    EXPECT_TRUE(handle(agent::FLM_RESET_POSITION));
    EXPECT_EQ(stored(val::kWinPosX), 0u);
    EXPECT_EQ(stored(val::kWinPosY), 0u);
    EXPECT_EQ(rig.agent.state.winPosX.get(), 0u);
    EXPECT_FALSE(handle(0x0201));  // WM_LBUTTONDOWN
    EXPECT_FALSE(handle(agent::AGM_BUTTON_MODE));
}

}  // namespace
}  // namespace tp::test
