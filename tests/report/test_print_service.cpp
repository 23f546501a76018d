#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <initializer_list>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "report/print_service.h"
#include "report/report_printing.h"

namespace zx840 {
namespace {

TEST(PrintService, EachWayAJobCannotStartSaysWhyWithTheQueue) {
    PrinterLookup down;
    down.serverAnswers = false;
    down.serverAddress = QStringLiteral("/run/cups/cups.sock");
    EXPECT_EQ(PrintFailureReason({}, down),
              QStringLiteral("The print service (CUPS) is not running: nothing answers at "
                             "/run/cups/cups.sock."));
    EXPECT_EQ(PrintFailureReason(QStringLiteral("Lab"), down), PrintFailureReason({}, down));

    PrinterLookup up;
    up.serverAddress = QStringLiteral("/run/cups/cups.sock");
    EXPECT_EQ(PrintFailureReason({}, up), QStringLiteral("No default printer is set."));
    up.defaultPrinter = QStringLiteral("Office");
    EXPECT_EQ(PrintFailureReason({}, up),
              QStringLiteral("The default printer \"Office\" did not accept the job."));
    EXPECT_EQ(PrintFailureReason(QStringLiteral("Lab 2"), up),
              QStringLiteral("Printer \"Lab 2\" was not found."));
    up.printerExists = true;
    EXPECT_EQ(PrintFailureReason(QStringLiteral("Lab 2"), up),
              QStringLiteral("Printer \"Lab 2\" did not accept the job."));
}

// Sets environment variables for its lifetime (unset for a null value).
class ScopedEnvironment {
  public:
    ScopedEnvironment(std::initializer_list<std::pair<const char*, const char*>> values) {
        for (const auto& [name, value] : values) {
            saved_.emplace_back(name, qEnvironmentVariableIsSet(name), qgetenv(name));
            if (value != nullptr) {
                qputenv(name, value);
            } else {
                qunsetenv(name);
            }
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, set, value] : saved_) {
            if (set) {
                qputenv(name, value);
            } else {
                qunsetenv(name);
            }
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::vector<std::tuple<const char*, bool, QByteArray>> saved_;
};

// The address libcups gives on a thread of its own: it reads its folders
// and the home from the environment once per thread.
QString AddressOnAFreshThread() {
    QString address;
    std::thread([&address] { address = PrintServerAddress(); }).join();
    return address;
}

TEST(PrintService, ServerAddressIsTheOneThePrintSystemFinds) {
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    const QString serverRoot = dir.filePath(QStringLiteral("etc-cups"));
    ASSERT_TRUE(QDir().mkpath(home + QStringLiteral("/.cups")) && QDir().mkpath(serverRoot));
    const auto write = [](const QString& path, const char* serverName) {
        QFile file(path);
        file.remove();
        if (serverName != nullptr) {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("# written by the test\nServerName ") + serverName + '\n');
        }
    };
    struct Case {
        const char* cupsServer;  // the variable, or unset
        const char* userConf;    // ServerName in ~/.cups/client.conf, or no file
        const char* systemConf;  // ServerName in $CUPS_SERVERROOT/client.conf, or no file
        const char* expected;
    };
    const Case cases[] = {
        {"/tmp/private/cups.sock", "user-host", "system-host", "/tmp/private/cups.sock"},
        {nullptr, "user-host:8631", "system-host", "user-host:8631"},
        {nullptr, nullptr, "/tmp/system/cups.sock", "/tmp/system/cups.sock"},
        {nullptr, nullptr, "system-host", "system-host:631"},
        {nullptr, nullptr, "system-host:8631/version=1.1", "system-host:8631"},
        {nullptr, nullptr, "[::1]:8631", "[::1]:8631"},
        {"printer.example:9631", nullptr, nullptr, "printer.example:9631"},
    };
    for (const Case& c : cases) {
        write(home + QStringLiteral("/.cups/client.conf"), c.userConf);
        write(serverRoot + QStringLiteral("/client.conf"), c.systemConf);
        const ScopedEnvironment environment{
            {"CUPS_SERVER", c.cupsServer},
            {"HOME", QFile::encodeName(home).constData()},
            {"CUPS_SERVERROOT", QFile::encodeName(serverRoot).constData()}};
        EXPECT_EQ(AddressOnAFreshThread(), QString::fromLatin1(c.expected))
            << (c.cupsServer ? c.cupsServer : "-") << " " << (c.userConf ? c.userConf : "-") << " "
            << (c.systemConf ? c.systemConf : "-");
    }
}

TEST(PrintService, ServerAddressFollowsTheEnvironmentAndAnswersOnlyWhenListening) {
    QTemporaryDir dir;
    const QString socket = dir.filePath(QStringLiteral("cups.sock"));
    const QByteArray saved = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", socket.toUtf8());
    EXPECT_EQ(PrintServerAddress(), socket);
    EXPECT_FALSE(PrintServerAnswers(socket));
    const QString text = CouldNotStartPrintJobText(QStringLiteral("Lab"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("Could not start print job.\n")))
        << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("not running"))) << qPrintable(text);

    QLocalServer server;
    ASSERT_TRUE(server.listen(socket)) << qPrintable(server.errorString());
    EXPECT_TRUE(PrintServerAnswers(socket));
    server.close();
    // Nothing listens on a closed port of this machine.
    EXPECT_FALSE(PrintServerAnswers(QStringLiteral("127.0.0.1:1")));
    // An IPv6 server with its port, where the machine has the loopback.
    QTcpServer network;
    if (network.listen(QHostAddress::LocalHostIPv6)) {
        const QString v6 = QStringLiteral("[::1]:%1").arg(network.serverPort());
        EXPECT_TRUE(PrintServerAnswers(v6)) << qPrintable(v6);
        network.close();
        EXPECT_FALSE(PrintServerAnswers(v6)) << qPrintable(v6);
    }
    if (saved.isNull()) {
        qunsetenv("CUPS_SERVER");
    } else {
        qputenv("CUPS_SERVER", saved);
    }
}

// --help and --version need no display: they print and end before any
// window system is chosen.
TEST(ProgramSwitches, HelpAndVersionPrintWithoutADisplay) {
    QProcessEnvironment bare;
    bare.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    for (const QString& option : {QStringLiteral("--version"), QStringLiteral("-V")}) {
        QProcess process;
        process.setProcessEnvironment(bare);
        process.start(QStringLiteral(ZX840_PROGRAM), {option});
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_EQ(process.readAllStandardOutput(), QByteArray("zx840 1.05\n"));
    }
    QProcess process;
    process.setProcessEnvironment(bare);
    process.start(QStringLiteral(ZX840_PROGRAM), {QStringLiteral("--help")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0);
    const QByteArray help = process.readAllStandardOutput();
    EXPECT_TRUE(help.startsWith("Usage: zx840")) << help.constData();
    EXPECT_TRUE(help.contains("-pt FILE")) << help.constData();
}

}  // namespace
}  // namespace zx840
