// The document: the test that files hold, the product information and the
// chosen port and speed. One document lives for the whole run.
#pragma once

#include <QString>

class QWidget;

#include "app/command_router.h"
#include "record/test_document.h"

namespace zx840 {

class CZX840ENView;

class CZX840ENDoc : public CommandTarget {
  public:
    CZX840ENDoc();

    TestDocument& State() { return state_; }
    const TestDocument& State() const { return state_; }

    // The view shown for this document, and the window that owns its
    // dialogs, once they exist.
    void SetView(CZX840ENView* view) { view_ = view; }
    void SetWindow(QWidget* window) { window_ = window; }

    // "Untitled" for a new test, else the file's name.
    const QString& Title() const { return title_; }
    const QString& PathName() const { return path_; }

    // The new-document step: an empty record, today's test day, no file.
    void OnNewDocument();

    bool OnCommand(int id) override;
    bool HandlesCommand(int id) const override;

    // Product Mark: the Mark dialog; an OK that passes its check takes the
    // fields into the document and the view. Cancel changes nothing.
    void OnProductMark();
    // Number add one, with a warning and a wrap to 1 after the largest.
    void OnNumberAddOne();

  private:
    TestDocument state_;
    CZX840ENView* view_ = nullptr;
    QWidget* window_ = nullptr;
    QString title_ = QStringLiteral("Untitled");
    QString path_;
};

}  // namespace zx840
