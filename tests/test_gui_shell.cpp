#include <gtest/gtest.h>

#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <set>

#include "app/about_dlg.h"
#include "app/main_frame.h"
#include "app/zx840_app.h"
#include "commands/command_ids.h"
#include "commands/command_table.h"
#include "view/zx840_view.h"

namespace zx840 {
namespace {

void DescribeMenu(const QList<QAction*>& actions, int depth, QStringList& lines) {
    const QString indent(depth * 2, QLatin1Char(' '));
    for (QAction* action : actions) {
        if (action->isSeparator()) {
            lines << indent + QStringLiteral("-");
        } else if (action->menu() != nullptr) {
            lines << indent + action->text() + QStringLiteral(" >");
            DescribeMenu(action->menu()->actions(), depth + 1, lines);
        } else {
            lines << indent + action->text();
        }
    }
}

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(app_.InitInstance({}));
        frame_ = app_.Frame();
    }
    QTemporaryDir settings_;  // the settings file of this run
    CZX840ENApp app_{settings_.path()};
    CMainFrame* frame_ = nullptr;
};

TEST_F(ShellTest, StartsUntitledAndReady) {
    EXPECT_EQ(frame_->windowTitle(), QStringLiteral("Untitled - ZX840 DIGITAL POWER METER"));
    EXPECT_EQ(frame_->StatusMessage(), QStringLiteral("Ready!"));
    // Offscreen nothing tells the lock keys: the indicators stay blank.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(frame_->IndicatorText(i), QString());
    }
}

TEST_F(ShellTest, MenusShortcutsAndToolbarAreTheProgramsOwn) {
    QStringList lines;
    DescribeMenu(frame_->menuBar()->actions(), 0, lines);
    const QStringList expected = {
        "&File >",
        "  &Open...\tCtrl+O",
        "  &Save As...\tCtrl+S",
        "  -",
        "  &Print...\tCtrl+P",
        "  -",
        "  E&xit",
        "&Communication >",
        "  Comm &Pass\tF3",
        "  -",
        "  COM Port >",
        "    COM&1",
        "    COM&2",
        "    COM&3",
        "    COM&4",
        "    COM&5",
        "    COM&6",
        "    COM&7",
        "    COM&8",
        "    -",
        "    Port &Devices...",
        "  Comm Band >",
        "    2400BPS(&2)",
        "    9600BPS(&9)",
        "&Product >",
        "  Product &Mark...\tCtrl+M",
        "&Help >",
        "  &About ZX840...",
    };
    EXPECT_EQ(lines, expected) << lines.join('\n').toStdString();

    std::set<QString> keys;
    for (QShortcut* shortcut : frame_->findChildren<QShortcut*>()) {
        keys.insert(shortcut->key().toString(QKeySequence::PortableText));
    }
    const std::set<QString> expectedKeys = {QKeySequence("Ctrl+1").toString(),
                                            QKeySequence("Ctrl+2").toString(),
                                            QKeySequence("Ctrl+A").toString(),
                                            QKeySequence("Ctrl+M").toString(),
                                            QKeySequence("Ctrl+O").toString(),
                                            QKeySequence("Ctrl+P").toString(),
                                            QKeySequence("Ctrl+Shift+Alt+P").toString(),
                                            QKeySequence("Ctrl+S").toString(),
                                            QKeySequence("F3").toString()};
    EXPECT_EQ(keys, expectedKeys);

    // Toolbar: Open, Save As | Comm Pass | Continuate, Stop | Number+1 | Print, Preview | About.
    QStringList toolbar;
    for (QAction* action : frame_->ToolBar()->actions()) {
        if (action->isSeparator()) {
            toolbar << QStringLiteral("|");
            continue;
        }
        for (int id :
             {kCmdFileOpen, kCmdFileSaveAs, kCmdCommPass, kCmdContinuousStart, kCmdContinuousStop,
              kCmdNumberAddOne, kCmdFilePrint, kCmdFilePrintPreview, kCmdAppAbout}) {
            if (frame_->Action(id) == action) {
                toolbar << QString::number(id);
            }
        }
    }
    EXPECT_EQ(toolbar.join(' '), QStringLiteral("57601 57604 | 32771 | 32792 32793 | 32783 | "
                                                "57607 57609 | 57664"));
    EXPECT_EQ(frame_->ToolBar()->allowedAreas(), Qt::TopToolBarArea);
    EXPECT_TRUE(frame_->ToolBar()->isFloatable());
    EXPECT_EQ(frame_->toolBarArea(frame_->ToolBar()), Qt::TopToolBarArea);
    EXPECT_EQ(frame_->Action(kCmdCommPass)->toolTip(), QStringLiteral("Communication"));
    EXPECT_EQ(frame_->Action(kCmdContinuousStop)->toolTip(),
              QStringLiteral("Stop Continuate Test"));
}

TEST_F(ShellTest, HighlightedMenuItemShowsItsPromptUntilTheMenuCloses) {
    frame_->show();
    QMenu* file = frame_->menuBar()->actions().at(0)->menu();
    file->popup(QPoint(0, 0));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
    emit file->hovered(frame_->Action(kCmdFileSaveAs));
    EXPECT_EQ(frame_->StatusMessage(), QStringLiteral("Save Current File"));
    emit file->hovered(frame_->Action(kCmdAppExit));
    EXPECT_EQ(frame_->StatusMessage(), QStringLiteral("Exit ZX840"));
    file->hide();
    EXPECT_EQ(frame_->StatusMessage(), QStringLiteral("Ready!"));
}

TEST_F(ShellTest, CommandStatesFollowTheHandlers) {
    frame_->UpdateCommandStates();
    EXPECT_TRUE(frame_->Action(kCmdCommPass)->isEnabled());  // the view
    EXPECT_TRUE(frame_->Action(kCmdAppAbout)->isEnabled());  // the application
    EXPECT_TRUE(frame_->Action(kCmdAppExit)->isEnabled());
    // Every action shows what the routing says about its command.
    for (const CommandSpec& slot : Commands()) {
        if (QAction* action = frame_->Action(slot.id)) {
            EXPECT_EQ(action->isEnabled(), app_.Router().State(slot.id).enabled) << slot.id;
        }
    }
}

TEST(AboutBox, ShowsTitleAndVersion) {
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
    const QStringList lines = CAboutDlg::Text().split('\n');
    ASSERT_EQ(lines.size(), 9);
    EXPECT_EQ(lines[0], QStringLiteral("ZX840 DIGITAL POWER METER"));
    EXPECT_EQ(lines[1], QString());
    EXPECT_EQ(lines[2], QStringLiteral("Version:1.05"));
}

}  // namespace
}  // namespace zx840
