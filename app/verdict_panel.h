// The Verdict panel, docked beside the measurement panel while a test plan
// is active: a large PASS or FAIL with the plan's name, and every check with
// the failing ones first.
#pragma once

#include <QDockWidget>
#include <QString>
#include <optional>

#include "plan/verdict.h"

class QLabel;
class QTableWidget;

namespace zx840 {

inline constexpr char kVerdictPanelTitle[] = "Verdict";
inline constexpr char kKeptVerdictNote[] =
    "The verdict this result was given when it was measured, under that plan.";
inline constexpr char kKeptWithoutVerdictNote[] = "This result was kept without a verdict.";
inline constexpr char kJudgedAgainNote[] =
    "Judged again now against today's plan; the verdict kept with the result is unchanged.";

class CVerdictPanel : public QDockWidget {
    Q_OBJECT
  public:
    explicit CVerdictPanel(QWidget* parent = nullptr);

    // Shows `verdict`; `planName` names the active plan, or is empty when no
    // plan is active (the panel then hides). A plan without a verdict (no
    // measurement yet) shows the plan's name and no result.
    // `origin` says where a verdict not judged just now comes from.
    void Show(const std::string& planName, const std::optional<Verdict>& verdict,
              const QString& origin = {});
    // A plan was chosen but refused: no result, and `text` says why.
    void ShowRefusal(const QString& text);

    // For tests: what the panel shows.
    QString ResultText() const;
    QString PlanText() const;
    QString NoteText() const;
    int CheckRows() const;
    QString CheckCell(int row, int column) const;

  private:
    QLabel* result_;
    QLabel* plan_;
    QLabel* note_;
    QTableWidget* checks_;
};

}  // namespace zx840
