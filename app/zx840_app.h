// The application: creates the document, the meter session, the main
// window and the panel, routes commands, and handles About and Exit itself.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "app/command_line.h"
#include "commands/command_router.h"
#include "meter/port_map.h"

namespace zx840 {

class CMainFrame;
class CZX840ENDoc;
class CZX840ENView;
class MeterSession;
class OpenQueue;
class PlanController;
class StoreController;
class RemoteController;
struct Result;

class CZX840ENApp : public CommandTarget {
  public:
    // The settings file lies in `settingsDirectory`; by default the folder
    // of the executable.
    explicit CZX840ENApp(QString settingsDirectory = {});
    ~CZX840ENApp() override;
    CZX840ENApp(const CZX840ENApp&) = delete;
    CZX840ENApp& operator=(const CZX840ENApp&) = delete;

    // Start-up with the command line (without the program name); false when
    // the program is to end now, with ExitCode() as its status.
    bool InitInstance(const QStringList& arguments);
    // The same with a command line already read.
    bool InitFromCommandLine(const CommandLine& line);
    int ExitCode() const { return exitCode_; }

    CMainFrame* Frame() const { return frame_.get(); }
    CZX840ENDoc* Document() const { return doc_.get(); }
    CZX840ENView* View() const { return view_; }
    MeterSession* Session() const { return session_.get(); }
    PlanController* Plans() const { return plans_; }
    StoreController* Store() const { return store_; }
    RemoteController* Remote() const { return remote_; }
    CommandRouter& Router() { return router_; }

    // Opens a test file as Open does: the document, the view and the title
    // take it, or after a failure stay as they were.
    bool OpenDocumentFile(const QString& path);
    // An open request from outside (another start, a dropped file): carried
    // out at once, or after the exchange in progress, in the order received
    // (see OpenQueue).
    void RequestOpen(const QString& path);

    // Puts a kept result on the panel as an opened test file would be: at
    // once, or after the exchange in progress.
    void ShowKeptResult(const Result& result);

    // Ends the program as Exit does, for a request of the system (a signal):
    // open dialogs are cancelled, as are any that come up meanwhile, pending
    // open requests are dropped, and the window closes once the exchange in
    // progress is over; the settings file is written as the document goes.
    void EndSession();
    bool Ending() const { return ending_; }

    // The per-user settings area: organisation "Orvalisto", application
    // "ZX840 DIGITAL POWER METER".
    static void LoadPortMap(PortMap& map);
    static void SavePortMap(const PortMap& map);

  private:
    void CreateParts();
    int PrintAndEnd(const QString& printer);
    void ShowFrame(CommandLine::Show show);
    void OnAppAbout();
    void OnFileNew();
    void OnFileOpen();
    void OnFilePrintSetup();
    void OnPortDevices();
    void ShowKept(const Result& result);

    // Whether the operator sits at a screen, from the command line; it
    // stands until the document (which may report as it goes) is gone.
    std::optional<ScreenDecision> screen_;
    QString settingsDirectory_;
    int exitCode_ = 0;
    bool ending_ = false;
    CommandRouter router_;
    // The document and the session outlive the window and the view that
    // refer to them.
    std::unique_ptr<CZX840ENDoc> doc_;
    std::unique_ptr<MeterSession> session_;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<OpenQueue> opens_;
    CZX840ENView* view_ = nullptr;              // owned by the frame
    PlanController* plans_ = nullptr;           // owned by the frame
    StoreController* store_ = nullptr;          // owned by the frame
    RemoteController* remote_ = nullptr;        // owned by the frame
    std::unique_ptr<QObject> dialogCanceller_;  // an event filter while ending
};

}  // namespace zx840
