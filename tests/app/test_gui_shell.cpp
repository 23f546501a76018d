#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <set>

#include "app/about_dlg.h"
#include "app/main_frame.h"
#include "app/zx840_app.h"
#include "app/zx840_doc.h"
#include "commands/command_ids.h"
#include "commands/command_table.h"
#include "tests/gui_helpers.h"
#include "view/dialog_units.h"
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
        "  &Test Plan...",
        "  &Judge Again",
        "  -",
        "  &Results Store...",
        "  &History...",
        "  -",
        "  Re&mote Control...",
        "&View >",
        "  &Trend",
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

// Every menu of the menu bar, submenus included.
QList<QMenu*> AllMenus(QMenuBar* bar) {
    QList<QMenu*> menus;
    QList<QAction*> pending = bar->actions();
    while (!pending.isEmpty()) {
        QAction* action = pending.takeFirst();
        if (QMenu* menu = action->menu()) {
            menus << menu;
            pending << menu->actions();
        }
    }
    return menus;
}

QMenu* SubMenu(QMenuBar* bar, const QString& title) {
    for (QMenu* menu : AllMenus(bar)) {
        if (menu->title() == title) {
            return menu;
        }
    }
    return nullptr;
}

// Pointer events at the centre of `widget`, through the window as the
// windowing system delivers them (so a held button keeps the pointer).
class Pointer {
  public:
    explicit Pointer(QWidget* window) : window_(window) {}
    void Move(QWidget* widget) { QTest::mouseMove(window_->windowHandle(), At(widget)); }
    void Press(QWidget* widget) {
        QTest::mousePress(window_->windowHandle(), Qt::LeftButton, {}, At(widget));
    }
    void Release(QWidget* widget) {
        QTest::mouseRelease(window_->windowHandle(), Qt::LeftButton, {}, At(widget));
    }

  private:
    QPoint At(QWidget* widget) const { return widget->mapTo(window_, widget->rect().center()); }
    QWidget* window_;
};

TEST_F(ShellTest, HoveringAToolbarButtonLeavesReadyAndHoldingItShowsThePrompt) {
    frame_->show();
    QApplication::setActiveWindow(frame_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame_));
    frame_->UpdateCommandStates();
    Pointer pointer(frame_);
    QWidget* away = frame_->centralWidget();
    int buttons = 0;
    for (QAction* action : frame_->ToolBar()->actions()) {
        if (action->isSeparator()) {
            continue;
        }
        ++buttons;
        auto* button = qobject_cast<QToolButton*>(frame_->ToolBar()->widgetForAction(action));
        ASSERT_NE(button, nullptr);
        int id = 0;
        for (const CommandSpec& command : Commands()) {
            if (frame_->Action(command.id) == action) {
                id = command.id;
            }
        }
        const CommandSpec* command = FindCommand(id);
        ASSERT_NE(command, nullptr);
        // Resting on the button, then leaving it: the status bar stays idle.
        pointer.Move(button);
        EXPECT_TRUE(button->underMouse()) << id;
        EXPECT_EQ(frame_->StatusMessage().toStdString(), "Ready!") << id;
        pointer.Move(away);
        EXPECT_EQ(frame_->StatusMessage().toStdString(), "Ready!") << id;
        if (!button->isEnabled()) {
            continue;  // Stop Continuate Test before a test runs
        }
        // Held down: the prompt; dragged off and let go: idle, nothing run.
        pointer.Move(button);
        pointer.Press(button);
        EXPECT_TRUE(button->isDown()) << id;
        EXPECT_EQ(frame_->StatusMessage().toStdString(),
                  command->prompt != nullptr ? command->prompt : "")
            << id;
        pointer.Move(away);
        EXPECT_EQ(frame_->StatusMessage().toStdString(), "Ready!") << id;
        pointer.Release(away);
        EXPECT_FALSE(button->isDown()) << id;
        EXPECT_EQ(frame_->StatusMessage().toStdString(), "Ready!") << id;
    }
    EXPECT_EQ(buttons, 9);
    EXPECT_EQ(app_.Document()->State().Mark.Number, 1);  // no click ran Number add one
    EXPECT_FALSE(app_.View()->ContinuousTest());

    // A full click: the prompt while held, the command on release, then idle.
    auto* number = frame_->ToolBar()->widgetForAction(frame_->Action(kCmdNumberAddOne));
    pointer.Move(number);
    pointer.Press(number);
    EXPECT_EQ(frame_->StatusMessage().toStdString(), "Number of product add one");
    pointer.Release(number);
    EXPECT_EQ(frame_->StatusMessage().toStdString(), "Ready!");
    EXPECT_EQ(app_.Document()->State().Mark.Number, 2);
    pointer.Move(away);
    EXPECT_EQ(frame_->StatusMessage().toStdString(), "Ready!");
}

TEST_F(ShellTest, EveryToolbarButtonHasItsCommandsNameForScreenReaders) {
    QStringList names;
    for (QAction* action : frame_->ToolBar()->actions()) {
        if (action->isSeparator()) {
            continue;
        }
        auto* button = qobject_cast<QToolButton*>(frame_->ToolBar()->widgetForAction(action));
        ASSERT_NE(button, nullptr);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
        ASSERT_NE(accessible, nullptr);
        names << accessible->text(QAccessible::Name);
        // Still a picture only.
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
    }
    EXPECT_EQ(names.join('|'), QStringLiteral("Open|Save As|Comm Pass|Continuate Test|Stop "
                                              "Continuate Test|Number add one|Print|Print "
                                              "Preview|About"));
}

TEST_F(ShellTest, MenusShowNoTooltipsAndNoIcons) {
    const QList<QMenu*> menus = AllMenus(frame_->menuBar());
    ASSERT_EQ(menus.size(), 7);
    for (QMenu* menu : menus) {
        EXPECT_FALSE(menu->toolTipsVisible()) << menu->title().toStdString();
        for (QAction* action : menu->actions()) {
            EXPECT_TRUE(action->icon().isNull() || !action->isIconVisibleInMenu())
                << action->text().toStdString();
        }
    }
    // The toolbar keeps its pictures and its tooltips.
    EXPECT_FALSE(frame_->Action(kCmdFileOpen)->icon().isNull());
    EXPECT_EQ(frame_->Action(kCmdFileOpen)->toolTip(), QStringLiteral("Open"));
}

// The columns of `image` inside `rect` that hold anything but the colour
// of its first pixel.
QList<int> MarkedColumns(const QImage& image, const QRect& rect) {
    QList<int> columns;
    const QRgb background = image.pixel(rect.topLeft());
    for (int x = rect.left(); x <= rect.right(); ++x) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            if (image.pixel(x, y) != background) {
                columns << x;
                break;
            }
        }
    }
    return columns;
}

// Under the default style and under both built-in ones, the port and speed
// items carry a mark when checked and nothing at all otherwise.
TEST(MenuMarks, OnlyCheckedItemsShowAMark) {
    const QString original = QApplication::style()->name();
    for (const QString& style : {original, QStringLiteral("Fusion"), QStringLiteral("Windows")}) {
        QApplication::setStyle(QStyleFactory::create(style));
        QTemporaryDir settings;
        CZX840ENApp app(settings.path());
        ASSERT_TRUE(app.InitInstance({}));
        CMainFrame* frame = app.Frame();
        frame->Action(kCmdCom1 + 2)->trigger();  // COM3
        frame->Action(kCmdBaud2400)->trigger();
        frame->UpdateCommandStates();

        QMenu* ports = SubMenu(frame->menuBar(), QStringLiteral("COM Port"));
        QMenu* speeds = SubMenu(frame->menuBar(), QStringLiteral("Comm Band"));
        ASSERT_NE(ports, nullptr);
        ASSERT_NE(speeds, nullptr);
        // Where the texts begin: the first marked column of the one item
        // that cannot be checked.
        ports->popup(QPoint(0, 0));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(ports));
        const QImage portImage = ports->grab().toImage();
        const QRect devices = ports->actionGeometry(frame->Action(kCmdPortDevices));
        const QList<int> devicesColumns = MarkedColumns(portImage, devices.adjusted(1, 1, -1, -1));
        ASSERT_FALSE(devicesColumns.isEmpty());
        const int textLeft = devicesColumns.first();
        const auto checkColumn = [textLeft](const QRect& item) {
            return QRect(item.left() + 1, item.top() + 1, textLeft - item.left() - 2,
                         item.height() - 2);
        };
        for (int id = kCmdCom1; id <= kCmdCom8; ++id) {
            const QRect item = ports->actionGeometry(frame->Action(id));
            EXPECT_EQ(MarkedColumns(portImage, checkColumn(item)).isEmpty(), id != kCmdCom1 + 2)
                << style.toStdString() << " COM" << id - kCmdCom1 + 1;
        }
        ports->hide();

        speeds->popup(QPoint(0, 0));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(speeds));
        const QImage speedImage = speeds->grab().toImage();
        for (int id : {kCmdBaud2400, kCmdBaud9600}) {
            const QRect item = speeds->actionGeometry(frame->Action(id));
            EXPECT_EQ(MarkedColumns(speedImage, checkColumn(item)).isEmpty(), id != kCmdBaud2400)
                << style.toStdString() << " " << id;
        }
        speeds->hide();
    }
    QApplication::setStyle(QStyleFactory::create(original));
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

TEST(AboutBox, Is169By116DialogUnitsWithTheWholeNoticeShown) {
    CAboutDlg about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(about.size(), DluToPixels(QSize(169, 116), BaseUnitsOf(about.font())));
    // The notice is wrapped, not cut: the whole text fits its label.
    QLabel* text = nullptr;
    for (QLabel* label : about.findChildren<QLabel*>()) {
        if (label->text() == CAboutDlg::Text()) {
            text = label;
        }
    }
    ASSERT_NE(text, nullptr);
    EXPECT_LE(text->heightForWidth(text->width()), text->height());
    EXPECT_TRUE(about.rect().contains(text->geometry()));
}

}  // namespace
}  // namespace zx840
