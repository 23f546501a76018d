// Files handed over from outside (another start, a drop), opened in the
// order received once no exchange with the meter is in progress. While the
// report of failed requests is on screen, further requests wait (at most
// kMaxWaiting; more are counted and reported) and their failures are
// reported together in one box afterwards. A failed open leaves the test
// shown as it was.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QMessageBox;
class QWidget;

namespace zx840 {

class CZX840ENDoc;
class MeterSession;

class OpenQueue {
  public:
    // `open` opens a file as Open does; `window` owns the report.
    OpenQueue(MeterSession& session, CZX840ENDoc& document, QWidget* window,
              std::function<bool(const QString&)> open);
    OpenQueue(const OpenQueue&) = delete;
    OpenQueue& operator=(const OpenQueue&) = delete;

    void Request(const QString& path);
    // Requests not carried out yet and failures not reported yet are dropped.
    void Drop();

    static constexpr int kMaxWaiting = 64;
    static constexpr int kMaxListedFailures = 10;

  private:
    void Run();
    void OpenOne(const QString& path);
    void Report();
    void ForgetFailures();

    MeterSession& session_;
    CZX840ENDoc& document_;
    QWidget* window_;
    std::function<bool(const QString&)> open_;
    QStringList waiting_;           // requests not carried out yet
    QStringList failures_;          // "file: reason" of failed requests, not yet reported
    QString lastFailure_;           // the reason alone, for a single failure
    int unlisted_ = 0;              // failures beyond those listed
    int dropped_ = 0;               // requests beyond kMaxWaiting
    QPointer<QMessageBox> report_;  // the report on screen
};

}  // namespace zx840
