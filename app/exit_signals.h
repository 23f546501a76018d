// Ends the program cleanly when the system asks it to (SIGTERM at logout or
// from kill, SIGHUP when the terminal goes, SIGINT for Ctrl+C). The signal
// handler only writes the signal number into a socket pair; the event loop
// reads it and emits exitRequested, where anything may be done.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace zx840 {

class ExitSignals : public QObject {
    Q_OBJECT
  public:
    explicit ExitSignals(QObject* parent = nullptr);
    // Puts the default actions back.
    ~ExitSignals() override;
    ExitSignals(const ExitSignals&) = delete;
    ExitSignals& operator=(const ExitSignals&) = delete;

    // False when the handlers could not be installed (or another object of
    // this class already has them): the signals then keep their defaults.
    bool Installed() const { return notifier_ != nullptr; }

  signals:
    void exitRequested(int signalNumber);

  private:
    void OnReadable();

    int readEnd_ = -1;
    int writeEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr;  // a child of this object
};

}  // namespace zx840
