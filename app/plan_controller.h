// Which test plan judges the panel's measurements: the operator's choice
// (kept in the per-user settings), the plan of the product's type found
// anew whenever the type may have changed, the Test Plan command, and the
// Verdict panel that shows the result while a plan is active.
#pragma once

#include <QObject>
#include <string>

#include "app/plan_dlg.h"
#include "commands/command_router.h"

class QLabel;
class QMainWindow;

namespace zx840 {

class CVerdictPanel;
class CZX840ENView;
class MeterSession;

// "Plan refused: REASON", in the status bar and the Verdict panel.
QString RefusalText(const std::string& problem);

class PlanController : public QObject, public CommandTarget {
    Q_OBJECT
  public:
    // A plan that cannot be read is said on standard error, and in a box
    // where there is a screen.
    PlanController(QMainWindow* frame, CZX840ENView* view, MeterSession& session);

    // Finds the plan the choice gives for the product's type and hands it to
    // the session, which judges with it.
    void Update();

    const PlanChoice& Choice() const { return choice_; }
    void SetChoice(const PlanChoice& choice);
    CVerdictPanel* Panel() const { return panel_; }

  private:
    void ShowVerdict();
    void OnTestPlan();

    QMainWindow* frame_;
    CZX840ENView* view_;
    MeterSession& session_;
    PlanChoice choice_;
    CVerdictPanel* panel_;     // owned by the frame
    QLabel* refusal_;          // in the status bar while a plan is refused, owned by it
    std::string lastProblem_;  // said once, not at every update
};

}  // namespace zx840
