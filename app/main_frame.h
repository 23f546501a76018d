// The main window: menus, accelerators, toolbar and status bar built from
// the command table, around the measurement panel. Commands given while the
// meter answers are carried out once the exchange is over, in order.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <functional>
#include <map>

#include "commands/command_router.h"

class QLabel;
class QStyle;
class QToolBar;

namespace zx840 {

class CTrendPanel;
class CZX840ENView;
class MeterSession;
struct SessionMeasurement;

class CMainFrame : public QMainWindow, public CommandTarget {
    Q_OBJECT
  public:
    CMainFrame(CommandRouter& router, CZX840ENView* view, MeterSession& session);
    ~CMainFrame() override;

    // "<document title> - ZX840 DIGITAL POWER METER".
    void SetDocumentTitle(const QString& title);

    // Brings every action's enabled state and check mark up to date.
    void UpdateCommandStates();

    QAction* Action(int id) const;

    // Files dropped on the window go to `handler`, in the order dropped.
    void SetDropHandler(std::function<void(const QStringList&)> handler) {
        dropHandler_ = std::move(handler);
    }
    QToolBar* ToolBar() const { return toolbar_; }
    // The Trend panel of the continuous test, hidden until View, Trend.
    CTrendPanel* Trend() const { return trend_; }
    QString StatusMessage() const;
    QString IndicatorText(int index) const;  // 0 CAP, 1 NUM, 2 SCRL
    // The status bar's warning that the last measurement's readings
    // disagree with its samples, with the figures; empty when they agree.
    QString MeterCheckWarning() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildMenus();
    void BuildAccelerators();
    void BuildToolbar();
    void BuildStatusBar();
    QAction* EnsureAction(int id);
    void Run(int id);
    static int IdOf(const QAction* action);
    void ShowPrompt(int id);
    void ShowReady();
    void ShowMeterCheck(const SessionMeasurement& measurement);
    void UpdateIndicators();
    void OnIdle();

    CommandRouter& router_;
    CZX840ENView* view_;
    MeterSession& session_;
    std::map<int, QAction*> actions_;
    QStyle* menuStyle_ = nullptr;  // owned by the frame, shared by its menus
    QToolBar* toolbar_ = nullptr;
    CTrendPanel* trend_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* indicators_[3] = {};
    QLabel* meterCheck_ = nullptr;  // in the status bar, owned by it
    QElapsedTimer sinceIndicators_;
    std::function<void(const QStringList&)> dropHandler_;
};

}  // namespace zx840
