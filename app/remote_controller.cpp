#include "app/remote_controller.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QSettings>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/plan_controller.h"
#include "app/store_controller.h"
#include "app/zx840_doc.h"
#include "commands/command_ids.h"
#include "plan/plan_file.h"
#include "record/product_identity.h"
#include "record/settings_file.h"
#include "view/operator_report.h"

namespace zx840 {

namespace {

const QString kOnKey = QStringLiteral("Remote/On");
const QString kListenKey = QStringLiteral("Remote/Listen");
const QString kAllowKey = QStringLiteral("Remote/Allow");

constexpr char kRisk[] =
    "Anyone who can connect may measure, change the product information and the plan, and "
    "switch the store off: there is no password. Listen beyond this computer only on the "
    "line's own network, and allow only the sequencers' addresses.";

RemoteChoice LoadChoice() {
    QSettings settings;
    RemoteChoice choice;
    choice.on = settings.value(kOnKey, false).toBool();
    choice.listen =
        settings.value(kListenKey, QString::fromStdString(choice.listen)).toString().toStdString();
    choice.allow = settings.value(kAllowKey).toString().toStdString();
    return choice;
}

void SaveChoice(const RemoteChoice& choice) {
    QSettings settings;
    settings.setValue(kOnKey, choice.on);
    settings.setValue(kListenKey, QString::fromStdString(choice.listen));
    settings.setValue(kAllowKey, QString::fromStdString(choice.allow));
}

void Warn(QWidget* parent, const std::string& text) {
    Tell(parent, Severity::Warning, QString::fromLatin1(kAppTitle), QString::fromStdString(text));
}

}  // namespace

std::optional<std::string> RemoteChoiceProblem(const RemoteChoice& choice,
                                               ScpiServerOptions* options) {
    std::string problem;
    if (!ParseListenAddress(choice.listen, &options->address, &options->port, &problem)) {
        return problem;
    }
    options->allow.clear();
    if (!choice.allow.empty() && !ParseAllowList(choice.allow, options->allow, &problem)) {
        return problem;
    }
    return std::nullopt;
}

CRemoteControlDlg::CRemoteControlDlg(const RemoteChoice& choice, QWidget* parent)
    : QDialog(parent), choice_(choice) {
    setWindowTitle(QString::fromLatin1(kRemoteControlDlgTitle));
    on_ = new QCheckBox(QStringLiteral("&Serve remote-control clients (SCPI over TCP)"));
    on_->setChecked(choice.on);
    listen_ = new QLineEdit(QString::fromStdString(choice.listen));
    allow_ = new QLineEdit(QString::fromStdString(choice.allow));
    allow_->setPlaceholderText(QStringLiteral("10.0.0.0/8,192.168.1.7"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Listen on:"), listen_);
    form->addRow(QStringLiteral("&Allow from:"), allow_);
    auto* risk = new QLabel(QString::fromLatin1(kRisk));
    risk->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(on_);
    layout->addLayout(form);
    layout->addWidget(risk);
    layout->addWidget(buttons);
}

void CRemoteControlDlg::accept() {
    RemoteChoice entered{on_->isChecked(), listen_->text().trimmed().toStdString(),
                         allow_->text().trimmed().toStdString()};
    ScpiServerOptions options;
    if (const auto problem = RemoteChoiceProblem(entered, &options)) {
        Warn(this, *problem);
        return;
    }
    choice_ = entered;
    QDialog::accept();
}

RemoteController::RemoteController(QMainWindow* frame, MeterSession& session, CZX840ENDoc& doc,
                                   PlanController& plans, StoreController& store)
    : QObject(frame), frame_(frame), choice_(LoadChoice()) {
    StationHooks hooks;
    hooks.mark = [&doc] { return doc.Mark(); };
    hooks.setMark = [&doc](const ProductMark& mark) { doc.TakeMark(mark); };
    hooks.storing = [&store] { return store.Choice().keep; };
    hooks.setStoring = [&store](bool on) {
        StoreChoice choice = store.Choice();
        choice.keep = on;
        store.SetChoice(choice);
    };
    hooks.planFolder = DefaultPlanFolder();
    hooks.reset = [&doc, &plans, &store, mark = doc.Mark(), keep = store.Choice()] {
        doc.TakeMark(mark);
        plans.Update();
        store.SetChoice(keep);
    };
    station_ = std::make_unique<SessionStation>(session, hooks);
    server_ = new ScpiServer(*station_, this);
    indicator_ = new QLabel(QString::fromLatin1(kRemoteIndicator));
    indicator_->setStyleSheet(QStringLiteral("font-weight: bold"));
    indicator_->hide();
    frame_->statusBar()->addPermanentWidget(indicator_);
    connect(server_, &ScpiServer::commandReceived, indicator_, &QWidget::show);
    connect(server_, &ScpiServer::clientsChanged, indicator_, [this](int clients) {
        if (clients == 0) {
            indicator_->hide();
        }
    });
    if (choice_.on && !Apply()) {
        choice_.on = false;
    }
    AddCommandHandlers({{kCmdRemoteControl, [this] { OnRemoteControl(); }}});
}

RemoteController::~RemoteController() {
    server_->Close();
}

bool RemoteController::RemoteShown() const {
    return !indicator_->isHidden();
}

bool RemoteController::Apply() {
    server_->Close();
    if (!choice_.on) {
        return true;
    }
    ScpiServerOptions options;
    std::optional<std::string> problem = RemoteChoiceProblem(choice_, &options);
    std::string listenProblem;
    if (!problem && !server_->Listen(options, &listenProblem)) {
        problem = listenProblem;
    }
    if (problem) {
        WriteOperatorLine(QByteArray("remote control: ") + problem->c_str());
        frame_->statusBar()->showMessage(
            QStringLiteral("Remote control is off: %1").arg(QString::fromStdString(*problem)));
        return false;
    }
    return true;
}

bool RemoteController::SetChoice(const RemoteChoice& choice) {
    choice_ = choice;
    const bool ok = Apply();
    if (!ok) {
        choice_.on = false;
    }
    SaveChoice(choice_);
    return ok;
}

void RemoteController::OnRemoteControl() {
    CRemoteControlDlg dialog(choice_, frame_);
    if (dialog.exec() == QDialog::Accepted && !(dialog.Choice() == choice_)) {
        SetChoice(dialog.Choice());
    }
}

}  // namespace zx840
