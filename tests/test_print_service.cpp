#include <gtest/gtest.h>

#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>

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
