#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <iostream>
#include <map>

#include "app/desktop_registration.h"

// Shows strings as text in failure messages.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace zx840 {
namespace {

// A test process re-runs itself to ask a fresh QMimeDatabase, since the one
// of a running process rereads the databases only every few seconds. These
// variables tell the child what to do.
constexpr char kChildMode[] = "ZX840_DESKTOP_TEST_CHILD";
constexpr char kChildArgument[] = "ZX840_DESKTOP_TEST_ARGUMENT";
constexpr char kChildAnswer[] = "ZX840-CHILD=";

constexpr char kEntry[] = "applications/zx840.desktop";
constexpr char kPrintEntry[] = "applications/zx840.print.desktop";
constexpr char kPackage[] = "mime/packages/zx840.xml";
constexpr char kAppIcon[] = "icons/hicolor/48x48/apps/zx840.png";
constexpr char kDocIcon[] = "icons/hicolor/48x48/mimetypes/application-x-zx840-document.png";
constexpr char kMimeCache[] = "mime/mime.cache";
constexpr char kDesktopCache[] = "applications/mimeinfo.cache";

const QByteArray kAppBytes("app icon bytes");
const QByteArray kDocBytes("document icon bytes");

struct ToolRun {
    int exitCode = -1;
    QString output;
};

ToolRun RunTool(const QString& program, const QStringList& arguments,
                const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return {-1, QStringLiteral("%1 did not finish").arg(program)};
    }
    return {process.exitCode(), QString::fromLocal8Bit(process.readAll())};
}

// What the child process printed after kChildAnswer.
QString RunChild(const QString& mode, const QString& argument) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kChildMode), mode);
    environment.insert(QString::fromLatin1(kChildArgument), argument);
    const ToolRun run =
        RunTool(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=DesktopRegistrationChild.*")}, environment);
    for (const QString& line : run.output.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String(kChildAnswer))) {
            return line.mid(int(sizeof kChildAnswer) - 1);
        }
    }
    return QStringLiteral("no answer: ") + run.output;
}

// Inode and modification time: a rewrite by rename changes the inode.
struct Stamp {
    ino_t inode = 0;
    long long nanoseconds = 0;
    bool operator==(const Stamp&) const = default;
};

Stamp StampOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return {};
    }
    return {info.st_ino, info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec};
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// Runs every test under a temporary HOME and XDG_DATA_HOME, keeping the
// system's data folders so the shared MIME database is still found.
class DesktopRegistration : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_DATA_DIRS"}) {
            saved_[name] = {qEnvironmentVariableIsSet(name), qgetenv(name)};
        }
        dataHome_ = home_.filePath(QStringLiteral("data"));
        qputenv("HOME", QFile::encodeName(home_.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome_));
        if (qEnvironmentVariableIsEmpty("XDG_DATA_DIRS")) {
            qputenv("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
        }
        paths_ = DefaultDesktopPaths();
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value.first) {
                qputenv(name, value.second);
            } else {
                qunsetenv(name);
            }
        }
    }

    QString Data(const char* relative) const {
        return QDir(dataHome_).filePath(QString::fromLatin1(relative));
    }
    RegistrationResult Register(const QString& executable = QStringLiteral("/opt/zx840/zx840")) {
        return RegisterDesktopIntegration(paths_, executable, kAppBytes, kDocBytes);
    }
    // The type a fresh process gives a test file: "name|comment|icon|JSON"
    // (or "-" for a type that is no kind of JSON).
    QString TypeOfTestFile(const QString& name = QStringLiteral("t.ZX8")) {
        const QString file = home_.filePath(name);
        WriteFile(file, QByteArray("\x01\x02ZX840\x00\xff", 9));
        return RunChild(QStringLiteral("mime"), file);
    }
    QString TypeOfPlanFile() {
        const QString file = home_.filePath(QStringLiteral("PSU-12.zx8plan"));
        WriteFile(file, R"({"Type": "PSU-12", "Power": {"max": 66}})");
        return RunChild(QStringLiteral("mime"), file);
    }
    static void RequireTool(const char* name) {
        ASSERT_FALSE(QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty())
            << name << " is missing; run scripts/install-deps.sh";
    }

    QTemporaryDir home_;
    QString dataHome_;
    DesktopPaths paths_;
    std::map<const char*, std::pair<bool, QByteArray>> saved_;
};

// Not a test of its own: the body of the child process RunChild starts.
TEST(DesktopRegistrationChild, AnswersTheParentTest) {
    const QString mode = qEnvironmentVariable(kChildMode);
    if (mode.isEmpty()) {
        GTEST_SKIP() << "runs only as the child process of the other tests";
    }
    const QString argument = qEnvironmentVariable(kChildArgument);
    QString answer;
    if (mode == QLatin1String("mime")) {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(argument);
        answer = QStringList{type.name(), type.comment(), type.iconName(),
                             type.inherits(QStringLiteral("application/json")) ? "JSON" : "-"}
                     .join(QLatin1Char('|'));
    } else if (mode == QLatin1String("register")) {
        const RegistrationResult result =
            RegisterDesktopIntegration(DefaultDesktopPaths(), argument, kAppBytes, kDocBytes);
        answer = QStringLiteral("%1|%2").arg(result.ok ? "ok" : "failed", result.error);
    }
    std::cout << kChildAnswer << answer.toStdString() << std::endl;
}

// The program in PREFIX/bin steps aside from the per-user registration
// exactly when PREFIX/share/applications holds the installed desktop entry.
TEST(DesktopInstalled, RecognisedByTheDesktopEntryNextToTheProgram) {
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    const QString program = prefix.filePath(QStringLiteral("bin/zx840"));
    EXPECT_FALSE(InstalledSystemWide(program));
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("share/applications")));
    QFile other(prefix.filePath(QStringLiteral("share/applications/zx840.desktop")));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    EXPECT_FALSE(InstalledSystemWide(program));
    QFile entry(prefix.filePath(QStringLiteral("share/applications/com.orvalisto.zx840.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.close();
    EXPECT_TRUE(InstalledSystemWide(program));
    // A build folder next to it is not the install prefix.
    EXPECT_FALSE(InstalledSystemWide(prefix.filePath(QStringLiteral("build/app/zx840"))));
}

TEST(DesktopExecQuoting, ReservedCharactersPercentAndStringEscapes) {
    // Plain paths stay as they are; "%" is doubled even without quotes.
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/usr/bin/zx840")), "/usr/bin/zx840");
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/opt/100%/zx840")), "/opt/100%%/zx840");
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/opt/Zähler=1/zx840")), "/opt/Zähler=1/zx840");
    // Reserved characters need the double quotes.
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/opt/My Apps/zx840")), "\"/opt/My Apps/zx840\"");
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/opt/it's;(1)/zx840")),
              "\"/opt/it's;(1)/zx840\"");
    EXPECT_EQ(DesktopExecArgument(QString()), "\"\"");
    // Inside the quotes " ` $ \ get a backslash, and each backslash is then
    // doubled again by the string escaping of the value.
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/opt/a$b/zx840")), "\"/opt/a\\\\$b/zx840\"");
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/opt/x\"y`z")), "\"/opt/x\\\\\"y\\\\`z\"");
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/opt/a\\b")), "\"/opt/a\\\\\\\\b\"");
    // Control characters become string escapes inside the quotes.
    EXPECT_EQ(DesktopExecArgument(QStringLiteral("/opt/a\tb\nc")), "\"/opt/a\\tb\\nc\"");
}

TEST_F(DesktopRegistration, DataHomeFollowsXdgOrFallsBackToHome) {
    EXPECT_EQ(paths_.dataHome, dataHome_);
    const QString fallback = home_.path() + QStringLiteral("/.local/share");
    qputenv("XDG_DATA_HOME", "relative/data");  // relative paths are to be ignored
    EXPECT_EQ(DefaultDesktopPaths().dataHome, fallback);
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(DefaultDesktopPaths().dataHome, fallback);
}

TEST_F(DesktopRegistration, WritesValidFilesAndRefreshesTheDatabases) {
    RequireTool("desktop-file-validate");
    RequireTool("update-desktop-database");
    const QString program = home_.filePath(QStringLiteral("My Meter $1/zx840"));
    const RegistrationResult result = Register(program);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_TRUE(result.changed);

    EXPECT_EQ(Contents(Data(kAppIcon)), kAppBytes);
    EXPECT_EQ(Contents(Data(kDocIcon)), kDocBytes);
    const QString package = QString::fromUtf8(Contents(Data(kPackage)));
    EXPECT_TRUE(
        package.contains(QLatin1String("<mime-type type=\"application/x-zx840-document\">")));
    EXPECT_TRUE(package.contains(QLatin1String("<comment>ZX840 Document</comment>")));
    EXPECT_TRUE(package.contains(QLatin1String("<glob pattern=\"*.ZX8\"/>")));
    EXPECT_TRUE(package.contains(QLatin1String("<glob pattern=\"*.zx8\"/>")));

    const QStringList lines = QString::fromUtf8(Contents(Data(kEntry))).split(QLatin1Char('\n'));
    const QString exec = DesktopExecArgument(program);
    EXPECT_TRUE(exec.startsWith(QLatin1Char('"')));
    for (const QString& expected :
         {QStringLiteral("[Desktop Entry]"), QStringLiteral("Type=Application"),
          QStringLiteral("Name=ZX840 DIGITAL POWER METER"), QStringLiteral("Exec=") + exec + " %f",
          QStringLiteral("Icon=zx840"), QStringLiteral("Terminal=false"),
          QStringLiteral("Categories=Science;Electronics;"),
          QStringLiteral("MimeType=application/x-zx840-document;"),
          QStringLiteral("X-ZX840-TypeId=ZX840.Document")}) {
        EXPECT_TRUE(lines.contains(expected)) << expected.toStdString();
    }
    // No action: the launcher's menu would offer it without a file to print.
    EXPECT_FALSE(Contents(Data(kEntry)).contains("Action"));
    // Printing is a hidden entry that only a test file brings up.
    const QStringList print =
        QString::fromUtf8(Contents(Data(kPrintEntry))).split(QLatin1Char('\n'));
    for (const QString& expected :
         {QStringLiteral("[Desktop Entry]"), QStringLiteral("Type=Application"),
          QStringLiteral("Name=Print with ZX840"), QStringLiteral("Exec=") + exec + " -p %f",
          QStringLiteral("NoDisplay=true"),
          QStringLiteral("MimeType=application/x-zx840-document;")}) {
        EXPECT_TRUE(print.contains(expected)) << expected.toStdString();
    }
    for (const char* entry : {kEntry, kPrintEntry}) {
        const ToolRun validate = RunTool(QStringLiteral("desktop-file-validate"), {Data(entry)});
        EXPECT_EQ(validate.exitCode, 0) << entry;
        EXPECT_EQ(validate.output.trimmed(), QString()) << validate.output.toStdString();
    }

    EXPECT_TRUE(QFile::exists(Data(kMimeCache)));
    // The program's entry comes first, so opening a test file stays the default.
    EXPECT_TRUE(QString::fromUtf8(Contents(Data(kDesktopCache)))
                    .split(QLatin1Char('\n'))
                    .contains(QLatin1String(
                        "application/x-zx840-document=zx840.desktop;zx840.print.desktop;")))
        << Contents(Data(kDesktopCache)).toStdString();
}

TEST_F(DesktopRegistration, FreshProcessKnowsTheTypeUntilUnregistered) {
    RequireTool("update-mime-database");
    const QString ours = QStringLiteral(
        "application/x-zx840-document|ZX840 Document|application-x-zx840-document|-");
    const QString plan =
        QStringLiteral("application/x-zx840-plan|ZX840 Test Plan|application-x-zx840-plan|JSON");
    ASSERT_NE(TypeOfTestFile().section(QLatin1Char('|'), 0, 0), "application/x-zx840-document");
    ASSERT_NE(TypeOfPlanFile().section(QLatin1Char('|'), 0, 0), "application/x-zx840-plan");
    ASSERT_TRUE(Register().ok);
    EXPECT_EQ(TypeOfTestFile(), ours);
    EXPECT_EQ(TypeOfTestFile(QStringLiteral("lower.zx8")), ours);
    // A test plan is a kind of JSON, which editors then open.
    EXPECT_EQ(TypeOfPlanFile(), plan);

    const RegistrationResult result = UnregisterDesktopIntegration(paths_);
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_TRUE(result.changed);
    for (const char* file : {kEntry, kPrintEntry, kPackage, kAppIcon, kDocIcon}) {
        EXPECT_FALSE(QFileInfo::exists(Data(file))) << file;
    }
    EXPECT_FALSE(Contents(Data(kDesktopCache)).contains("zx840"));
    EXPECT_NE(TypeOfTestFile().section(QLatin1Char('|'), 0, 0), "application/x-zx840-document");
    EXPECT_NE(TypeOfPlanFile().section(QLatin1Char('|'), 0, 0), "application/x-zx840-plan");

    // Nothing left to remove is no fault and no change.
    const RegistrationResult again = UnregisterDesktopIntegration(paths_);
    EXPECT_TRUE(again.ok);
    EXPECT_FALSE(again.changed);
}

TEST_F(DesktopRegistration, ExtensionOwnedByAnotherTypeIsLeftAlone) {
    RequireTool("update-mime-database");
    const auto install = [this](const QByteArray& globs) {
        WriteFile(Data("mime/packages/other.xml"),
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                  "  <mime-type type=\"application/x-other-zx8\">\n"
                  "    <comment>Other</comment>\n" +
                      globs + "  </mime-type>\n</mime-info>\n");
        return RunTool(QStringLiteral("update-mime-database"), {Data("mime")}).exitCode;
    };
    ASSERT_EQ(install("    <glob pattern=\"*.ZX8\"/>\n"), 0);
    EXPECT_EQ(RunChild(QStringLiteral("register"), QStringLiteral("/opt/zx840/zx840")), "ok|");
    QByteArray package = Contents(Data(kPackage));
    EXPECT_TRUE(package.contains("<comment>ZX840 Document</comment>"));
    EXPECT_FALSE(package.contains("<glob pattern=\"*.ZX8\"/>")) << package.toStdString();
    EXPECT_FALSE(package.contains("<glob pattern=\"*.zx8\"/>"));
    // The plans' extension is still free, and claimed.
    EXPECT_TRUE(package.contains("<glob pattern=\"*.zx8plan\"/>"));
    EXPECT_EQ(TypeOfTestFile().section(QLatin1Char('|'), 0, 0), "application/x-other-zx8");

    // Another type owning only the lower-case spelling also keeps ours off.
    ASSERT_EQ(install("    <glob pattern=\"*.zx8\" case-sensitive=\"true\"/>\n"), 0);
    EXPECT_EQ(RunChild(QStringLiteral("register"), QStringLiteral("/opt/zx840/zx840")), "ok|");
    package = Contents(Data(kPackage));
    EXPECT_FALSE(package.contains("<glob pattern=\"*.ZX8\"/>"));
    EXPECT_FALSE(package.contains("<glob pattern=\"*.zx8\"/>"));

    // Once the extension is free again, the next start claims it.
    ASSERT_EQ(install(""), 0);
    EXPECT_EQ(RunChild(QStringLiteral("register"), QStringLiteral("/opt/zx840/zx840")), "ok|");
    EXPECT_TRUE(Contents(Data(kPackage)).contains("<glob pattern=\"*.ZX8\"/>"));
    EXPECT_EQ(TypeOfTestFile().section(QLatin1Char('|'), 0, 0), "application/x-zx840-document");
}

TEST_F(DesktopRegistration, UnchangedRegistrationTouchesNoFile) {
    RequireTool("update-mime-database");
    RequireTool("update-desktop-database");
    ASSERT_TRUE(Register().ok);
    const auto stamps = [this] {
        std::map<const char*, Stamp> taken;
        for (const char* file :
             {kEntry, kPrintEntry, kPackage, kAppIcon, kDocIcon, kMimeCache, kDesktopCache}) {
            taken[file] = StampOf(Data(file));
            EXPECT_NE(taken[file].inode, 0u) << file;
        }
        return taken;
    };
    const std::map<const char*, Stamp> before = stamps();
    RegistrationResult result = Register();
    EXPECT_TRUE(result.ok);
    EXPECT_FALSE(result.changed);
    EXPECT_EQ(stamps(), before);

    // A moved program rewrites only the desktop entries and their database.
    result = Register(QStringLiteral("/usr/local/bin/zx840"));
    EXPECT_TRUE(result.ok && result.changed);
    std::map<const char*, Stamp> after = stamps();
    for (const char* file : {kPackage, kAppIcon, kDocIcon, kMimeCache}) {
        EXPECT_EQ(after[file], before.at(file)) << file;
    }
    EXPECT_NE(after[kEntry], before.at(kEntry));
    EXPECT_NE(after[kPrintEntry], before.at(kPrintEntry));
    EXPECT_NE(after[kDesktopCache], before.at(kDesktopCache));

    // A damaged icon is put right, and a lost database is rebuilt although
    // none of the registered files needs writing.
    ASSERT_TRUE(WriteFile(Data(kAppIcon), "damaged"));
    EXPECT_TRUE(Register(QStringLiteral("/usr/local/bin/zx840")).changed);
    EXPECT_EQ(Contents(Data(kAppIcon)), kAppBytes);
    ASSERT_TRUE(QFile::remove(Data(kMimeCache)));
    result = Register(QStringLiteral("/usr/local/bin/zx840"));
    EXPECT_TRUE(result.ok);
    EXPECT_FALSE(result.changed);
    EXPECT_TRUE(QFile::exists(Data(kMimeCache)));
}

TEST_F(DesktopRegistration, FilesInTheWayAreReportedAndTheRestIsDone) {
    // A plain file where the applications folder belongs stops only the entry.
    ASSERT_TRUE(WriteFile(Data("applications"), "not a folder"));
    RegistrationResult result = Register();
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QLatin1String("applications"))) << result.error.toStdString();
    EXPECT_TRUE(result.changed);
    EXPECT_EQ(Contents(Data(kAppIcon)), kAppBytes);
    EXPECT_TRUE(QFile::exists(Data(kPackage)));

    // A folder (with contents) in place of the entry cannot be removed.
    ASSERT_TRUE(QFile::remove(Data("applications")));
    ASSERT_TRUE(WriteFile(Data(kEntry) + QStringLiteral("/inside"), "x"));
    result = UnregisterDesktopIntegration(paths_);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QLatin1String("zx840.desktop")))
        << result.error.toStdString();
    for (const char* file : {kPackage, kAppIcon, kDocIcon}) {
        EXPECT_FALSE(QFileInfo::exists(Data(file))) << file;
    }
}

// Stand-ins for the two refresh commands, first on PATH while alive: each
// runs `body` (a shell script's text).
class FakeRefreshTools {
  public:
    explicit FakeRefreshTools(const QByteArray& body) : savedPath_(qgetenv("PATH")) {
        for (const char* name : {"update-mime-database", "update-desktop-database"}) {
            QFile tool(folder_.filePath(QString::fromLatin1(name)));
            tool.open(QIODevice::WriteOnly);
            tool.write("#!/bin/sh\n" + body + "\n");
            tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", QFile::encodeName(folder_.path()) + ':' + savedPath_);
    }
    ~FakeRefreshTools() { qputenv("PATH", savedPath_); }
    FakeRefreshTools(const FakeRefreshTools&) = delete;
    FakeRefreshTools& operator=(const FakeRefreshTools&) = delete;
    QString Path() const { return folder_.path(); }
    QString File(const char* name) const { return folder_.filePath(QString::fromLatin1(name)); }

  private:
    QTemporaryDir folder_;
    QByteArray savedPath_;
};

TEST_F(DesktopRegistration, UnregisteringIsCompleteWhenOnlyTheRefreshFails) {
    ASSERT_TRUE(Register().ok);
    const FakeRefreshTools failing("echo refresh broken >&2; exit 3");
    const RegistrationResult result = UnregisterDesktopIntegration(paths_);
    for (const char* file : {kEntry, kPrintEntry, kPackage, kAppIcon, kDocIcon}) {
        EXPECT_FALSE(QFileInfo::exists(Data(file))) << file;
    }
    // Every file is gone: that is a success, with the refresh as a warning.
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_TRUE(result.warning.contains(QLatin1String("refresh broken")))
        << result.warning.toStdString();
}

// True while process `pid` exists and is not a zombie.
bool Alive(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray fields = stat.readAll();
    const qsizetype end = fields.lastIndexOf(')');
    return end >= 0 && fields.mid(end + 2, 1) != "Z";
}

TEST_F(DesktopRegistration, ARefreshInProgressDiesWithTheProgram) {
    // The refresh writes its process id and then takes its time.
    const FakeRefreshTools slow("echo $$ > \"$0.pid\"; exec sleep 120");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kChildMode), QStringLiteral("register"));
    environment.insert(QString::fromLatin1(kChildArgument), QStringLiteral("/opt/zx840/zx840"));
    QProcess registering;
    registering.setProcessEnvironment(environment);
    registering.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--gtest_filter=DesktopRegistrationChild.*")});
    ASSERT_TRUE(registering.waitForStarted(10000));
    const QString pidFile = slow.File("update-mime-database") + QStringLiteral(".pid");
    QElapsedTimer waited;
    waited.start();
    while (Contents(pidFile).trimmed().isEmpty() && waited.elapsed() < 60000) {
        QThread::msleep(20);
    }
    const pid_t refresh = Contents(pidFile).trimmed().toInt();
    ASSERT_GT(refresh, 0);
    ASSERT_TRUE(Alive(refresh));
    registering.kill();
    registering.waitForFinished(10000);
    waited.restart();
    while (Alive(refresh) && waited.elapsed() < 60000) {
        QThread::msleep(20);
    }
    EXPECT_FALSE(Alive(refresh)) << "the refresh outlived the program that started it";
    if (Alive(refresh)) {
        ::kill(refresh, SIGKILL);
    }
}

}  // namespace
}  // namespace zx840
