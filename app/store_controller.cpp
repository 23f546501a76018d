#include "app/store_controller.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QSettings>
#include <QStatusBar>

#include "app/history_window.h"
#include "commands/command_ids.h"
#include "record/product_identity.h"
#include "session/meter_session.h"
#include "view/operator_report.h"

namespace zx840 {

namespace {

const QString kKeepKey = QStringLiteral("Store/Keep");
const QString kUrlKey = QStringLiteral("Store/Url");

StoreChoice LoadChoice() {
    QSettings settings;
    StoreChoice choice;
    choice.keep = settings.value(kKeepKey, true).toBool();
    choice.url = settings.value(kUrlKey).toString().toStdString();
    // A URL is saved without its password; one that holds a password (by a
    // hand-edited settings file) gives it to this run only.
    if (const StoreUrlParse parse = ParseStoreUrl(choice.url);
        parse.url && !parse.url->password.empty()) {
        choice.password = parse.url->password;
        choice.url = WriteStoreUrlWithoutPassword(*parse.url);
    }
    return choice;
}

void SaveChoice(const StoreChoice& choice) {
    QSettings settings;
    if (choice.keep) {
        settings.remove(kKeepKey);
    } else {
        settings.setValue(kKeepKey, false);
    }
    if (choice.url.empty()) {
        settings.remove(kUrlKey);
    } else {
        settings.setValue(kUrlKey, QString::fromStdString(choice.url));
    }
}

}  // namespace

StoreController::StoreController(QMainWindow* frame, MeterSession& session,
                                 std::function<void(const Result&)> open)
    : QObject(frame),
      frame_(frame),
      session_(session),
      open_(std::move(open)),
      choice_(LoadChoice()) {
    warning_ = new QLabel;
    warning_->hide();
    frame_->statusBar()->addWidget(warning_);
    keeper_ = std::make_unique<BackgroundKeeper>(
        this, [this](const KeepReport& report) { OnReport(report); });
    Activate();
    AddCommandHandlers({
        {kCmdResultsStore, [this] { OnResultsStore(); }},
        {kCmdHistory, [this] { OpenHistory(); }},
    });
}

StoreController::~StoreController() {
    // Every result handed over is kept before the program goes.
    session_.SetKeeper(nullptr);
    keeper_.reset();
}

void StoreController::Activate() {
    active_.reset();
    if (choice_.keep) {
        std::string error;
        active_ = ChosenStore(choice_, nullptr, &error);
        if (!active_) {
            ShowWarning(QStringLiteral("Measurements are not kept: the results store is not valid"),
                        QString::fromStdString(error), Weight::Severe);
        }
    }
    keeper_->SetStore(active_, SpoolFolder());
    session_.SetKeeper(active_ ? keeper_.get() : nullptr);
}

void StoreController::SetChoice(const StoreChoice& choice) {
    choice_ = choice;
    SaveChoice(choice_);
    ClearWarning();
    lossSaid_ = false;
    Activate();
}

void StoreController::Flush() {
    keeper_->Flush();
    QCoreApplication::sendPostedEvents(this);  // the reports, too
}

QString StoreController::Warning() const {
    return warning_->text();
}

void StoreController::ClearWarning() {
    warning_->clear();
    warning_->setToolTip({});
    warning_->hide();
}

void StoreController::ShowWarning(const QString& text, const QString& details, Weight weight) {
    if (text == warning_->text()) {
        return;  // said already
    }
    WriteOperatorLine((text + QStringLiteral(": ") + details).toLocal8Bit());
    warning_->setText(text);
    warning_->setToolTip(details);
    warning_->setStyleSheet(weight == Weight::Severe
                                ? QStringLiteral("color: #c00000; font-weight: bold")
                                : QStringLiteral("color: #a05000; font-weight: bold"));
    warning_->show();
}

void StoreController::OnReport(const KeepReport& report) {
    switch (report.kind) {
        case KeepReport::Kind::Kept:
            if (report.outcome == KeepOutcome::Spooled &&
                report.cause == StoreStatus::Kind::Configuration) {
                // The operator cannot mend it mid-shift: nothing is lost, but
                // it is no outage that will pass by itself.
                ShowWarning(QStringLiteral("The results store refused the login: measurements "
                                           "are kept in the local spool until it is set right"),
                            QString::fromStdString(report.message), Weight::Severe);
            } else if (report.outcome == KeepOutcome::Spooled) {
                ShowWarning(QStringLiteral("The results store does not answer: measurements are "
                                           "kept in the local spool until it does"),
                            QString::fromStdString(report.message), Weight::Passing);
            } else if (report.outcome == KeepOutcome::Lost) {
                lossSaid_ = true;
                ShowWarning(QStringLiteral("Measurements cannot be kept: neither the results "
                                           "store nor the local spool can be written"),
                            QString::fromStdString(report.message), Weight::Severe);
            } else if (report.outcome == KeepOutcome::Refused ||
                       report.outcome == KeepOutcome::Noted) {
                // Kept aside: nothing is lost, but someone must look at it.
                ShowWarning(report.outcome == KeepOutcome::Refused
                                ? QStringLiteral("The results store refused a measurement: it "
                                                 "waits in the quarantine beside the spool")
                                : QStringLiteral("Results wait in the quarantine beside the spool"),
                            QString::fromStdString(report.message), Weight::Passing);
                if (report.outcome == KeepOutcome::Noted && history_) {
                    history_->NoteNewResults();
                }
            } else {
                if (lossSaid_) {
                    lossSaid_ = false;  // the store took this one
                    ClearWarning();
                }
                if (history_) {
                    history_->NoteNewResults();
                }
            }
            break;
        case KeepReport::Kind::Synced:
            if (!report.quarantine.empty()) {
                ShowWarning(QStringLiteral("Results wait in the quarantine beside the spool"),
                            QString::fromStdString(report.quarantine), Weight::Passing);
            } else if (report.left == 0 && !lossSaid_) {
                ClearWarning();
            }
            if (report.pushed > 0 && history_) {
                history_->NoteNewResults();
            }
            break;
        case KeepReport::Kind::Failed:
            break;  // the warning of the spool stands
    }
}

void StoreController::OpenHistory() {
    if (history_) {
        history_->Refresh();
        history_->show();
        history_->raise();
        history_->activateWindow();
        return;
    }
    std::string error;
    const std::optional<StoreUrl> url = ChosenStore(choice_, nullptr, &error);
    if (!url) {
        Tell(frame_, Severity::Warning, QString::fromLatin1(kAppTitle),
             QStringLiteral("The history cannot be shown:\n%1").arg(QString::fromStdString(error)));
        return;
    }
    // Opened and read on the window's own thread: a store that is slow or
    // does not answer shows "Connecting..." with a Cancel, and a failure in
    // the window.
    history_ = new CHistoryWindow(*url, open_, frame_);
    history_->setAttribute(Qt::WA_DeleteOnClose);
    history_->show();
}

void StoreController::OnResultsStore() {
    CResultsStoreDlg dialog(choice_, frame_);
    if (dialog.exec() == QDialog::Accepted && !(dialog.Choice() == choice_)) {
        SetChoice(dialog.Choice());
        if (history_) {
            history_->close();  // it shows the store that was
        }
    }
}

}  // namespace zx840
