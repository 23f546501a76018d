// Product > Remote Control: the window as an instrument on the network.
// Test sequencers measure, set the product information and the plan, and
// switch the store, through the same meter session as F3 and the continuous
// test (one exchange at a time, in the order asked); a remote measurement
// lands on the panel, the Verdict panel and the store as an F3 would. Off
// by default; the choice is remembered. "Remote" in the status bar while a
// client that has sent a command is connected.
#pragma once

#include <QDialog>
#include <QObject>
#include <QString>
#include <memory>

#include "commands/command_router.h"
#include "remote/scpi_server.h"
#include "remote/session_station.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMainWindow;

namespace zx840 {

class CZX840ENDoc;
class PlanController;
class StoreController;

inline constexpr char kRemoteControlDlgTitle[] = "Remote Control";
inline constexpr char kRemoteIndicator[] = "Remote";

struct RemoteChoice {
    bool on = false;
    std::string listen = "127.0.0.1:5025";
    std::string allow;  // needed to listen beyond the loopback
    friend bool operator==(const RemoteChoice&, const RemoteChoice&) = default;
};

class CRemoteControlDlg : public QDialog {
    Q_OBJECT
  public:
    CRemoteControlDlg(const RemoteChoice& choice, QWidget* parent = nullptr);
    const RemoteChoice& Choice() const { return choice_; }

  public slots:
    void accept() override;

  private:
    RemoteChoice choice_;
    QCheckBox* on_;
    QLineEdit* listen_;
    QLineEdit* allow_;
};

class RemoteController : public QObject, public CommandTarget {
    Q_OBJECT
  public:
    // *RST takes the product information and the store choice back to what
    // they were at start (the settings' values) and the plan to the one the
    // Test Plan choice gives.
    RemoteController(QMainWindow* frame, MeterSession& session, CZX840ENDoc& doc,
                     PlanController& plans, StoreController& store);
    ~RemoteController() override;

    const RemoteChoice& Choice() const { return choice_; }
    // Takes (and remembers) a choice: the server listens, or stops. False
    // after saying why it cannot listen (then it is off).
    bool SetChoice(const RemoteChoice& choice);
    ScpiServer& Server() { return *server_; }
    bool RemoteShown() const;

  private:
    bool Apply();
    void OnRemoteControl();

    QMainWindow* frame_;
    RemoteChoice choice_;
    std::unique_ptr<SessionStation> station_;
    ScpiServer* server_;  // a child
    QLabel* indicator_;   // in the status bar, owned by it
};

// Whether a listen address and allow-list can be served; the reason when
// not.
std::optional<std::string> RemoteChoiceProblem(const RemoteChoice& choice,
                                               ScpiServerOptions* options);

}  // namespace zx840
