// The document: the test that files hold, the product information and the
// chosen port and speed. One document lives for the whole run; it reads the
// settings file when it is made and writes it when it goes.
#pragma once

#include <QString>
#include <functional>

#include "commands/command_router.h"
#include "record/document_content.h"
#include "record/measurement_file.h"
#include "record/settings_file.h"

class QWidget;

namespace zx840 {

class CZX840ENDoc : public CommandTarget {
  public:
    // `settingsPath` is the settings file beside the program; when that
    // folder is closed to this user, the per-user file is used instead.
    explicit CZX840ENDoc(QString settingsPath);
    ~CZX840ENDoc() override;
    CZX840ENDoc(const CZX840ENDoc&) = delete;
    CZX840ENDoc& operator=(const CZX840ENDoc&) = delete;

    TestDocument& State() { return state_; }
    const TestDocument& State() const { return state_; }

    // The window that owns the document's dialogs, once it exists.
    void SetWindow(QWidget* window) { window_ = window; }
    // Where Save As takes the test it writes: the panel's product
    // information and working record.
    void SetSaveSource(std::function<TestFileContents()> source) {
        saveSource_ = std::move(source);
    }
    // Called after Product Mark or Number add one changed the product
    // information, so the panel's copy can follow.
    void SetMarkListener(std::function<void(const ProductMark&, MarkChange)> listener) {
        markListener_ = std::move(listener);
    }
    // The port or the speed the operator selected on the panel.
    void SelectPort(const std::string& comPort) { state_.ComPort = comPort; }
    void SelectBaudRate(std::int32_t baudRate) { state_.BaudRate = baudRate; }
    // When set, failures go to `sink` (after standard error) instead of a
    // message box: the application gathers those of open requests into one.
    void SetFailureSink(std::function<void(const QString&)> sink) {
        failureSink_ = std::move(sink);
    }
    // Called whenever the title changes (a file opened or saved).
    void SetTitleListener(std::function<void(const QString&)> listener) {
        titleListener_ = std::move(listener);
    }

    // "Untitled" for a new test, else the file's name.
    const QString& Title() const { return title_; }
    const QString& PathName() const { return path_; }
    // The settings file read at start and written at exit.
    const SettingsLocation& SettingsFile() const { return settingsLocation_; }
    // Tells the operator, once, that a settings file was there but refused.
    void ReportSettingsProblem();

    // The new-document step: an empty record, today's test day, no file.
    void OnNewDocument();

    // Loads a test file into the document, all of it or, after any failure
    // (which it reports), nothing. The caller then updates the view.
    bool OnOpenDocument(const QString& path);
    // Puts a kept result into the document as an opened file would be, with
    // no file behind it: `title` names it, and Save As offers `fileName`.
    // The caller then updates the view.
    void ShowKeptTest(const TestFileContents& test, const QString& title, const QString& fileName);
    // Takes the view's test and writes it to `path`; reports a failure,
    // after which any earlier file at `path` is as it was.
    bool OnSaveDocument(const QString& path);

    void OnFileSaveAs();
    // Product Mark: the Mark dialog; an OK that passes its check takes the
    // fields into the document and the view. Cancel changes nothing.
    void OnProductMark();
    // Number add one, with a warning and a wrap to 1 after the largest.
    void OnNumberAddOne();
    // The product information a remote client set, all of it, into the
    // document and the view.
    void TakeMark(const ProductMark& mark);
    const ProductMark& Mark() const { return state_.Mark; }

  private:
    void ReadSettings();
    void WriteSettings();
    void SetPath(const QString& path);
    void ShowError(const QString& text) const;

    TestDocument state_;
    QString settingsPath_;
    SettingsLocation settingsLocation_;
    FileStatus settingsStatus_;  // of the read at start
    std::function<TestFileContents()> saveSource_;
    std::function<void(const ProductMark&, MarkChange)> markListener_;
    QWidget* window_ = nullptr;
    QString title_ = QStringLiteral("Untitled");
    QString path_;
    QString suggestedName_;  // for Save As while there is no file
    std::function<void(const QString&)> titleListener_;
    std::function<void(const QString&)> failureSink_;
};

}  // namespace zx840
