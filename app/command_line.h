// The program's command line.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "view/operator_report.h"

namespace zx840 {

struct CommandLine {
    enum class Action {
        NewTest,     // nothing named: a new, empty test
        Open,        // a test file named
        Print,       // -p FILE: print it on the default printer, then end
        PrintTo,     // -pt FILE PRINTER DRIVER PORT: print it on that printer, then end
        Dde,         // -dde: start no document and no window
        Unregister,  // -Unregister / -Unregserver: remove the desktop registration, then end
    };
    Action action = Action::NewTest;
    QString file;
    QString printer;
    QString driver;
    QString port;
    bool embedding = false;  // -Embedding: no report after unregistering
    bool automation = false;
    // How the window first appears: -iconic or --minimized, --maximized.
    enum class Show { Normal, Minimized, Maximized };
    Show show = Show::Normal;
    // What makes the line unusable ("-p" without a file to print); empty
    // when nothing does. The program says it and ends with status 1.
    QString mistake;
};

// Reads `arguments` (without the program name). A switch begins with "-"
// or "/"; since Linux paths begin with "/", an argument beginning with "/"
// is a switch only when it names a known switch and no existing path
// (`exists` tells). "pt", "p" and "dde" match in their case only;
// "Unregister", "Unregserver", "Embedding" and "Automation" in any case.
// Unknown switches are ignored. The first other argument is the file; after
// "pt" the next three are printer, driver and port.
CommandLine ParseCommandLine(const QStringList& arguments,
                             const std::function<bool(const QString&)>& exists);

// Whether the line asks for the window: a new test or a file to open.
bool OpensWindow(const CommandLine& line);

// Whether an operator sits at a screen, decided here alone: the window
// always has one; printing and unregistering have one unless they draw
// offscreen (the program chooses that where there is no display), when
// nobody could close a message box.
Screen ScreenFor(const CommandLine& line);

}  // namespace zx840
