#include "app/desktop_registration.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include "record/file_io.h"

namespace zx840 {
namespace {

// How long a database refresh may take before it is given up.
constexpr int kRefreshTimeoutMs = 30000;

// Characters that make an Exec argument need quotes, per the desktop-entry rules.
constexpr char kExecReserved[] = " \t\n\"'\\><~|&;$*?#()`";

// The registered files, relative to the data home.
constexpr char kMimePackage[] = "mime/packages/zx840.xml";
constexpr char kDocumentIcon[] = "icons/hicolor/48x48/mimetypes/application-x-zx840-document.png";
constexpr char kAppIcon[] = "icons/hicolor/48x48/apps/zx840.png";
constexpr char kDesktopEntry[] = "applications/zx840.desktop";
// Hidden from menus; file managers offer it for test files. Its name sorts
// after the program's entry, so opening stays the default for a test file.
constexpr char kPrintEntry[] = "applications/zx840.print.desktop";

// The database each refresh command writes, relative to the data home.
constexpr char kMimeDir[] = "mime";
constexpr char kMimeCache[] = "mime/mime.cache";
constexpr char kApplicationsDir[] = "applications";
constexpr char kDesktopCache[] = "applications/mimeinfo.cache";

QString PathIn(const DesktopPaths& paths, const char* relative) {
    return QDir(paths.dataHome).filePath(QString::fromLatin1(relative));
}

void AddError(RegistrationResult& result, const QString& message) {
    result.ok = false;
    if (!result.error.isEmpty()) {
        result.error += QLatin1Char('\n');
    }
    result.error += message;
}

// A file type of the program, with the globs it claims when they are free.
struct RegisteredType {
    const char* name;
    const char* comment;
    const char* parent;       // the type it is a kind of, or nullptr
    const char* genericIcon;  // when it has no icon of its own, or nullptr
    const char* globs;        // separated by blanks
};

constexpr RegisteredType kRegisteredTypes[] = {
    {kDocumentMimeType, "ZX840 Document", nullptr, nullptr, "*.ZX8 *.zx8"},
    {kPlanMimeType, "ZX840 Test Plan", "application/json", "text-x-script", "*.zx8plan"},
};

QStringList GlobsOf(const RegisteredType& type) {
    return QString::fromLatin1(type.globs).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// True when no MIME type but `type` (or none at all) claims its globs, in
// the case they are written. Only types with a matching glob are listed, so
// application/octet-stream never shows up here.
bool GlobsAreFree(const RegisteredType& type) {
    const QMimeDatabase database;
    for (const QString& glob : GlobsOf(type)) {
        for (const QMimeType& other :
             database.mimeTypesForFileName(QLatin1Char('x') + glob.mid(1))) {
            if (other.name() != QLatin1String(type.name)) {
                return false;
            }
        }
    }
    return true;
}

// The MIME package: each type with its comment, parent and icon, and its
// globs where no other type claims them.
QByteArray MimePackage() {
    QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n");
    for (const RegisteredType& type : kRegisteredTypes) {
        xml += QStringLiteral("  <mime-type type=\"%1\">\n    <comment>%2</comment>\n")
                   .arg(QLatin1String(type.name), QLatin1String(type.comment));
        if (type.parent != nullptr) {
            xml +=
                QStringLiteral("    <sub-class-of type=\"%1\"/>\n").arg(QLatin1String(type.parent));
        }
        if (type.genericIcon != nullptr) {
            xml += QStringLiteral("    <generic-icon name=\"%1\"/>\n")
                       .arg(QLatin1String(type.genericIcon));
        }
        if (GlobsAreFree(type)) {
            for (const QString& glob : GlobsOf(type)) {
                xml += QStringLiteral("    <glob pattern=\"%1\"/>\n").arg(glob);
            }
        }
        xml += QStringLiteral("  </mime-type>\n");
    }
    xml += QStringLiteral("</mime-info>\n");
    return xml.toUtf8();
}

QByteArray DesktopEntry(const QString& executable) {
    const QString program = DesktopExecArgument(executable);
    QString entry = QStringLiteral(
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Version=1.4\n"
        "Name=ZX840 DIGITAL POWER METER\n"
        "Comment=Measure, view and print with the ZX840 digital power meter\n");
    entry += QStringLiteral("Exec=%1 %f\n").arg(program);
    entry += QStringLiteral(
                 "Icon=zx840\n"
                 "Terminal=false\n"
                 "Categories=Science;Electronics;\n"
                 "MimeType=%1;\n"
                 "X-ZX840-TypeId=%2\n")
                 .arg(QLatin1String(kDocumentMimeType), QLatin1String(kDocumentTypeId));
    return entry.toUtf8();
}

// Printing is offered for a test file only: an action of the program's entry
// would also show in the launcher's menu, where there is no file to print.
QByteArray PrintEntry(const QString& executable) {
    QString entry = QStringLiteral(
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Version=1.4\n"
        "Name=Print with ZX840\n"
        "Comment=Print the test report on the default printer\n");
    entry += QStringLiteral("Exec=%1 -p %f\n").arg(DesktopExecArgument(executable));
    entry += QStringLiteral(
                 "Icon=zx840\n"
                 "Terminal=false\n"
                 "NoDisplay=true\n"
                 "MimeType=%1;\n")
                 .arg(QLatin1String(kDocumentMimeType));
    return entry.toUtf8();
}

// Writes `contents` to `path` unless the file already holds exactly that;
// the new file replaces the old one in a single rename. Returns whether it
// wrote.
bool WriteIfDifferent(const QString& path, const QByteArray& contents, RegistrationResult& result) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly)) {
        if (existing.size() == contents.size() && existing.readAll() == contents) {
            return false;
        }
        existing.close();
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        AddError(result, QStringLiteral("Cannot create the folder of %1").arg(path));
        return false;
    }
    if (const FileStatus status = WriteFileAtomically(
            path.toStdString(),
            std::string_view(contents.constData(), static_cast<std::size_t>(contents.size())));
        !status) {
        AddError(result, QStringLiteral("Cannot write %1: %2")
                             .arg(path, QString::fromStdString(status.Describe())));
        return false;
    }
    result.changed = true;
    return true;
}

// True when `source` exists and the database built from it is missing or
// older, for instance because an earlier refresh failed.
bool DatabaseIsStale(const QString& source, const QString& database) {
    const QFileInfo sourceInfo(source);
    const QFileInfo databaseInfo(database);
    return sourceInfo.exists() &&
           (!databaseInfo.exists() || databaseInfo.lastModified() < sourceInfo.lastModified());
}

// Runs a database refresh command on `directory`; a command that is not
// installed is skipped, since then nothing reads its database either.
void Refresh(const char* command, const QString& directory, RegistrationResult& result) {
    const QString program = QStandardPaths::findExecutable(QString::fromLatin1(command));
    if (program.isEmpty() || !QFileInfo(directory).isDir()) {
        return;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // The refresh dies with this program: left running, an orphan would
    // race the next start's refresh of the same folder.
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);  // the parent died before the line above
        }
    });
    process.start(program, {directory});
    if (!process.waitForStarted(kRefreshTimeoutMs)) {
        AddError(result, QStringLiteral("Cannot run %1: %2").arg(program, process.errorString()));
        return;
    }
    if (!process.waitForFinished(kRefreshTimeoutMs)) {
        process.kill();
        process.waitForFinished(kRefreshTimeoutMs);
        AddError(result, QStringLiteral("%1 did not finish").arg(program));
        return;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        AddError(result,
                 QStringLiteral("%1 %2 failed: %3")
                     .arg(program, directory, QString::fromLocal8Bit(process.readAll()).trimmed()));
    }
}

// Removes `path` if it is there (a dangling link counts as there).
bool RemoveIfPresent(const QString& path, RegistrationResult& result) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return false;
    }
    QFile file(path);
    if (!file.remove()) {
        AddError(result, QStringLiteral("Cannot remove %1: %2").arg(path, file.errorString()));
        return false;
    }
    result.changed = true;
    return true;
}

}  // namespace

DesktopPaths DefaultDesktopPaths() {
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (!dataHome.isEmpty() && QDir::isAbsolutePath(dataHome)) {
        return {dataHome};
    }
    return {QDir::homePath() + QStringLiteral("/.local/share")};
}

bool InstalledSystemWide(const QString& executable) {
    const QDir prefix(QFileInfo(executable).absolutePath() + QStringLiteral("/.."));
    return QFileInfo::exists(prefix.filePath(
        QStringLiteral("share/applications/%1").arg(QLatin1String(kInstalledDesktopEntry))));
}

QString DesktopExecArgument(const QString& argument) {
    bool needsQuotes = argument.isEmpty();
    for (const QChar c : argument) {
        needsQuotes = needsQuotes || QLatin1String(kExecReserved).contains(c);
    }
    QString quoted;
    if (needsQuotes) {
        // Inside double quotes only these four characters need a backslash.
        quoted += QLatin1Char('"');
        for (const QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\')) {
                quoted += QLatin1Char('\\');
            }
            quoted += c;
        }
        quoted += QLatin1Char('"');
    } else {
        quoted = argument;
    }
    // "%" starts a field code, so a literal one is doubled.
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    // The key's value is a string, which has escapes of its own.
    QString escaped;
    for (const QChar c : quoted) {
        switch (c.unicode()) {
            case '\\':
                escaped += QStringLiteral("\\\\");
                break;
            case '\n':
                escaped += QStringLiteral("\\n");
                break;
            case '\t':
                escaped += QStringLiteral("\\t");
                break;
            case '\r':
                escaped += QStringLiteral("\\r");
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

RegistrationResult RegisterDesktopIntegration(const DesktopPaths& paths, const QString& executable,
                                              const QByteArray& appIcon,
                                              const QByteArray& documentIcon) {
    RegistrationResult result;
    if (paths.dataHome.isEmpty() || executable.isEmpty()) {
        AddError(result, QStringLiteral("No data folder or no program to register"));
        return result;
    }
    const QString mimePackage = PathIn(paths, kMimePackage);
    const QString desktopEntry = PathIn(paths, kDesktopEntry);
    const QString printEntry = PathIn(paths, kPrintEntry);
    const QString program = QFileInfo(executable).absoluteFilePath();
    WriteIfDifferent(PathIn(paths, kDocumentIcon), documentIcon, result);
    WriteIfDifferent(PathIn(paths, kAppIcon), appIcon, result);
    const bool mimeWritten = WriteIfDifferent(mimePackage, MimePackage(), result);
    const bool entryWritten = WriteIfDifferent(desktopEntry, DesktopEntry(program), result);
    const bool printWritten = WriteIfDifferent(printEntry, PrintEntry(program), result);

    if (mimeWritten || DatabaseIsStale(mimePackage, PathIn(paths, kMimeCache))) {
        Refresh("update-mime-database", PathIn(paths, kMimeDir), result);
    }
    const QString desktopCache = PathIn(paths, kDesktopCache);
    if (entryWritten || printWritten || DatabaseIsStale(desktopEntry, desktopCache) ||
        DatabaseIsStale(printEntry, desktopCache)) {
        Refresh("update-desktop-database", PathIn(paths, kApplicationsDir), result);
    }
    return result;
}

RegistrationResult UnregisterDesktopIntegration(const DesktopPaths& paths) {
    RegistrationResult result;
    if (paths.dataHome.isEmpty()) {
        AddError(result, QStringLiteral("No data folder"));
        return result;
    }
    RemoveIfPresent(PathIn(paths, kDocumentIcon), result);
    RemoveIfPresent(PathIn(paths, kAppIcon), result);
    const bool packageRemoved = RemoveIfPresent(PathIn(paths, kMimePackage), result);
    const bool entryRemoved = RemoveIfPresent(PathIn(paths, kDesktopEntry), result);
    const bool printRemoved = RemoveIfPresent(PathIn(paths, kPrintEntry), result);
    // Every file is gone by now; a database that could not be rebuilt only
    // lists the type a little longer, so it is a warning, not a failure.
    RegistrationResult refresh;
    if (packageRemoved) {
        Refresh("update-mime-database", PathIn(paths, kMimeDir), refresh);
    }
    if (entryRemoved || printRemoved) {
        Refresh("update-desktop-database", PathIn(paths, kApplicationsDir), refresh);
    }
    result.warning = refresh.error;
    return result;
}

}  // namespace zx840
