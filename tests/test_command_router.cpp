#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "commands/command_ids.h"
#include "commands/command_router.h"
#include "commands/command_table.h"

namespace zx840 {
namespace {

// A target that handles some commands, marks some, and logs what it ran.
class FakeTarget : public CommandTarget {
  public:
    FakeTarget(std::string name, std::set<int> handles, std::vector<std::string>& log)
        : name_(std::move(name)), handles_(std::move(handles)), log_(log) {}
    bool OnCommand(int id) override {
        if (!handles_.count(id)) {
            return false;
        }
        log_.push_back(name_ + ":" + std::to_string(id));
        return true;
    }
    bool OnUpdateCommand(int id, CommandState& state) override {
        if (id != updates_) {
            return false;
        }
        state.enabled = enabled_;
        state.checkable = true;
        state.checked = true;
        return true;
    }
    bool HandlesCommand(int id) const override { return handles_.count(id) != 0; }

    int updates_ = -1;
    bool enabled_ = true;

  private:
    std::string name_;
    std::set<int> handles_;
    std::vector<std::string>& log_;
};

TEST(CommandRouter, FirstHandlerWinsAndUnhandledCommandsAreDisabled) {
    std::vector<std::string> log;
    FakeTarget view("view", {1, 2}, log);
    FakeTarget document("document", {2, 3}, log);
    FakeTarget frame("frame", {}, log);
    FakeTarget app("app", {3, 4}, log);
    CommandRouter router;
    router.SetTargets({&view, &document, &frame, &app});

    EXPECT_TRUE(router.Dispatch(2));
    EXPECT_TRUE(router.Dispatch(3));
    EXPECT_TRUE(router.Dispatch(4));
    EXPECT_FALSE(router.Dispatch(5));
    EXPECT_EQ(log, (std::vector<std::string>{"view:2", "document:3", "app:4"}));

    EXPECT_TRUE(router.State(4).enabled);
    EXPECT_FALSE(router.State(5).enabled);
    EXPECT_FALSE(router.State(5).checkable);

    // An update handler decides, even for a command handled further down.
    frame.updates_ = 4;
    frame.enabled_ = false;
    EXPECT_FALSE(router.State(4).enabled);
    EXPECT_TRUE(router.State(4).checked);
    EXPECT_FALSE(router.Dispatch(4));  // a disabled command does not run
    EXPECT_EQ(log.size(), 3u);
}

TEST(CommandTable, EveryMenuToolbarAndKeyCommandIsKnownAndMenusBalance) {
    int depth = 0;
    std::set<int> ids;
    for (const MenuSpec& item : MenuBar()) {
        depth += item.entry == MenuEntry::Popup ? 1 : item.entry == MenuEntry::EndPopup ? -1 : 0;
        ASSERT_GE(depth, 0);
        if (item.entry == MenuEntry::Item) {
            EXPECT_NE(FindCommand(item.id), nullptr) << item.text;
            EXPECT_TRUE(ids.insert(item.id).second) << "twice in the menus: " << item.id;
        }
    }
    EXPECT_EQ(depth, 0);
    for (const AcceleratorSpec& key : Accelerators()) {
        EXPECT_NE(FindCommand(key.id), nullptr) << key.keys;
    }
    int buttons = 0;
    for (const ToolbarSpec& slot : Toolbar()) {
        if (slot.id != 0) {
            ++buttons;
            EXPECT_NE(FindCommand(slot.id), nullptr);
        }
    }
    EXPECT_EQ(buttons, 9);
    // Ctrl+3 to Ctrl+8 stay unbound: COM3 to COM8 are menu-only.
    for (const AcceleratorSpec& key : Accelerators()) {
        for (char digit = '3'; digit <= '8'; ++digit) {
            EXPECT_NE(std::string(key.keys), std::string("Ctrl+") + digit);
        }
    }
}

}  // namespace
}  // namespace zx840
