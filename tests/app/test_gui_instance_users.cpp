// The socket that hands files between starts: where it lives without a
// runtime folder, and that nothing is exchanged with a process of another
// user. The other user is `nobody`, a child process of this root test.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>
#include <optional>
#include <string>

#include "app/instance_link.h"
#include "record/file_io.h"
#include "record/measurement_file.h"
#include "tests/gui_helpers.h"

namespace zx840 {
namespace {

constexpr uid_t kNobody = 65534;

// Sets or unsets an environment variable for one scope.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::optional<QByteArray>& value)
        : name_(name),
          saved_(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt) {
        Set(value);
    }
    ~ScopedVariable() { Set(saved_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    void Set(const std::optional<QByteArray>& value) {
        if (value) {
            qputenv(name_, *value);
        } else {
            qunsetenv(name_);
        }
    }
    const char* name_;
    std::optional<QByteArray> saved_;
};

mode_t ModeOf(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

TEST(InstanceFolder, WithoutARuntimeFolderOnlyAPrivateFolderOfTheUserIsUsed) {
    QTemporaryDir temporary;
    const QString expected = temporary.filePath(QStringLiteral("zx840-%1").arg(geteuid()));
    {
        // The session's runtime folder, when it is private as it should be.
        QTemporaryDir session;
        const ScopedVariable runtime("XDG_RUNTIME_DIR", session.path().toUtf8());
        EXPECT_EQ(InstanceFolder(temporary.path()), session.path());
        ASSERT_EQ(::chmod(QFile::encodeName(session.path()).constData(), 0777), 0);
        EXPECT_EQ(InstanceFolder(temporary.path()), expected);
        ASSERT_TRUE(QDir().rmdir(expected));
    }
    const ScopedVariable runtime("XDG_RUNTIME_DIR", std::nullopt);
    const mode_t savedMask = ::umask(0277);  // made 0700 whatever the umask
    EXPECT_EQ(InstanceFolder(temporary.path()), expected);
    ::umask(savedMask);
    EXPECT_TRUE(S_ISDIR(ModeOf(expected)));
    EXPECT_EQ(ModeOf(expected) & 07777, 0700u);
    EXPECT_EQ(InstanceFolder(temporary.path()), expected);  // found again as it is

    // Others may enter it: refused, and left as it is.
    ASSERT_EQ(::chmod(QFile::encodeName(expected).constData(), 0755), 0);
    EXPECT_EQ(InstanceFolder(temporary.path()), QString());
    EXPECT_EQ(ModeOf(expected) & 07777, 0755u);

    // A link, even to a private folder of the user: refused.
    ASSERT_TRUE(QDir().rename(expected, temporary.filePath(QStringLiteral("elsewhere"))));
    ASSERT_EQ(
        ::chmod(QFile::encodeName(temporary.filePath(QStringLiteral("elsewhere"))).constData(),
                0700),
        0);
    ASSERT_TRUE(QFile::link(temporary.filePath(QStringLiteral("elsewhere")), expected));
    EXPECT_EQ(InstanceFolder(temporary.path()), QString());
    ASSERT_TRUE(QFile::remove(expected));

    // Someone else's folder.
    if (geteuid() == 0) {
        ASSERT_TRUE(QDir().mkdir(expected));
        ASSERT_EQ(::chmod(QFile::encodeName(expected).constData(), 0700), 0);
        ASSERT_EQ(::chown(QFile::encodeName(expected).constData(), kNobody, kNobody), 0);
        EXPECT_EQ(InstanceFolder(temporary.path()), QString());
    }
}

// A process of user `nobody` that listens on every socket path given, as a
// program of this project would, answers every request "OK" and in the end
// reports how many bytes it received. Only system calls run in the child.
class ForeignListener {
  public:
    // `folder`, when given, is made first (by nobody, open to everybody).
    ForeignListener(const std::vector<QString>& sockets, const QString& folder = {}) {
        std::vector<sockaddr_un> addresses;
        for (const QString& path : sockets) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const QByteArray name = QFile::encodeName(path);
            std::memcpy(address.sun_path, name.constData(),
                        std::min(sizeof address.sun_path - 1, static_cast<size_t>(name.size())));
            addresses.push_back(address);
        }
        const QByteArray folderName = QFile::encodeName(folder);
        int report[2];
        int control[2];
        if (pipe2(report, O_CLOEXEC) != 0 || pipe2(control, O_CLOEXEC) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(report[0]);
            close(control[1]);
            RunChild(addresses, folderName.isEmpty() ? nullptr : folderName.constData(), report[1],
                     control[0]);
        }
        close(report[1]);
        close(control[0]);
        report_ = report[0];
        control_ = control[1];
        char ready = 0;
        ready_ = read(report_, &ready, 1) == 1 && ready == 'R';
    }
    ~ForeignListener() {
        if (pid_ > 0) {
            Stop();
        }
    }
    bool Ready() const { return ready_; }
    // Ends the listener; the bytes it received.
    long Stop() {
        close(control_);
        long received = -1;
        if (read(report_, &received, sizeof received) != sizeof received) {
            received = -1;
        }
        close(report_);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return received;
    }

  private:
    [[noreturn]] static void RunChild(const std::vector<sockaddr_un>& addresses, const char* folder,
                                      int report, int control) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) {
            _exit(1);
        }
        umask(0);
        if (folder != nullptr) {
            mkdir(folder, 0777);
        }
        // No allocation after the fork: a fixed array.
        constexpr std::size_t kMaxSockets = 4;
        pollfd watched[kMaxSockets + 1] = {{control, POLLIN, 0}};
        std::size_t count = 1;
        for (const sockaddr_un& address : addresses) {
            const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (count > kMaxSockets ||
                bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
                listen(fd, 16) != 0) {
                _exit(2);
            }
            watched[count++] = {fd, POLLIN, 0};
        }
        [[maybe_unused]] ssize_t ignored = write(report, "R", 1);
        long received = 0;
        while (true) {
            if (poll(watched, count, -1) < 0) {
                continue;
            }
            if (watched[0].revents != 0) {
                break;  // the test closed the control pipe
            }
            for (std::size_t i = 1; i < count; ++i) {
                if ((watched[i].revents & POLLIN) == 0) {
                    continue;
                }
                const int client = accept4(watched[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                pollfd one{client, POLLIN, 0};
                char buffer[4096];
                ssize_t n = 0;
                if (poll(&one, 1, 3000) > 0 && (n = read(client, buffer, sizeof buffer)) > 0) {
                    received += n;
                    ignored = write(client, "OK\n", 3);
                }
                close(client);
            }
        }
        ignored = write(report, &received, sizeof received);
        _exit(0);
    }

    pid_t pid_ = -1;
    int report_ = -1;
    int control_ = -1;
    bool ready_ = false;
};

class OtherUsers : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "needs root, to run a listener as user nobody";
        }
        // Open to everybody, as a shared temporary folder is.
        ASSERT_EQ(::chmod(QFile::encodeName(shared_.path()).constData(), 01777), 0);
        ProductMark mark;
        mark.Number = 3;
        file_ = files_.filePath(QStringLiteral("mine.ZX8"));
        ASSERT_TRUE(
            WriteFileAtomically(file_.toStdString(), SerializeTest(mark, MeasurementRecord{})));
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment_.insert(QStringLiteral("HOME"), files_.path());
        environment_.insert(QStringLiteral("XDG_DATA_HOME"),
                            files_.filePath(QStringLiteral("share")));
        environment_.insert(QStringLiteral("QT_LOGGING_RULES"),
                            QStringLiteral("zx840.files.info=true\nzx840.instance.info=true"));
    }
    void TearDown() override {
        if (program_.state() != QProcess::NotRunning) {
            program_.kill();
            program_.waitForFinished(10000);
        }
    }
    // Starts the program with the file; true when it opened the file in a
    // window of its own.
    bool OpensTheFileItself() {
        program_.setProcessEnvironment(environment_);
        program_.setWorkingDirectory(files_.path());
        program_.start(QStringLiteral(ZX840_PROGRAM), {file_});
        QString log;
        const bool opened = testing::WaitUntil(
            [&] {
                log += QString::fromUtf8(program_.readAllStandardError());
                return log.contains(QStringLiteral("opened \"%1\"").arg(file_)) ||
                       program_.state() == QProcess::NotRunning;
            },
            30000);
        log += QString::fromUtf8(program_.readAllStandardError());
        std::cerr << log.toStdString();
        return opened && program_.state() == QProcess::Running;
    }

    QTemporaryDir shared_;
    QTemporaryDir files_;
    QString file_;
    QProcessEnvironment environment_;
    QProcess program_;
};

TEST_F(OtherUsers, AListenerOfAnotherUserInTheRuntimeFolderIsToldNothing) {
    const QString socket = shared_.filePath(QStringLiteral("zx840-%1.socket").arg(geteuid()));
    ForeignListener listener({socket});
    ASSERT_TRUE(listener.Ready());
    // Then the folder becomes private, the socket stays the other user's.
    ASSERT_EQ(::chmod(QFile::encodeName(shared_.path()).constData(), 0700), 0);
    environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), shared_.path());
    environment_.insert(QStringLiteral("TMPDIR"), files_.path());
    EXPECT_TRUE(OpensTheFileItself());
    EXPECT_EQ(listener.Stop(), 0);
}

TEST_F(OtherUsers, WithoutARuntimeFolderAFolderPlantedInTheTemporaryFolderIsNotUsed) {
    // Another user got there first: the folder and the sockets where the
    // program could look, and the toolkit's own runtime folder, all theirs.
    const QString uid = QString::number(geteuid());
    const QString folder = shared_.filePath(QStringLiteral("zx840-") + uid);
    ASSERT_TRUE(QDir().mkdir(shared_.filePath(QStringLiteral("runtime-root"))));
    ASSERT_EQ(
        ::chown(QFile::encodeName(shared_.filePath(QStringLiteral("runtime-root"))).constData(),
                kNobody, kNobody),
        0);
    ForeignListener listener({folder + QStringLiteral("/zx840-%1.socket").arg(uid),
                              shared_.filePath(QStringLiteral("zx840-%1.socket").arg(uid))},
                             folder);
    ASSERT_TRUE(listener.Ready());
    environment_.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment_.insert(QStringLiteral("TMPDIR"), shared_.path());
    EXPECT_TRUE(OpensTheFileItself());
    EXPECT_EQ(listener.Stop(), 0);
}

// A client of user nobody that keeps the right to pass file permissions,
// so that only the check of its user id can turn it away. Sends a request
// and reports what came back: the reply's length, or -2 when it could not
// connect at all.
pid_t ForeignClient(const QString& socketPath, int report) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(socketPath);
    std::memcpy(address.sun_path, name.constData(),
                std::min(sizeof address.sun_path - 1, static_cast<size_t>(name.size())));
    const pid_t child = fork();
    if (child != 0) {
        return child;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    data[0].effective = data[0].permitted = 1u << CAP_DAC_OVERRIDE;
    long result = -2;
    if (prctl(PR_SET_KEEPCAPS, 1) == 0 && setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 &&
        setuid(kNobody) == 0 && syscall(SYS_capset, &header, data) == 0) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            const char request[] = "/etc/hostname\n";
            [[maybe_unused]] const ssize_t sent = write(fd, request, sizeof request - 1);
            char reply[8];
            timeval limit{30, 0};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            result = read(fd, reply, sizeof reply);
        }
    }
    [[maybe_unused]] const ssize_t written = write(report, &result, sizeof result);
    _exit(0);
}

TEST_F(OtherUsers, TheRunningProgramDropsARequestFromAnotherUser) {
    const QString socket = files_.filePath(QStringLiteral("zx840.socket"));
    InstanceLink link(socket);
    ASSERT_TRUE(link.Listen());
    QStringList requested;
    QObject::connect(&link, &InstanceLink::openRequested,
                     [&](const QString& path) { requested << path; });
    int report[2];
    ASSERT_EQ(pipe2(report, O_CLOEXEC), 0);
    const pid_t client = ForeignClient(socket, report[1]);
    close(report[1]);
    ASSERT_TRUE(
        testing::WaitUntil([&] { return waitpid(client, nullptr, WNOHANG) == client; }, 60000));
    long reply = -3;
    ASSERT_EQ(read(report[0], &reply, sizeof reply), static_cast<ssize_t>(sizeof reply));
    close(report[0]);
    if (reply == -2) {
        GTEST_SKIP() << "a process of another user cannot reach the socket here";
    }
    EXPECT_LE(reply, 0) << "the other user got an answer";
    // A request of this user, afterwards, is the first one carried out.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(socket).constData(),
                 sizeof address.sun_path - 1);
    const pid_t own = fork();
    if (own == 0) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        char reply3[3];
        const bool answered =
            connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            write(fd, "/mine\n", 6) == 6 && read(fd, reply3, 3) == 3;
        _exit(answered ? 0 : 1);
    }
    ASSERT_TRUE(testing::WaitUntil([&] { return !requested.isEmpty(); }, 60000));
    EXPECT_EQ(requested, QStringList{QStringLiteral("/mine")});
    int status = -1;
    ASSERT_TRUE(testing::WaitUntil([&] { return waitpid(own, &status, WNOHANG) == own; }, 60000));
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace zx840
