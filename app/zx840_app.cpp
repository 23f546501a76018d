#include "app/zx840_app.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QSettings>

#include "app/about_dlg.h"
#include "app/command_ids.h"
#include "app/main_frame.h"
#include "app/port_devices_dlg.h"
#include "app/zx840_doc.h"
#include "meter/acquisition.h"
#include "meter/serial_devices.h"
#include "record/settings_file.h"
#include "record/test_file.h"
#include "view/zx840_view.h"

// Resources linked from a static library must be registered by hand.
static void InitProgramResources() {
    Q_INIT_RESOURCE(resources);
}

namespace zx840 {

CZX840ENApp::CZX840ENApp(QString settingsDirectory)
    : settingsDirectory_(std::move(settingsDirectory)) {
    InitProgramResources();
}

CZX840ENApp::~CZX840ENApp() {
    // The window (and with it the view) goes before the document.
    frame_.reset();
    doc_.reset();
}

bool CZX840ENApp::InitInstance(const QStringList& arguments) {
    (void)arguments;
    QCoreApplication::setOrganizationName(QStringLiteral("Orvalisto"));
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));

    if (settingsDirectory_.isEmpty()) {
        settingsDirectory_ = QCoreApplication::applicationDirPath();
    }
    doc_ = std::make_unique<CZX840ENDoc>(settingsDirectory_ + QLatin1Char('/') +
                                         QString::fromLatin1(kSettingsFileName));
    view_ = new CZX840ENView(doc_->State());
    frame_ = std::make_unique<CMainFrame>(router_, view_);
    doc_->SetView(view_);
    doc_->SetWindow(frame_.get());
    doc_->SetTitleListener([this](const QString& title) { frame_->SetDocumentTitle(title); });
    router_.SetTargets({view_, doc_.get(), frame_.get(), this});
    frame_->UpdateCommandStates();

    LoadPortMap(view_->Ports());
    doc_->OnNewDocument();
    frame_->SetDocumentTitle(doc_->Title());
    view_->OnInitialUpdate();
    frame_->resize(frame_->sizeHint().expandedTo(QSize(1000, 700)));
    frame_->show();
    return true;
}

bool CZX840ENApp::HandlesCommand(int id) const {
    return id == kCmdAppAbout || id == kCmdAppExit || id == kCmdFileNew || id == kCmdFileOpen ||
           id == kCmdPortDevices;
}

bool CZX840ENApp::OnCommand(int id) {
    switch (id) {
        case kCmdAppAbout:
            OnAppAbout();
            return true;
        case kCmdAppExit:
            frame_->close();
            return true;
        case kCmdFileOpen:
            OnFileOpen();
            return true;
        case kCmdPortDevices:
            OnPortDevices();
            return true;
        case kCmdFileNew:
            doc_->OnNewDocument();
            frame_->SetDocumentTitle(doc_->Title());
            view_->OnInitialUpdate();
            return true;
        default:
            return false;
    }
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
    CPortDevicesDlg dialog(view_->Ports(), ListSerialDevices(), frame_.get());
    if (dialog.exec() == QDialog::Accepted) {
        view_->Ports() = dialog.Result();
        SavePortMap(view_->Ports());
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
    return true;
}

void CZX840ENApp::OnAppAbout() {
    CAboutDlg about(frame_.get());
    about.exec();
}

}  // namespace zx840
