#include "view/operator_report.h"

#include <QWidget>
#include <cstdio>

namespace zx840 {

namespace {

Screen screen = Screen::Present;

QMessageBox::Icon IconOf(Severity severity) {
    switch (severity) {
        case Severity::Information:
            return QMessageBox::Information;
        case Severity::Warning:
            return QMessageBox::Warning;
        case Severity::Critical:
            break;
    }
    return QMessageBox::Critical;
}

// The line of a report on standard error; whether there is a box to show.
bool WriteLineAndNeedBox(const OperatorReport& report) {
    const bool box = screen == Screen::Present;
    if (!box || report.echo == Echo::Always) {
        WriteOperatorLine(
            report.line.isNull()
                ? QString(report.text).replace(QLatin1Char('\n'), QLatin1Char(' ')).toLocal8Bit()
                : report.line);
    }
    return box;
}

}  // namespace

Screen OperatorScreen() {
    return screen;
}

ScreenDecision::ScreenDecision(Screen decided) : before_(screen) {
    screen = decided;
}

ScreenDecision::~ScreenDecision() {
    screen = before_;
}

void WriteOperatorLine(const QByteArray& line) {
    std::fprintf(stderr, "zx840: %s\n", line.constData());
}

QMessageBox::StandardButton Tell(QWidget* parent, const OperatorReport& report,
                                 QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton answer) {
    if (!WriteLineAndNeedBox(report)) {
        return answer;
    }
    QMessageBox box(IconOf(report.severity), report.title, report.text, buttons, parent);
    if (answer != QMessageBox::Ok || buttons != QMessageBox::Ok) {
        box.setDefaultButton(answer);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton Tell(QWidget* parent, Severity severity, const QString& title,
                                 const QString& text, QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton answer) {
    return Tell(parent, OperatorReport{severity, title, text}, buttons, answer);
}

QMessageBox* TellWithoutWaiting(QWidget* parent, const OperatorReport& report,
                                std::function<void()> closed) {
    if (!WriteLineAndNeedBox(report)) {
        return nullptr;
    }
    auto* box = new QMessageBox(IconOf(report.severity), report.title, report.text, QMessageBox::Ok,
                                parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    if (closed) {
        QObject::connect(box, &QDialog::finished, box, [closed = std::move(closed)] { closed(); });
    }
    box->show();
    return box;
}

}  // namespace zx840
