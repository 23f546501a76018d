#include <QApplication>
#include <cstdlib>
#include <optional>
#include <string>

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>

#include "app/command_line.h"
#include "app/desktop_registration.h"
#include "app/exit_signals.h"
#include "app/instance_link.h"
#include "app/zx840_app.h"
#include "record/file_io.h"
#include "record/product_identity.h"
#include "report/runtime_folder.h"
#include "store/history_reader.h"
#include "view/operator_report.h"

namespace {

constexpr char kHelp[] =
    "Usage: zx840 [FILE.ZX8]\n"
    "       zx840 -p FILE.ZX8\n"
    "       zx840 -pt FILE.ZX8 PRINTER DRIVER PORT\n"
    "       zx840 -Unregister\n"
    "The desktop program of the ZX840 digital power meter.\n"
    "  FILE.ZX8         open this test (a running program opens it instead)\n"
    "  -p FILE          print the test on the default printer, then end\n"
    "  -pt FILE PRINTER DRIVER PORT\n"
    "                   print the test on PRINTER, then end\n"
    "  -Unregister      remove the per-user desktop registration and settings\n"
    "  --minimized, --maximized\n"
    "                   how the window first appears\n"
    "  -h, --help       this text\n"
    "  -V, --version    the version, then end\n"
    "Printing and unregistering need no display. See zx840(1).\n";

// --help and --version print and end before any window system is touched.
// Returns true when one of them was given.
bool PrintedInformation(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (argument == "--version" || argument == "-V") {
            std::printf("zx840 %s\n", zx840::kVersionText);
            return true;
        }
    }
    return false;
}

// What the command line asks for, read from the raw arguments before the
// application object exists (the toolkit's own options create none of the
// actions that matter here).
zx840::CommandLine::Action RawAction(int argc, char** argv) {
    QStringList raw;
    for (int i = 1; i < argc; ++i) {
        raw << QString::fromLocal8Bit(argv[i]);
    }
    return zx840::ParseCommandLine(raw, [](const QString& path) { return QFileInfo::exists(path); })
        .action;
}

// Printing, dde and unregistering need no display: without one, the
// program draws offscreen instead of failing to start.
void ChoosePlatform(zx840::CommandLine::Action action) {
    for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return;
        }
    }
    using Action = zx840::CommandLine::Action;
    if (action != Action::NewTest && action != Action::Open) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
}

// The test-file type and the program, made known to the desktop of this
// user; nothing is rewritten when all is as it should be.
void RegisterFileType() {
    QFile appIcon(QStringLiteral(":/res/zx840.png"));
    QFile documentIcon(QStringLiteral(":/res/zx840-document.png"));
    appIcon.open(QIODevice::ReadOnly);
    documentIcon.open(QIODevice::ReadOnly);
    const auto result = zx840::RegisterDesktopIntegration(
        zx840::DefaultDesktopPaths(), QCoreApplication::applicationFilePath(), appIcon.readAll(),
        documentIcon.readAll());
    if (!result.ok) {
        zx840::WriteOperatorLine("desktop registration: " + result.error.toLocal8Bit());
    }
}

// Removes the desktop registration and the per-user settings area, says
// how that went (unless embedded), and ends.
int Unregister(const zx840::CommandLine& line) {
    const bool embedding = line.embedding;
    QCoreApplication::setOrganizationName(QString::fromLatin1(zx840::kSettingsOrganization));
    QCoreApplication::setApplicationName(QString::fromLatin1(zx840::kSettingsApplication));
    const auto result = zx840::UnregisterDesktopIntegration(zx840::DefaultDesktopPaths());
    bool ok = result.ok;
    // The details, for whoever reads standard error; embedded, nothing.
    if (!embedding && !result.error.isEmpty()) {
        zx840::WriteOperatorLine(result.error.toLocal8Bit());
    }
    if (!embedding && !result.warning.isEmpty()) {
        zx840::WriteOperatorLine("warning: " + result.warning.toLocal8Bit());
    }
    {
        QSettings settings;
        const QString file = settings.fileName();
        settings.clear();
        settings.sync();
        if (QFile::exists(file) && !QFile::remove(file)) {
            ok = false;
        }
    }
    if (!embedding) {
        const zx840::ScreenDecision screen(zx840::ScreenFor(line));
        zx840::Tell(nullptr,
                    {ok ? zx840::Severity::Information : zx840::Severity::Warning,
                     QString::fromLatin1(zx840::kAppTitle),
                     QString::fromLatin1(ok ? zx840::kUnregisterDone : zx840::kUnregisterPartial),
                     zx840::Echo::Always});
    }
    return ok ? 0 : 1;
}

// What the line asks for, once the toolkit is up: unregistering, printing
// or the window.
int Run(const zx840::CommandLine& line) {
    const bool interactive = zx840::OpensWindow(line);

    // One start at a time decides who is the running program; a file named
    // while one runs goes to it. Unregistering waits for a start that is
    // still registering, so that the two never refresh the databases at
    // once. Without a safe folder for the socket there is no hand-over: the
    // file opens in a window of its own.
    zx840::InstanceLink link;
    if (line.action == zx840::CommandLine::Action::Unregister) {
        link.LockStartup();
        return Unregister(line);
    }
    if (interactive) {
        link.LockStartup();
        if (line.action == zx840::CommandLine::Action::Open && link.HandToRunning(line.file)) {
            return 0;
        }
    }
    if (interactive && !zx840::InstalledSystemWide(QCoreApplication::applicationFilePath())) {
        RegisterFileType();
    }
    zx840::CZX840ENApp program;
    if (!program.InitFromCommandLine(line)) {
        return program.ExitCode();
    }
    // A logout, kill or Ctrl+C ends the program as Exit does.
    zx840::ExitSignals exitSignals;
    QObject::connect(&exitSignals, &zx840::ExitSignals::exitRequested,
                     [&program](int) { program.EndSession(); });
    if (interactive) {
        link.Listen();
        link.UnlockStartup();
        QObject::connect(&link, &zx840::InstanceLink::openRequested,
                         [&program](const QString& path) { program.RequestOpen(path); });
    }
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    // A closed standard output or error would be taken by the next file opened.
    zx840::OpenClosedStandardDescriptors();
    if (PrintedInformation(argc, argv)) {
        return 0;
    }
    const zx840::CommandLine::Action action = RawAction(argc, argv);
    ChoosePlatform(action);
    // Printing from a script or cron, where nothing names a runtime folder:
    // one of its own, so the toolkit has nothing to warn about.
    std::optional<zx840::RuntimeFolder> runtime;
    if (action == zx840::CommandLine::Action::Print ||
        action == zx840::CommandLine::Action::PrintTo) {
        runtime.emplace();
    }
    QApplication application(argc, argv);
    // History windows closed while their store was still answering leave a
    // thread to end on its own: the program waits for it after its windows.
    struct WaitForHistoryReaders {
        ~WaitForHistoryReaders() { zx840::HistoryReader::WaitForAll(); }
    } waitForHistoryReaders;
    const QStringList arguments = QApplication::arguments().mid(1);
    const zx840::CommandLine line = zx840::ParseCommandLine(
        arguments, [](const QString& path) { return QFileInfo::exists(path); });
    if (!line.mistake.isEmpty()) {
        zx840::WriteOperatorLine(line.mistake.toLocal8Bit());
        return 1;
    }
    return Run(line);
}
