#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include "app/main_frame.h"
#include "app/zx840_app.h"
#include "app/zx840_doc.h"
#include "record/file_io.h"
#include "record/measurement_file.h"
#include "record/settings_file.h"
#include "tests/gui_helpers.h"

namespace zx840 {
namespace {

using testing::WriteTest;

// The program as its own process, without a display, with its own runtime
// folder (where the socket lives) and a log of the files it opens.
class ProgramProcesses : public ::testing::Test {
  protected:
    void SetUp() override {
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        // A home of its own: a start registers the file type with the desktop.
        environment_.insert(QStringLiteral("HOME"), runtime_.path());
        environment_.insert(QStringLiteral("XDG_DATA_HOME"),
                            runtime_.filePath(QStringLiteral("share")));
        environment_.insert(QStringLiteral("XDG_CONFIG_HOME"),
                            runtime_.filePath(QStringLiteral("config")));
        environment_.insert(QStringLiteral("QT_LOGGING_RULES"),
                            QStringLiteral("zx840.files.info=true\nzx840.instance.info=true"));
    }
    void TearDown() override {
        for (auto& process : running_) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    QProcess* Start(const QStringList& arguments,
                    const QString& program = QStringLiteral(ZX840_PROGRAM)) {
        running_.push_back(std::make_unique<QProcess>());
        QProcess* process = running_.back().get();
        process->setProcessEnvironment(environment_);
        process->setWorkingDirectory(files_.path());
        process->start(program, arguments);
        EXPECT_TRUE(process->waitForStarted(10000));
        return process;
    }
    QString Socket() const {
        return runtime_.filePath(QStringLiteral("zx840-%1.socket").arg(getuid()));
    }
    // Waits until the running program answers on its socket.
    bool WaitListening() {
        return testing::WaitUntil([&] { return QFile::exists(Socket()); }, 10000);
    }
    static bool WaitForLog(QProcess* process, const QString& text, QString* log) {
        return testing::WaitUntil(
            [&] {
                *log += QString::fromUtf8(process->readAllStandardError());
                return log->contains(text);
            },
            10000);
    }

    QTemporaryDir runtime_;
    QTemporaryDir files_;
    QProcessEnvironment environment_;
    std::vector<std::unique_ptr<QProcess>> running_;
};

TEST_F(ProgramProcesses, SecondStartHandsItsFileToTheFirstAndAStaleSocketIsTakenOver) {
    const QString first = WriteTest(files_, "first.ZX8", 1);
    const QString second = WriteTest(files_, "second.ZX8", 2);
    QProcess* running = Start({});
    ASSERT_TRUE(WaitListening());

    QProcess* handing = Start({second});
    ASSERT_TRUE(handing->waitForFinished(10000));
    EXPECT_EQ(handing->exitCode(), 0);
    QString log;
    EXPECT_TRUE(WaitForLog(running, QStringLiteral("opened \"%1\"").arg(second), &log))
        << log.toStdString();
    EXPECT_EQ(running->state(), QProcess::Running);

    // The first program dies without cleaning up: its socket stays behind.
    ::kill(static_cast<pid_t>(running->processId()), SIGKILL);
    running->waitForFinished(5000);
    ASSERT_TRUE(QFile::exists(Socket()));
    QProcess* next = Start({});
    // The next start becomes the running program despite the stale socket.
    log.clear();
    ASSERT_TRUE(WaitForLog(next, QStringLiteral("listening on"), &log)) << log.toStdString();
    QProcess* another = Start({first});
    ASSERT_TRUE(another->waitForFinished(10000));
    EXPECT_EQ(another->exitCode(), 0);
    EXPECT_TRUE(WaitForLog(next, QStringLiteral("opened \"%1\"").arg(first), &log))
        << log.toStdString();
}

TEST_F(ProgramProcesses, UnregisterRemovesTheRegistrationAndTheUserSettings) {
    const QTemporaryDir& home = runtime_;
    // A first start registers the file type; it then runs until killed.
    // Its socket appears once the registration (refreshes included) is over.
    QProcess* running = Start({});
    const QString entry = home.filePath(QStringLiteral("share/applications/zx840.desktop"));
    const QString print = home.filePath(QStringLiteral("share/applications/zx840.print.desktop"));
    ASSERT_TRUE(WaitListening());
    ASSERT_TRUE(QFile::exists(entry));
    ASSERT_TRUE(QFile::exists(print));
    running->kill();
    running->waitForFinished(5000);
    const QString settings =
        home.filePath(QStringLiteral("config/Orvalisto/ZX840 DIGITAL POWER METER.conf"));
    QDir().mkpath(QFileInfo(settings).path());
    QFile(settings).open(QIODevice::WriteOnly);
    // Without a display: the program needs none to unregister.
    environment_.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment_.remove(QStringLiteral("DISPLAY"));

    QProcess* unregister = Start({QStringLiteral("/UNREGISTER")});
    ASSERT_TRUE(unregister->waitForFinished(10000));
    EXPECT_EQ(unregister->exitCode(), 0);
    EXPECT_TRUE(
        QString::fromUtf8(unregister->readAllStandardError())
            .contains(QStringLiteral("System registry entries have been removed and the INI "
                                     "file (if any) was deleted.")));
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(QFile::exists(print));
    EXPECT_FALSE(QFile::exists(home.filePath(QStringLiteral("share/mime/packages/zx840.xml"))));
    EXPECT_FALSE(QFile::exists(settings));

    QProcess* quiet = Start({QStringLiteral("-Unregserver"), QStringLiteral("-Embedding")});
    ASSERT_TRUE(quiet->waitForFinished(10000));
    EXPECT_EQ(quiet->exitCode(), 0);
    EXPECT_FALSE(
        QString::fromUtf8(quiet->readAllStandardError()).contains(QStringLiteral("removed")));
}

TEST(DroppedFiles, OpenOneAfterTheOtherAndTheLastStays) {
    QTemporaryDir settings;
    QTemporaryDir files;
    const QString a = WriteTest(files, "a.ZX8", 11);
    const QString b = WriteTest(files, "b.ZX8", 22);
    CZX840ENApp app(settings.path());
    ASSERT_TRUE(app.InitInstance({}));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(app.Frame(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(app.Frame(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(app.Frame()->windowTitle(), QStringLiteral("b.ZX8 - ZX840 DIGITAL POWER METER"));
    EXPECT_EQ(app.Document()->State().Mark.Number, 22);
    EXPECT_EQ(app.Document()->State().DataValid, 1);
}

}  // namespace
}  // namespace zx840

namespace zx840 {
namespace {

TEST(WindowState, AppearsAsTheDesktopAsked) {
    QTemporaryDir settings;
    {
        CZX840ENApp app(settings.path());
        ASSERT_TRUE(app.InitInstance({QStringLiteral("--maximized")}));
        EXPECT_TRUE(app.Frame()->windowState() & Qt::WindowMaximized);
    }
    {
        CZX840ENApp app(settings.path());
        ASSERT_TRUE(app.InitInstance({QStringLiteral("-iconic")}));
        EXPECT_TRUE(app.Frame()->windowState() & Qt::WindowMinimized);
    }
    CZX840ENApp app(settings.path());
    ASSERT_TRUE(app.InitInstance({}));
    EXPECT_EQ(app.Frame()->windowState(), Qt::WindowNoState);
    EXPECT_TRUE(app.Frame()->isVisible());
}

TEST_F(ProgramProcesses, TermHangupAndInterruptEndTheWindowAsExitDoes) {
    // A copy of the program of its own: the settings file lies beside it.
    QTemporaryDir programDir;
    const QString program = programDir.filePath(QStringLiteral("zx840"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZX840_PROGRAM), program));
    QFile(program).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString settingsFile = programDir.filePath(QString::fromLatin1(kSettingsFileName));
    const QString marked = WriteTest(files_, "marked.ZX8", 77);
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        Settings chosen;
        chosen.ComPort = "COM2";
        ASSERT_TRUE(WriteFileAtomically(settingsFile.toStdString(), SerializeSettings(chosen)));
        QProcess* running = Start({}, program);
        QString log;
        ASSERT_TRUE(WaitForLog(running, QStringLiteral("listening on"), &log)) << log.toStdString();
        // What lies there at the end was written as the program ended.
        ASSERT_TRUE(QFile::remove(settingsFile));
        QProcess* handing = Start({marked});
        ASSERT_TRUE(handing->waitForFinished(10000));
        ASSERT_TRUE(WaitForLog(running, QStringLiteral("opened"), &log)) << log.toStdString();
        if (signal == SIGHUP) {
            // A report on screen that nobody will answer does not hold it up.
            QFile bad(files_.filePath(QStringLiteral("bad.ZX8")));
            ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
            bad.write("not a test file");
            bad.close();
            QProcess* failing = Start({bad.fileName()});
            ASSERT_TRUE(failing->waitForFinished(10000));
            ASSERT_TRUE(WaitForLog(running, QString::fromLatin1(kUnexpectedFileFormat), &log))
                << log.toStdString();
        }

        ::kill(static_cast<pid_t>(running->processId()), signal);
        ASSERT_TRUE(running->waitForFinished(30000));
        EXPECT_EQ(running->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(running->exitCode(), 0);
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(ReadWholeFile(settingsFile.toStdString(), &bytes));
        const Settings written = ParseSettings(bytes);
        EXPECT_EQ(written.ComPort, "COM2");
        EXPECT_EQ(written.Number, 77);
    }
}

// Not a test of its own: the body of the child process that the next test
// starts; it fails when asked to.
constexpr char kFailOnPurpose[] = "ZX840_GUI_TEST_FAIL_ON_PURPOSE";
TEST(GuiTestProcessChild, FailsWhenAsked) {
    EXPECT_FALSE(qEnvironmentVariableIsSet(kFailOnPurpose)) << "failing on purpose";
}

TEST(GuiTestProcesses, RemoveTheirTemporaryFoldersAlsoAfterAFailure) {
    QTemporaryDir temporary;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    environment.insert(QString::fromLatin1(kFailOnPurpose), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=GuiTestProcessChild.*")});
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitCode(), 1) << "the child test should have failed";
    EXPECT_EQ(
        QDir(temporary.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList());
}

}  // namespace
}  // namespace zx840
