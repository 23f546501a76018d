#include "app/zx840_app.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPageSetupDialog>
#include <QSettings>

#include "app/about_dlg.h"
#include "app/command_line.h"
#include "app/main_frame.h"
#include "app/open_queue.h"
#include "app/plan_controller.h"
#include "app/port_devices_dlg.h"
#include "app/remote_controller.h"
#include "app/store_controller.h"
#include "app/zx840_doc.h"
#include "commands/command_ids.h"
#include "meter/acquisition.h"
#include "meter/serial_devices.h"
#include "record/file_names.h"
#include "record/measurement_file.h"
#include "record/settings_file.h"
#include "report/report_printing.h"
#include "session/meter_session.h"
#include "view/operator_report.h"
#include "view/zx840_view.h"

Q_LOGGING_CATEGORY(lcFiles, "zx840.files", QtWarningMsg)

// Resources linked from a static library must be registered by hand.
static void InitProgramResources() {
    Q_INIT_RESOURCE(resources);
}

namespace zx840 {

CZX840ENApp::CZX840ENApp(QString settingsDirectory)
    : settingsDirectory_(std::move(settingsDirectory)) {
    InitProgramResources();
    AddCommandHandlers({
        {kCmdAppAbout, [this] { OnAppAbout(); }},
        {kCmdAppExit, [this] { frame_->close(); }},
        {kCmdFileNew, [this] { OnFileNew(); }},
        {kCmdFileOpen, [this] { OnFileOpen(); }},
        {kCmdFilePrintSetup, [this] { OnFilePrintSetup(); }},
        {kCmdPortDevices, [this] { OnPortDevices(); }},
    });
}

CZX840ENApp::~CZX840ENApp() {
    if (view_ != nullptr && view_->PreviewPages() != 0) {
        QSettings().setValue(QStringLiteral("Settings/PreviewPages"), view_->PreviewPages());
    }
    // The window (and with it the view) goes before the document and the
    // session.
    frame_.reset();
    opens_.reset();
    session_.reset();
    doc_.reset();
}

bool CZX840ENApp::InitInstance(const QStringList& arguments) {
    return InitFromCommandLine(
        ParseCommandLine(arguments, [](const QString& path) { return QFileInfo::exists(path); }));
}

bool CZX840ENApp::InitFromCommandLine(const CommandLine& line) {
    QCoreApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganization));
    QCoreApplication::setApplicationName(QString::fromLatin1(kSettingsApplication));
    if (line.action == CommandLine::Action::Dde) {
        exitCode_ = 0;  // no document, no window
        return false;
    }
    // Printing without a display (a script, a print server) reports on
    // standard error only: nobody could close a message box.
    screen_.emplace(ScreenFor(line));
    CreateParts();
    doc_->OnNewDocument();
    frame_->SetDocumentTitle(doc_->Title());
    view_->OnInitialUpdate();
    if (!line.file.isEmpty() && !OpenDocumentFile(line.file)) {
        exitCode_ = 1;
        return false;
    }
    if (line.action == CommandLine::Action::Print || line.action == CommandLine::Action::PrintTo) {
        exitCode_ = PrintAndEnd(line.printer);
        return false;
    }
    ShowFrame(line.show);
    return true;
}

// The document, the session, the window with its view and controllers, and
// what ties them together.
void CZX840ENApp::CreateParts() {
    if (settingsDirectory_.isEmpty()) {
        settingsDirectory_ = QCoreApplication::applicationDirPath();
    }
    doc_ = std::make_unique<CZX840ENDoc>(settingsDirectory_ + QLatin1Char('/') +
                                         QString::fromLatin1(kSettingsFileName));
    session_ = std::make_unique<MeterSession>();
    view_ = new CZX840ENView(doc_->State(), *session_);
    frame_ = std::make_unique<CMainFrame>(router_, view_, *session_);
    session_->SetMarkSource([this] { return view_->Mark(); });
    doc_->SetSaveSource([this] {
        return TestFileContents{view_->Mark(), view_->Working().Record};
    });
    doc_->SetMarkListener(
        [this](const ProductMark& mark, MarkChange change) { view_->OnMarkChanged(mark, change); });
    view_->SetLineListeners([this](const std::string& port) { doc_->SelectPort(port); },
                            [this](std::int32_t baud) { doc_->SelectBaudRate(baud); });
    doc_->SetWindow(frame_.get());
    doc_->ReportSettingsProblem();  // a settings file that was there but refused
    doc_->SetTitleListener([this](const QString& title) { frame_->SetDocumentTitle(title); });
    plans_ = new PlanController(frame_.get(), view_, *session_);
    store_ = new StoreController(frame_.get(), *session_,
                                 [this](const Result& result) { ShowKeptResult(result); });
    remote_ = new RemoteController(frame_.get(), *session_, *doc_, *plans_, *store_);
    router_.SetTargets({view_, doc_.get(), frame_.get(), plans_, store_, remote_, this});
    opens_ =
        std::make_unique<OpenQueue>(*session_, *doc_, frame_.get(),
                                    [this](const QString& path) { return OpenDocumentFile(path); });
    frame_->SetDropHandler([this](const QStringList& paths) {
        for (const QString& path : paths) {
            RequestOpen(path);
        }
    });
    frame_->UpdateCommandStates();
    LoadPortMap(session_->Ports());
    view_->SetPreviewPages(QSettings().value(QStringLiteral("Settings/PreviewPages"), 1).toInt());
}

// Prints the test shown on `printer` (empty: the default one); the exit
// status of the run.
int CZX840ENApp::PrintAndEnd(const QString& printer) {
    if (view_->PrintDirect(printer)) {
        return 0;
    }
    Tell(nullptr, {Severity::Warning, QString::fromLatin1(kAppTitle),
                   CouldNotStartPrintJobText(printer), Echo::Always});
    return 2;
}

void CZX840ENApp::ShowFrame(CommandLine::Show show) {
    frame_->resize(frame_->sizeHint().expandedTo(QSize(1000, 700)));
    switch (show) {
        case CommandLine::Show::Minimized:
            frame_->showMinimized();
            break;
        case CommandLine::Show::Maximized:
            frame_->showMaximized();
            break;
        case CommandLine::Show::Normal:
            frame_->show();
            break;
    }
}

void CZX840ENApp::OnFileNew() {
    doc_->OnNewDocument();
    frame_->SetDocumentTitle(doc_->Title());
    view_->OnInitialUpdate();
}

void CZX840ENApp::OnFilePrintSetup() {
    QPageSetupDialog setup(&view_->Printer(), frame_.get());
    setup.exec();
}

void CZX840ENApp::LoadPortMap(PortMap& map) {
    QSettings settings;
    for (int number = 1; number <= kPortCount; ++number) {
        const QString device = settings.value(QStringLiteral("Ports/COM%1").arg(number)).toString();
        if (!device.isEmpty()) {
            map.SetMapped(number, device.toStdString());
        }
    }
}

void CZX840ENApp::SavePortMap(const PortMap& map) {
    QSettings settings;
    const PortMap defaults;
    for (int number = 1; number <= kPortCount; ++number) {
        const QString key = QStringLiteral("Ports/COM%1").arg(number);
        if (map.Mapped(number) == defaults.Mapped(number)) {
            settings.remove(key);
        } else {
            settings.setValue(key, QString::fromStdString(map.Mapped(number)));
        }
    }
}

void CZX840ENApp::OnPortDevices() {
    CPortDevicesDlg dialog(session_->Ports(), ListSerialDevices(), frame_.get());
    if (dialog.exec() == QDialog::Accepted) {
        session_->Ports() = dialog.Result();
        SavePortMap(session_->Ports());
    }
}

void CZX840ENApp::OnFileOpen() {
    QFileDialog dialog(frame_.get(), QStringLiteral("Open"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(QString::fromLatin1(kTestFileFilter));
    dialog.setDefaultSuffix(QString::fromLatin1(kTestFileExtension));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        OpenDocumentFile(dialog.selectedFiles().constFirst());
    }
}

bool CZX840ENApp::OpenDocumentFile(const QString& path) {
    if (!doc_->OnOpenDocument(path)) {
        return false;
    }
    view_->OnInitialUpdate();
    qCInfo(lcFiles) << "opened" << path;
    return true;
}

void CZX840ENApp::ShowKeptResult(const Result& result) {
    if (ending_) {
        return;
    }
    session_->WhenIdle(frame_.get(), [this, result] { ShowKept(result); });
}

void CZX840ENApp::ShowKept(const Result& result) {
    const QString when = QDateTime::fromMSecsSinceEpoch(result.timeMs)
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString title = QStringLiteral("%1 %2 (%3)")
                              .arg(QString::fromStdString(result.mark.Type))
                              .arg(result.mark.Number)
                              .arg(when);
    doc_->ShowKeptTest(TestFileContents{result.mark, result.working.Record}, title,
                       QString::fromStdString(ProductFileStem(result.mark)) + QLatin1Char('.') +
                           QString::fromLatin1(kTestFileExtension));
    view_->OnInitialUpdate();
    // The verdict it was given, not one of today's plan.
    view_->ShowKeptVerdict(
        result.verdict ? std::optional<Verdict>(VerdictOf(*result.verdict)) : std::nullopt,
        result.unjudged);
    frame_->raise();
    frame_->activateWindow();
}

void CZX840ENApp::RequestOpen(const QString& path) {
    if (!ending_) {
        opens_->Request(path);
    }
}

namespace {

// While the program ends, every dialog that comes up is cancelled as soon
// as it shows: nobody is there to answer it.
class DialogCanceller : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            Cancel(qobject_cast<QDialog*>(watched));
        }
        return false;
    }
    static void Cancel(QDialog* dialog) {
        if (dialog == nullptr || !dialog->isWindow()) {
            return;
        }
        QMetaObject::invokeMethod(
            dialog, [dialog] { dialog->done(QDialog::Rejected); }, Qt::QueuedConnection);
    }
};

}  // namespace

void CZX840ENApp::EndSession() {
    if (!ending_) {
        ending_ = true;
        opens_->Drop();
        auto canceller = std::make_unique<DialogCanceller>();
        QCoreApplication::instance()->installEventFilter(canceller.get());
        dialogCanceller_ = std::move(canceller);
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible()) {
            DialogCanceller::Cancel(qobject_cast<QDialog*>(window));
        }
    }
    // After the dialogs have gone; the frame itself waits for an exchange.
    QMetaObject::invokeMethod(
        frame_.get(), [this] { frame_->close(); }, Qt::QueuedConnection);
}

void CZX840ENApp::OnAppAbout() {
    CAboutDlg about(frame_.get());
    about.exec();
}

}  // namespace zx840
