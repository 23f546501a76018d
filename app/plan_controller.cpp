#include "app/plan_controller.h"

#include <QLabel>
#include <QMainWindow>
#include <QSettings>
#include <QStatusBar>

#include "app/verdict_panel.h"
#include "commands/command_ids.h"
#include "record/product_identity.h"
#include "session/meter_session.h"
#include "view/operator_report.h"
#include "view/zx840_view.h"

namespace zx840 {

namespace {

const QString kModeKey = QStringLiteral("Plans/Mode");
const QString kFileKey = QStringLiteral("Plans/File");
const QString kFolderKey = QStringLiteral("Plans/Folder");

PlanChoice LoadChoice() {
    QSettings settings;
    PlanChoice choice;
    const QString mode = settings.value(kModeKey, QStringLiteral("type")).toString();
    choice.mode = mode == QLatin1String("none")   ? PlanChoice::Mode::None
                  : mode == QLatin1String("file") ? PlanChoice::Mode::File
                                                  : PlanChoice::Mode::ByType;
    choice.file = settings.value(kFileKey).toString().toStdString();
    choice.folder = settings.value(kFolderKey, QString::fromStdString(DefaultPlanFolder()))
                        .toString()
                        .toStdString();
    return choice;
}

void SaveChoice(const PlanChoice& choice) {
    QSettings settings;
    settings.setValue(kModeKey, choice.mode == PlanChoice::Mode::None   ? QStringLiteral("none")
                                : choice.mode == PlanChoice::Mode::File ? QStringLiteral("file")
                                                                        : QStringLiteral("type"));
    settings.setValue(kFileKey, QString::fromStdString(choice.file));
    if (choice.folder == DefaultPlanFolder()) {
        settings.remove(kFolderKey);
    } else {
        settings.setValue(kFolderKey, QString::fromStdString(choice.folder));
    }
}

}  // namespace

QString RefusalText(const std::string& problem) {
    return QStringLiteral("Plan refused: %1").arg(QString::fromStdString(problem));
}

PlanController::PlanController(QMainWindow* frame, CZX840ENView* view, MeterSession& session)
    : QObject(frame), frame_(frame), view_(view), session_(session), choice_(LoadChoice()) {
    panel_ = new CVerdictPanel(frame);
    frame->addDockWidget(Qt::RightDockWidgetArea, panel_);
    panel_->hide();
    refusal_ = new QLabel;
    refusal_->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold"));
    refusal_->hide();
    frame->statusBar()->addWidget(refusal_);
    connect(view_, &CZX840ENView::verdictChanged, this, &PlanController::ShowVerdict);
    connect(view_, &CZX840ENView::testShown, this, &PlanController::Update);
    AddCommandHandlers({
        {kCmdTestPlan, [this] { OnTestPlan(); }},
        {kCmdJudgeAgain, [this] { view_->JudgeAgain(); },
         [this](CommandState& state) {
             state.enabled = session_.Plan().has_value() && view_->Working().DataValid == 1;
         }},
    });
}

void PlanController::Update() {
    std::string problem;
    std::optional<TestPlan> plan = ActivePlanFor(choice_, view_->Mark().Type, &problem);
    if (!problem.empty() && problem != lastProblem_) {
        Tell(frame_,
             {Severity::Warning, QString::fromLatin1(kAppTitle), QString::fromStdString(problem),
              Echo::Always, QByteArray::fromStdString(problem)});
    }
    lastProblem_ = problem;
    refusal_->setText(problem.empty() ? QString() : RefusalText(problem));
    refusal_->setToolTip(QString::fromStdString(problem));
    refusal_->setVisible(!problem.empty());
    if (plan != session_.Plan() || problem != session_.PlanRefusal()) {
        session_.SetPlan(std::move(plan), problem);
    }
}

void PlanController::SetChoice(const PlanChoice& choice) {
    choice_ = choice;
    SaveChoice(choice_);
    lastProblem_.clear();
    Update();
}

void PlanController::ShowVerdict() {
    const auto& verdict = view_->CurrentVerdict();
    const auto& plan = session_.Plan();
    switch (view_->Source()) {
        case CZX840ENView::VerdictSource::Kept:
            if (verdict) {
                panel_->Show(verdict->plan, verdict, kKeptVerdictNote);
            } else if (!view_->KeptUnjudged().empty()) {
                panel_->ShowRefusal(QStringLiteral("Kept without a verdict: %1")
                                        .arg(QString::fromStdString(view_->KeptUnjudged())));
            } else if (plan) {
                panel_->Show(plan->name, std::nullopt, kKeptWithoutVerdictNote);
            } else {
                panel_->Show({}, std::nullopt);
            }
            return;
        case CZX840ENView::VerdictSource::JudgedAgain:
            panel_->Show(plan ? plan->name : std::string(), verdict, kJudgedAgainNote);
            return;
        case CZX840ENView::VerdictSource::Judged:
            break;
    }
    if (!session_.PlanRefusal().empty()) {
        panel_->ShowRefusal(RefusalText(session_.PlanRefusal()));
        return;
    }
    panel_->Show(plan ? plan->name : std::string(), verdict);
}

void PlanController::OnTestPlan() {
    CTestPlanDlg dialog(choice_, frame_);
    if (dialog.exec() == QDialog::Accepted) {
        SetChoice(dialog.Choice());
    }
}

}  // namespace zx840
