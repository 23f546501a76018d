// What the window tells the operator, said one way everywhere: a message
// box while there is a screen; without one (printing or unregistering
// where nobody could close a box) a line on standard error in the
// program's form, "zx840: TEXT" with its line breaks as spaces, and the
// default answer.
#pragma once

#include <QByteArray>
#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace zx840 {

enum class Severity { Information, Warning, Critical };

// Whether an operator sits at a screen. The application decides it once,
// from its command line (`ScreenFor` in app/command_line.h); until then,
// and after the deciding object is gone, there is a screen.
enum class Screen { Present, None };
Screen OperatorScreen();

// Holds a decision for its lifetime; the one before comes back after it.
class ScreenDecision {
  public:
    explicit ScreenDecision(Screen screen);
    ~ScreenDecision();
    ScreenDecision(const ScreenDecision&) = delete;
    ScreenDecision& operator=(const ScreenDecision&) = delete;

  private:
    Screen before_;
};

// Whether the standard-error line is written with a screen as well: what a
// print run, the settings file or a refused plan say stays in the log of
// whoever started the program.
enum class Echo { WithoutScreen, Always };

struct OperatorReport {
    Severity severity = Severity::Warning;
    QString title;
    QString text;
    Echo echo = Echo::WithoutScreen;
    // The standard-error line, as bytes, when it is not the text on one line.
    QByteArray line = {};
};

// Tells the operator and returns the button chosen (the box waits for it);
// without a screen the answer is `answer`.
QMessageBox::StandardButton Tell(QWidget* parent, const OperatorReport& report,
                                 QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                 QMessageBox::StandardButton answer = QMessageBox::Ok);
QMessageBox::StandardButton Tell(QWidget* parent, Severity severity, const QString& title,
                                 const QString& text,
                                 QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                 QMessageBox::StandardButton answer = QMessageBox::Ok);

// Tells the operator in a box that is modal as ever but that nobody waits
// for; `closed` runs once it is closed. Returns the box, or nullptr without
// a screen, where nothing stays to be closed and `closed` never runs.
QMessageBox* TellWithoutWaiting(QWidget* parent, const OperatorReport& report,
                                std::function<void()> closed = {});

// "zx840: LINE" on standard error, the line as given.
void WriteOperatorLine(const QByteArray& line);

}  // namespace zx840
