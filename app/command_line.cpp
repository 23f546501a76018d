#include "app/command_line.h"

#include <QGuiApplication>
#include <optional>

namespace zx840 {
namespace {

enum class Switch { None, PrintTo, Print, Dde, Unregister, Embedding, Automation };

Switch Recognise(const QString& name) {
    if (name == QLatin1String("pt")) {
        return Switch::PrintTo;
    }
    if (name == QLatin1String("p")) {
        return Switch::Print;
    }
    if (name == QLatin1String("dde")) {
        return Switch::Dde;
    }
    const auto is = [&name](const char* word) {
        return name.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    };
    if (is("Unregister") || is("Unregserver")) {
        return Switch::Unregister;
    }
    if (is("Embedding")) {
        return Switch::Embedding;
    }
    if (is("Automation")) {
        return Switch::Automation;
    }
    return Switch::None;
}

// The window's first state a dash switch asks for, as desktops and X
// toolkits ask for it; nothing for any other switch.
std::optional<CommandLine::Show> ShowSwitch(const QString& argument) {
    const QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    if (name.compare(QLatin1String("iconic"), Qt::CaseInsensitive) == 0 ||
        name.compare(QLatin1String("minimized"), Qt::CaseInsensitive) == 0) {
        return CommandLine::Show::Minimized;
    }
    if (name.compare(QLatin1String("maximized"), Qt::CaseInsensitive) == 0) {
        return CommandLine::Show::Maximized;
    }
    return std::nullopt;
}

// What a known switch sets; once -pt came (`printTo`), -p changes nothing.
void TakeSwitch(Switch kind, bool printTo, CommandLine& line) {
    switch (kind) {
        case Switch::PrintTo:
            line.action = CommandLine::Action::PrintTo;
            break;
        case Switch::Print:
            if (!printTo) {
                line.action = CommandLine::Action::Print;
            }
            break;
        case Switch::Dde:
            line.action = CommandLine::Action::Dde;
            break;
        case Switch::Unregister:
            line.action = CommandLine::Action::Unregister;
            break;
        case Switch::Embedding:
            line.embedding = true;
            break;
        case Switch::Automation:
            line.automation = true;
            break;
        case Switch::None:
            break;
    }
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments,
                             const std::function<bool(const QString&)>& exists) {
    CommandLine line;
    bool printTo = false;
    QStringList plain;
    for (const QString& argument : arguments) {
        const bool dash = argument.startsWith(QLatin1Char('-'));
        const bool slash = argument.startsWith(QLatin1Char('/'));
        if (!dash && !slash) {
            plain << argument;
            continue;
        }
        const Switch kind = Recognise(argument.mid(1));
        if (slash && (kind == Switch::None || exists(argument))) {
            plain << argument;  // a path, not a switch
            continue;
        }
        if (kind == Switch::None) {
            // Other unknown switches are ignored.
            line.show = ShowSwitch(argument).value_or(line.show);
            continue;
        }
        printTo = printTo || kind == Switch::PrintTo;
        TakeSwitch(kind, printTo, line);
    }
    if (!plain.isEmpty()) {
        line.file = plain.at(0);
        if (line.action == CommandLine::Action::NewTest) {
            line.action = CommandLine::Action::Open;
        }
    }
    if ((line.action == CommandLine::Action::Print || printTo) && line.file.isEmpty()) {
        line.mistake = printTo ? QStringLiteral(
                                     "-pt needs a test file to print: zx840 -pt "
                                     "FILE.ZX8 PRINTER [DRIVER PORT]")
                               : QStringLiteral("-p needs a test file to print: zx840 -p FILE.ZX8");
    }
    if (printTo) {
        line.printer = plain.value(1);
        line.driver = plain.value(2);
        line.port = plain.value(3);
    }
    return line;
}

bool OpensWindow(const CommandLine& line) {
    return line.action == CommandLine::Action::NewTest || line.action == CommandLine::Action::Open;
}

Screen ScreenFor(const CommandLine& line) {
    if (OpensWindow(line) || QGuiApplication::platformName() != QLatin1String("offscreen")) {
        return Screen::Present;
    }
    return Screen::None;
}

}  // namespace zx840
