#include "app/zx840_doc.h"

#include <QFileDialog>
#include <QFileInfo>
#include <cstdio>

#include "app/mark_dlg.h"
#include "commands/command_ids.h"
#include "meter/acquisition.h"
#include "record/file_io.h"
#include "record/mark_number.h"
#include "record/measurement_file.h"
#include "record/settings_file.h"
#include "view/operator_report.h"
#include "view/zx840_view.h"

namespace zx840 {

CZX840ENDoc::CZX840ENDoc(QString settingsPath) : settingsPath_(std::move(settingsPath)) {
    state_.Mark.Testday = TodayTestday();
    ReadSettings();
    AddCommandHandlers({
        {kCmdFileSaveAs, [this] { OnFileSaveAs(); }},
        {kCmdProductMark, [this] { OnProductMark(); }},
        {kCmdNumberAddOne, [this] { OnNumberAddOne(); }},
    });
}

CZX840ENDoc::~CZX840ENDoc() {
    WriteSettings();
}

// Beside the program, or per user when the program's folder is closed to
// this user. A missing file gives the defaults silently; a file that is
// there but refused gives the defaults and is reported once the window is
// up (ReportSettingsProblem).
void CZX840ENDoc::ReadSettings() {
    const QString programFolder = QFileInfo(settingsPath_).absolutePath();
    settingsLocation_ = LocateSettingsFile(programFolder.toStdString());
    Settings settings;
    settingsStatus_ = ReadSettingsFile(settingsLocation_.readPath, &settings);
    ApplySettingsToMark(settings, state_.Mark);
    state_.ComPort = settings.ComPort;
    state_.BaudRate = settings.BaudRate;
}

void CZX840ENDoc::ReportSettingsProblem() {
    if (settingsStatus_) {
        return;
    }
    const QString text =
        QStringLiteral(
            "The settings file \"%1\" was not read:\n%2.\nThe program starts from the "
            "default settings.")
            .arg(QString::fromStdString(settingsLocation_.readPath),
                 QString::fromStdString(settingsStatus_.Describe()));
    settingsStatus_ = {};  // said once
    Tell(nullptr,
         {Severity::Warning, QString::fromLatin1(kSettingsReadCaption), text, Echo::Always});
}

void CZX840ENDoc::WriteSettings() {
    const Settings settings = SettingsFor(state_.Mark, state_.ComPort, state_.BaudRate);
    if (const FileStatus status = WriteSettingsFile(settingsLocation_, settings); !status) {
        const std::string line = std::string(kSettingsCreateFailed) + " (" +
                                 settingsLocation_.writePath + ": " + status.Describe() + ")";
        Tell(nullptr, {Severity::Critical, QString::fromLatin1(kSettingsCreateCaption),
                       QString::fromLatin1(kSettingsCreateFailed), Echo::Always,
                       QByteArray::fromStdString(line)});
    }
}

void CZX840ENDoc::OnNewDocument() {
    path_.clear();
    suggestedName_.clear();
    title_ = QStringLiteral("Untitled");
    state_.NewTest(TodayTestday());
}

void CZX840ENDoc::ShowKeptTest(const TestFileContents& test, const QString& title,
                               const QString& fileName) {
    state_.Mark = test.Mark;
    state_.Record = test.Record;
    state_.DataValid = 1;
    path_.clear();
    suggestedName_ = fileName;
    title_ = title;
    if (titleListener_) {
        titleListener_(title_);
    }
}

void CZX840ENDoc::SetPath(const QString& path) {
    suggestedName_.clear();
    path_ = QFileInfo(path).absoluteFilePath();
    title_ = QFileInfo(path).fileName();
    if (titleListener_) {
        titleListener_(title_);
    }
}

void CZX840ENDoc::ShowError(const QString& text) const {
    if (failureSink_) {
        WriteOperatorLine(text.toLocal8Bit());
        failureSink_(text);
        return;
    }
    Tell(window_, {Severity::Critical, QString::fromLatin1(kAppTitle), text, Echo::Always,
                   text.toLocal8Bit()});
}

bool CZX840ENDoc::OnOpenDocument(const QString& path) {
    const TestFileRead read = ReadTestFile(path.toStdString());
    if (!read.readStatus) {
        ShowError(QStringLiteral("Cannot open \"%1\":\n%2.")
                      .arg(path, QString::fromStdString(read.readStatus.Describe())));
        return false;
    }
    const auto& loaded = read.contents;
    if (!loaded) {
        ShowError(QString::fromLatin1(kUnexpectedFileFormat));
        return false;
    }
    state_.Mark = loaded->Mark;
    state_.Record = loaded->Record;
    state_.DataValid = 1;
    SetPath(path);
    return true;
}

bool CZX840ENDoc::OnSaveDocument(const QString& path) {
    // The test on the panel, with the product information of the view; the
    // type is the document's own, which Product Mark keeps equal to it.
    if (saveSource_) {
        const TestFileContents shown = saveSource_();
        const ProductMark& mark = shown.Mark;
        state_.Mark.Number = mark.Number;
        state_.Mark.Temperature = mark.Temperature;
        state_.Mark.Humidity = mark.Humidity;
        state_.Mark.Operator = mark.Operator;
        state_.Mark.Testday = mark.Testday;
        state_.Mark.Inspector = mark.Inspector;
        state_.Mark.Manufacturer = mark.Manufacturer;
        state_.Record = shown.Record;
    }
    const FileStatus status =
        WriteFileAtomically(path.toStdString(), SerializeTest(state_.Mark, state_.Record));
    if (!status) {
        ShowError(QStringLiteral("Cannot save the test to \"%1\":\n%2.")
                      .arg(path, QString::fromStdString(status.Describe())));
        return false;
    }
    SetPath(path);
    return true;
}

void CZX840ENDoc::OnFileSaveAs() {
    QFileDialog dialog(window_, QStringLiteral("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(QString::fromLatin1(kTestFileFilter));
    dialog.setDefaultSuffix(QString::fromLatin1(kTestFileExtension));
    if (!path_.isEmpty()) {
        dialog.selectFile(path_);
    } else if (!suggestedName_.isEmpty()) {
        dialog.selectFile(suggestedName_);
    } else {
        dialog.selectFile(QStringLiteral("ZX840.ZX8"));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    OnSaveDocument(dialog.selectedFiles().constFirst());
}

void CZX840ENDoc::OnProductMark() {
    CMarkDlg dialog(state_.Mark, window_);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    // Every field but the test day, which only the clock and files set.
    ApplyMarkChange(dialog.Mark(), MarkChange::AllButTestday, state_.Mark);
    if (markListener_) {
        markListener_(state_.Mark, MarkChange::AllButTestday);
    }
}

void CZX840ENDoc::OnNumberAddOne() {
    bool wrapped = false;
    const std::int32_t next = NextNumber(state_.Mark.Number, &wrapped);
    if (wrapped) {
        Tell(nullptr, Severity::Warning, QString::fromLatin1(kNumberOverflowCaption),
             QString::fromLatin1(kNumberOverflowMessage));
    }
    state_.Mark.Number = next;
    if (markListener_) {
        markListener_(state_.Mark, MarkChange::NumberOnly);
    }
}

void CZX840ENDoc::TakeMark(const ProductMark& mark) {
    ApplyMarkChange(mark, MarkChange::All, state_.Mark);
    if (markListener_) {
        markListener_(state_.Mark, MarkChange::All);
    }
}

}  // namespace zx840
