// Open requests that fail, in a flood, or from another user: the running
// window lives in this process (so its message boxes can be answered), the
// second starts are real processes of the program or raw socket clients.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QLocalSocket>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>
#include <functional>

#include "app/instance_link.h"
#include "app/main_frame.h"
#include "app/zx840_app.h"
#include "app/zx840_doc.h"
#include "record/file_io.h"
#include "record/measurement_file.h"
#include "tests/gui_helpers.h"
#include "view/zx840_view.h"

namespace zx840 {
namespace {

using testing::WriteTest;

// Calls `tick` every 20 ms from whichever event loop runs, message boxes'
// own loops included: the way to act while a box is on screen.
class Ticker {
  public:
    explicit Ticker(std::function<void()> tick) {
        QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
        timer_.start(20);
    }

  private:
    QTimer timer_;
};

QMessageBox* OpenBox() {
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

// Counts the message boxes that come up.
class BoxCounter : public QObject {
  public:
    BoxCounter() { qApp->installEventFilter(this); }
    ~BoxCounter() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<QMessageBox*>(watched) != nullptr) {
            ++shown;
            texts << static_cast<QMessageBox*>(watched)->text();
        }
        return false;
    }
    int shown = 0;
    QStringList texts;
};

class OpenRequests : public ::testing::Test {
  protected:
    void SetUp() override {
        good_ = WriteTest(files_, "good.ZX8", 5);
        bad_ = files_.filePath(QStringLiteral("bad.ZX8"));
        QFile bad(bad_);
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
        bad.write("not a test file");
        bad.close();
        ASSERT_TRUE(app_.InitInstance({good_}));
        link_ = std::make_unique<InstanceLink>(
            runtime_.filePath(QStringLiteral("zx840-%1.socket").arg(geteuid())));
        ASSERT_TRUE(link_->Listen());
        QObject::connect(link_.get(), &InstanceLink::openRequested,
                         [this](const QString& path) { app_.RequestOpen(path); });
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        environment_.insert(QStringLiteral("HOME"), runtime_.path());
        environment_.insert(QStringLiteral("XDG_DATA_HOME"),
                            runtime_.filePath(QStringLiteral("share")));
    }
    void TearDown() override {
        for (auto& process : started_) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    // A second start of the program that names `file`.
    QProcess* HandOver(const QString& file) {
        started_.push_back(std::make_unique<QProcess>());
        QProcess* process = started_.back().get();
        process->setProcessEnvironment(environment_);
        process->setWorkingDirectory(files_.path());
        process->start(QStringLiteral(ZX840_PROGRAM), {file});
        return process;
    }
    static bool Ended(QProcess* process) {
        return process != nullptr && process->state() == QProcess::NotRunning;
    }
    // The test shown is still the good file's.
    void ExpectGoodTestShown() {
        EXPECT_EQ(app_.Frame()->windowTitle(),
                  QStringLiteral("good.ZX8 - ZX840 DIGITAL POWER METER"));
        EXPECT_EQ(app_.Document()->State().Mark.Number, 5);
        EXPECT_EQ(app_.Document()->State().DataValid, 1);
        EXPECT_EQ(app_.View()->Mark().Number, 5);
        EXPECT_EQ(app_.View()->Working().DataValid, 1);
    }
    // The window still takes a file handed over.
    void ExpectStillAnswers() {
        const QString other = WriteTest(files_, "other.ZX8", 6);
        QProcess* start = HandOver(other);
        EXPECT_TRUE(testing::WaitUntil(
            [&] {
                return app_.Frame()->windowTitle() ==
                       QStringLiteral("other.ZX8 - ZX840 DIGITAL POWER METER");
            },
            30000));
        EXPECT_TRUE(testing::WaitUntil([&] { return Ended(start); }, 30000));
        EXPECT_EQ(start->exitCode(), 0);
        EXPECT_EQ(app_.Document()->State().Mark.Number, 6);
    }

    QTemporaryDir settings_;
    QTemporaryDir runtime_;
    QTemporaryDir files_;
    QString good_;
    QString bad_;
    CZX840ENApp app_{settings_.path()};
    std::unique_ptr<InstanceLink> link_;
    QProcessEnvironment environment_;
    std::vector<std::unique_ptr<QProcess>> started_;
};

TEST_F(OpenRequests, FailuresHandedOverWhileTheirReportIsOpenWaitAndNothingIsLost) {
    BoxCounter boxes;
    QProcess* first = HandOver(bad_);
    QProcess* second = nullptr;
    int step = 0;
    const Ticker ticker([&] {
        QMessageBox* box = OpenBox();
        if (step == 0 && box != nullptr) {
            // The first failure is on screen; another start hands over a
            // file that is not there.
            second = HandOver(QStringLiteral("missing.ZX8"));
            step = 1;
        } else if (step == 1 && box != nullptr && Ended(first) && Ended(second)) {
            // Both starts were answered and ended while the box stayed.
            EXPECT_EQ(boxes.shown, 1);
            box->done(QMessageBox::Ok);
            step = 2;
        } else if (step == 2 && box != nullptr) {
            box->done(QMessageBox::Ok);
            step = 3;
        }
    });
    ASSERT_TRUE(testing::WaitUntil([&] { return step == 3 && OpenBox() == nullptr; }, 60000))
        << "step " << step;
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_EQ(second->exitCode(), 0);
    ASSERT_EQ(boxes.shown, 2);
    EXPECT_EQ(boxes.texts[0], QString::fromLatin1(kUnexpectedFileFormat));
    EXPECT_TRUE(boxes.texts[1].contains(QStringLiteral("missing.ZX8")))
        << boxes.texts[1].toStdString();
    ExpectGoodTestShown();
    ExpectStillAnswers();
}

// A client process that sends `count` requests for `path` one after the
// other and writes how many were answered into `report`. Only system calls
// run after the fork.
pid_t FloodClient(const QString& socketPath, const QString& path, int count, int report) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(socketPath);
    std::memcpy(address.sun_path, name.constData(),
                std::min(sizeof address.sun_path - 1, static_cast<size_t>(name.size())));
    const QByteArray message = QFile::encodeName(path) + '\n';
    const pid_t child = fork();
    if (child != 0) {
        return child;
    }
    int answered = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        char reply[8] = {};
        timeval limit{30, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            write(fd, message.constData(), static_cast<size_t>(message.size())) == message.size() &&
            read(fd, reply, 3) == 3 && std::memcmp(reply, "OK\n", 3) == 0) {
            ++answered;
        }
        close(fd);
    }
    [[maybe_unused]] const ssize_t written = write(report, &answered, sizeof answered);
    _exit(0);
}

TEST_F(OpenRequests, AFloodOfFailingRequestsShowsFewBoxesAndTheWindowStillAnswers) {
    constexpr int kRequests = 200;
    int report[2];
    ASSERT_EQ(pipe2(report, O_CLOEXEC), 0);
    BoxCounter boxes;
    const pid_t client =
        FloodClient(runtime_.filePath(QStringLiteral("zx840-%1.socket").arg(geteuid())), bad_,
                    kRequests, report[1]);
    ASSERT_GT(client, 0);
    close(report[1]);
    bool clientDone = false;
    int status = 0;
    // The first report stays open until every request has been answered.
    const Ticker ticker([&] {
        if (!clientDone && waitpid(client, &status, WNOHANG) == client) {
            clientDone = true;
        }
        if (QMessageBox* box = OpenBox(); box != nullptr && clientDone) {
            box->done(QMessageBox::Ok);
        }
    });
    ASSERT_TRUE(testing::WaitUntil([&] { return clientDone && OpenBox() == nullptr; }, 100000));
    int answered = -1;
    EXPECT_EQ(read(report[0], &answered, sizeof answered), static_cast<ssize_t>(sizeof answered));
    close(report[0]);
    EXPECT_EQ(answered, kRequests);
    // One box for the first failure, one for everything that came meanwhile.
    EXPECT_GE(boxes.shown, 1);
    EXPECT_LE(boxes.shown, 2);
    ASSERT_FALSE(boxes.texts.isEmpty());
    EXPECT_TRUE(boxes.texts.back().contains(QStringLiteral("were not opened")))
        << boxes.texts.back().toStdString();
    ExpectGoodTestShown();
    ExpectStillAnswers();
}

TEST(InstanceLinkServer, BadAndSilentClientsAreDroppedWhileGoodOnesAreServed) {
    QTemporaryDir runtime;
    const QString path = runtime.filePath(QStringLiteral("zx840.socket"));
    InstanceLink link(path);
    // The silent client is dropped after its time; the good one, connected
    // after it, is served before.
    link.SetClientTimeout(std::chrono::milliseconds(1000));
    ASSERT_TRUE(link.Listen());
    QStringList requested;
    QObject::connect(&link, &InstanceLink::openRequested,
                     [&](const QString& file) { requested << file; });
    auto connectTo = [&](QLocalSocket& socket) {
        socket.connectToServer(path);
        return testing::WaitUntil([&] { return socket.state() == QLocalSocket::ConnectedState; },
                                  30000);
    };
    QLocalSocket silent;
    QLocalSocket relative;
    QLocalSocket oversized;
    QLocalSocket good;
    ASSERT_TRUE(connectTo(silent));
    ASSERT_TRUE(connectTo(relative));
    ASSERT_TRUE(connectTo(oversized));
    relative.write("relative.ZX8\n");
    oversized.write(QByteArray(8192, '/'));
    ASSERT_TRUE(connectTo(good));
    good.write("/tests/PSU 1.ZX8\n");
    EXPECT_TRUE(testing::WaitUntil([&] { return good.bytesAvailable() >= 3; }, 30000));
    EXPECT_EQ(good.readAll(), "OK\n");
    for (QLocalSocket* dropped : {&relative, &oversized, &silent}) {
        EXPECT_TRUE(testing::WaitUntil(
            [&] { return dropped->state() == QLocalSocket::UnconnectedState; }, 60000));
        EXPECT_EQ(dropped->readAll(), QByteArray());
    }
    EXPECT_EQ(requested, QStringList{QStringLiteral("/tests/PSU 1.ZX8")});
}

}  // namespace
}  // namespace zx840
