#include "app/main_frame.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <vector>

#include "analysis/power_quality.h"
#include "app/key_indicators.h"
#include "app/menu_style.h"
#include "app/trend_panel.h"
#include "commands/command_ids.h"
#include "commands/command_table.h"
#include "record/product_identity.h"
#include "session/meter_session.h"
#include "view/zx840_view.h"

namespace zx840 {
namespace {

constexpr const char* kIndicatorNames[3] = {"CAP", "NUM", "SCRL"};
constexpr qint64 kIndicatorIntervalMs = 250;  // idle refreshes of the lock indicators

}  // namespace

CMainFrame::CMainFrame(CommandRouter& router, CZX840ENView* view, MeterSession& session)
    : router_(router), view_(view), session_(session) {
    setCentralWidget(view_);
    setAcceptDrops(true);
    trend_ = new CTrendPanel(session_, this);
    addDockWidget(Qt::BottomDockWidgetArea, trend_);
    trend_->hide();
    AddCommandHandlers({
        {kCmdViewTrend, [this] { trend_->setVisible(!trend_->isVisibleTo(this)); },
         [this](CommandState& state) {
             state.checkable = true;
             state.checked = trend_->isVisibleTo(this);
         }},
    });
    BuildMenus();
    BuildAccelerators();
    BuildToolbar();
    BuildStatusBar();
    SetDocumentTitle(QStringLiteral("Untitled"));
    setWindowIcon(QIcon(QStringLiteral(":/res/zx840.png")));
    // The wait cursor while the meter answers; the window still repaints.
    connect(&session_, &MeterSession::busyChanged, this, [](bool busy) {
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
    });
    connect(&session_, &MeterSession::measured, this, &CMainFrame::ShowMeterCheck);
    // Like an idle handler: whenever the event loop runs out of work, the
    // toolbar's states follow the commands' update handlers.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &CMainFrame::OnIdle);
    qApp->installEventFilter(this);
    sinceIndicators_.start();
    UpdateCommandStates();
    UpdateIndicators();
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
    if (session_.ExchangeInProgress()) {
        QApplication::restoreOverrideCursor();
    }
}

void CMainFrame::SetDocumentTitle(const QString& title) {
    setWindowTitle(title + QStringLiteral(" - ") + QString::fromLatin1(kAppTitle));
}

QAction* CMainFrame::EnsureAction(int id) {
    if (QAction* existing = Action(id)) {
        return existing;
    }
    auto* action = new QAction(this);
    action->setData(id);
    actions_[id] = action;
    if (const CommandSpec* slot = FindCommand(id); slot != nullptr && slot->tooltip != nullptr) {
        action->setToolTip(QString::fromLatin1(slot->tooltip));
    }
    connect(action, &QAction::triggered, this, [this, id] { Run(id); });
    return action;
}

// As input waited while the meter answered, so does the command it gave.
void CMainFrame::Run(int id) {
    session_.WhenIdle(this, [this, id] {
        router_.Dispatch(id);
        UpdateCommandStates();
    });
}

// The command of one of the frame's actions; 0 for any other action.
int CMainFrame::IdOf(const QAction* action) {
    return action != nullptr ? action->data().toInt() : 0;
}

QAction* CMainFrame::Action(int id) const {
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

void CMainFrame::BuildMenus() {
    // The menus' style is a child of the frame made after the menu bar, so
    // it goes after the menu bar and its menus when the frame is destroyed.
    QMenuBar* bar = menuBar();
    menuStyle_ = new MenuMarkStyle(this);
    std::vector<QMenu*> open;
    for (const MenuSpec& slot : MenuBar()) {
        switch (slot.entry) {
            case MenuEntry::Popup: {
                QMenu* menu = open.empty() ? bar->addMenu(QString::fromLatin1(slot.text))
                                           : open.back()->addMenu(QString::fromLatin1(slot.text));
                // Menu items have no tooltips, and a plain mark only when checked.
                menu->setToolTipsVisible(false);
                menu->setStyle(menuStyle_);
                connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
                // A menu also hears an action hovered elsewhere (a toolbar
                // button shares it): only its own open items show a prompt.
                connect(menu, &QMenu::hovered, this, [this, menu](QAction* action) {
                    if (!menu->isVisible()) {
                        return;
                    }
                    if (const int id = IdOf(action); id != 0) {
                        ShowPrompt(id);
                    } else {
                        message_->clear();  // a submenu title has no prompt
                    }
                });
                if (open.empty()) {
                    connect(menu, &QMenu::aboutToHide, this, &CMainFrame::ShowReady);
                }
                open.push_back(menu);
                break;
            }
            case MenuEntry::EndPopup:
                open.pop_back();
                break;
            case MenuEntry::Separator:
                open.back()->addSeparator();
                break;
            case MenuEntry::Item: {
                QAction* action = EnsureAction(slot.id);
                action->setText(QString::fromLatin1(slot.text));
                open.back()->addAction(action);
                break;
            }
        }
    }
}

// Accelerators act on the main window, through the same routing and
// update handlers as the menus: a disabled command does nothing.
void CMainFrame::BuildAccelerators() {
    for (const AcceleratorSpec& slot : Accelerators()) {
        auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(slot.keys)), this);
        shortcut->setContext(Qt::WindowShortcut);
        const int id = slot.id;
        connect(shortcut, &QShortcut::activated, this, [this, id] { Run(id); });
    }
}

void CMainFrame::BuildToolbar() {
    toolbar_ = new QToolBar(QStringLiteral("Toolbar"), this);
    toolbar_->setObjectName(QStringLiteral("toolbar"));
    toolbar_->setIconSize(QSize(16, 15));
    toolbar_->setAllowedAreas(Qt::TopToolBarArea);
    toolbar_->setFloatable(true);
    toolbar_->setMovable(true);
    for (const ToolbarSpec& slot : Toolbar()) {
        if (slot.id == 0) {
            toolbar_->addSeparator();
            continue;
        }
        QAction* action = EnsureAction(slot.id);
        action->setIcon(QIcon(QStringLiteral(":/res/") + QString::fromLatin1(slot.image)));
        action->setIconVisibleInMenu(false);  // the picture is the toolbar's only
        toolbar_->addAction(action);
        QWidget* button = toolbar_->widgetForAction(action);
        button->installEventFilter(this);
        // Screen readers announce the command; the button still shows only
        // its picture.
        if (const CommandSpec* command = FindCommand(slot.id)) {
            button->setAccessibleName(QString::fromLatin1(command->name));
        }
        if (auto* tool = qobject_cast<QToolButton*>(button)) {
            // A button's prompt shows only while it is held down.
            const int id = slot.id;
            connect(tool, &QToolButton::pressed, this, [this, id] { ShowPrompt(id); });
            connect(tool, &QToolButton::released, this, &CMainFrame::ShowReady);
        }
    }
    addToolBar(Qt::TopToolBarArea, toolbar_);
}

void CMainFrame::BuildStatusBar() {
    message_ = new QLabel(QString::fromLatin1(kReadyPrompt));
    statusBar()->addWidget(message_, 1);
    meterCheck_ = new QLabel;
    meterCheck_->setStyleSheet(QStringLiteral("color: #c00000"));
    meterCheck_->hide();
    statusBar()->addWidget(meterCheck_);
    for (int i = 0; i < 3; ++i) {
        indicators_[i] = new QLabel;
        indicators_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        indicators_[i]->setAlignment(Qt::AlignCenter);
        indicators_[i]->setMinimumWidth(
            indicators_[i]->fontMetrics().horizontalAdvance(QLatin1String(kIndicatorNames[i])) + 8);
        statusBar()->addPermanentWidget(indicators_[i]);
    }
}

void CMainFrame::ShowMeterCheck(const SessionMeasurement& measurement) {
    const auto disagreements = Disagreements(measurement.working.Record);
    if (disagreements.empty()) {
        meterCheck_->clear();
        meterCheck_->hide();
        return;
    }
    meterCheck_->setText(QStringLiteral("Meter check: the readings disagree with the samples: ") +
                         QString::fromStdString(DisagreementText(disagreements)));
    meterCheck_->show();
}

QString CMainFrame::MeterCheckWarning() const {
    return meterCheck_->text();
}

void CMainFrame::ShowPrompt(int id) {
    const CommandSpec* slot = FindCommand(id);
    message_->setText(slot != nullptr && slot->prompt != nullptr ? QString::fromLatin1(slot->prompt)
                                                                 : QString());
}

void CMainFrame::ShowReady() {
    message_->setText(QString::fromLatin1(kReadyPrompt));
}

QString CMainFrame::StatusMessage() const {
    return message_->text();
}

QString CMainFrame::IndicatorText(int index) const {
    return indicators_[index]->text();
}

void CMainFrame::UpdateCommandStates() {
    for (const auto& [id, action] : actions_) {
        const CommandState state = router_.State(id);
        action->setEnabled(state.enabled);
        action->setCheckable(state.checkable);
        if (state.checkable) {
            action->setChecked(state.checked);
        }
    }
}

void CMainFrame::UpdateIndicators() {
    const auto keys = QueryLockKeys();
    const bool lit[3] = {keys && keys->capsLock, keys && keys->numLock, keys && keys->scrollLock};
    for (int i = 0; i < 3; ++i) {
        indicators_[i]->setText(lit[i] ? QLatin1String(kIndicatorNames[i]) : QString());
    }
    sinceIndicators_.restart();
}

void CMainFrame::OnIdle() {
    UpdateCommandStates();
    if (sinceIndicators_.elapsed() >= kIndicatorIntervalMs) {
        UpdateIndicators();
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ApplicationStateChange:
            UpdateIndicators();
            break;
        case QEvent::ToolTip:
            // A toolbar button without a tooltip of its own shows none.
            if (auto* button = qobject_cast<QToolButton*>(watched)) {
                if (const int id = IdOf(button->defaultAction()); id != 0) {
                    const CommandSpec* slot = FindCommand(id);
                    if (slot == nullptr || slot->tooltip == nullptr) {
                        return true;
                    }
                }
            }
            break;
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}

namespace {

QStringList LocalFiles(const QMimeData* data) {
    QStringList files;
    if (data != nullptr) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile()) {
                files << url.toLocalFile();
            }
        }
    }
    return files;
}

}  // namespace

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (dropHandler_ && !LocalFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QStringList files = LocalFiles(event->mimeData());
    if (dropHandler_ && !files.isEmpty()) {
        event->acceptProposedAction();
        dropHandler_(files);
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Nothing may cut an exchange short: close once it is over.
    if (session_.ExchangeInProgress()) {
        event->ignore();
        session_.WhenIdle(this, [this] { close(); });
        return;
    }
    QMainWindow::closeEvent(event);
}

}  // namespace zx840
