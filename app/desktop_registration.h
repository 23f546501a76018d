// Per-user registration of the program and its test-file type with the
// Linux desktop (freedesktop shared-mime-info, icon theme and desktop entry).
#pragma once

#include <QByteArray>
#include <QString>

namespace zx840 {

// The MIME type of test files and the type identifier kept in the desktop entry.
inline constexpr char kDocumentMimeType[] = "application/x-zx840-document";
inline constexpr char kDocumentTypeId[] = "ZX840.Document";
// The MIME type of test plans (*.zx8plan), a kind of JSON.
inline constexpr char kPlanMimeType[] = "application/x-zx840-plan";

// Messages the program shows after unregistering, fully or partly.
inline constexpr char kUnregisterDone[] =
    "System registry entries have been removed and the INI file (if any) was deleted.";
inline constexpr char kUnregisterPartial[] =
    "Not all of the system registry entries (or INI file) were removed.";

// The desktop entry that an installed program brings, by its reverse-DNS id.
inline constexpr char kInstalledDesktopEntry[] = "com.orvalisto.zx840.desktop";

// True when `executable` runs from an install prefix that holds the
// system-wide desktop entry (PREFIX/bin/zx840 and
// PREFIX/share/applications/com.orvalisto.zx840.desktop): the package then
// registers the program and its file type, and the per-user registration
// steps aside.
bool InstalledSystemWide(const QString& executable);

struct DesktopPaths {
    QString dataHome;  // $XDG_DATA_HOME, or ~/.local/share
};

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share.
DesktopPaths DefaultDesktopPaths();

struct RegistrationResult {
    bool changed = false;  // a file was written or removed
    bool ok = true;
    QString error;    // what went wrong, one line per fault
    QString warning;  // what went wrong without making the result fail
};

// Writes, below paths.dataHome, the MIME package mime/packages/zx840.xml
// (test files and test plans), the document and program icons (48x48
// hicolor), the desktop entry applications/zx840.desktop that opens files
// with `executable`, and the hidden entry applications/zx840.print.desktop
// ("Print with ZX840") that file managers offer for test files only. Only
// files whose contents differ are written, each atomically. The globs *.ZX8
// and *.zx8, and *.zx8plan, are claimed only when no other MIME type owns
// the extension. The MIME and desktop databases are refreshed when their
// sources changed or are newer than the databases, and only when the refresh
// commands are installed.
RegistrationResult RegisterDesktopIntegration(const DesktopPaths& paths, const QString& executable,
                                              const QByteArray& appIcon,
                                              const QByteArray& documentIcon);

// Removes the files RegisterDesktopIntegration writes and refreshes the
// databases. ok is false when a file could not be removed; a refresh that
// fails afterwards is only a warning.
RegistrationResult UnregisterDesktopIntegration(const DesktopPaths& paths);

// One argument of a desktop entry's Exec key: quoted when it holds a reserved
// character, with "%" doubled and the value escaped as a desktop-entry string.
QString DesktopExecArgument(const QString& argument);

}  // namespace zx840
