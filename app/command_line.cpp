#include "app/command_line.h"

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

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments,
                             const std::function<bool(const QString&)>& exists) {
    CommandLine line;
    bool printTo = false;
    QStringList plain;
    for (const QString& argument : arguments) {
        const bool dash = argument.startsWith(QLatin1Char('-'));
        const bool slash = argument.startsWith(QLatin1Char('/'));
        Switch kind = Switch::None;
        if (dash || slash) {
            kind = Recognise(argument.mid(1));
            if (slash && (kind == Switch::None || exists(argument))) {
                plain << argument;  // a path, not a switch
                continue;
            }
            if (dash && kind == Switch::None) {
                // The window's first state, as desktops and X toolkits ask for it.
                const QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
                if (name.compare(QLatin1String("iconic"), Qt::CaseInsensitive) == 0 ||
                    name.compare(QLatin1String("minimized"), Qt::CaseInsensitive) == 0) {
                    line.show = CommandLine::Show::Minimized;
                } else if (name.compare(QLatin1String("maximized"), Qt::CaseInsensitive) == 0) {
                    line.show = CommandLine::Show::Maximized;
                }
                continue;  // other unknown switches are ignored
            }
        } else {
            plain << argument;
            continue;
        }
        switch (kind) {
            case Switch::PrintTo:
                printTo = true;
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
    if (!plain.isEmpty()) {
        line.file = plain.at(0);
        if (line.action == CommandLine::Action::NewTest) {
            line.action = CommandLine::Action::Open;
        }
    }
    if ((line.action == CommandLine::Action::Print || printTo) && line.file.isEmpty()) {
        line.mistake = printTo ? QStringLiteral("-pt needs a test file to print: zx840 -pt "
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

}  // namespace zx840
