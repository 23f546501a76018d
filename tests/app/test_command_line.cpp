#include <gtest/gtest.h>

#include <QGuiApplication>
#include <algorithm>
#include <set>
#include <string>

#include "app/command_line.h"
#include "tests/gui_helpers.h"
#include "view/operator_report.h"

namespace zx840 {
namespace {

using Action = CommandLine::Action;

CommandLine Parse(const QStringList& arguments, std::set<QString> existing = {}) {
    return ParseCommandLine(arguments,
                            [&existing](const QString& path) { return existing.count(path) != 0; });
}

TEST(CommandLineParsing, SwitchesFilesAndPathsThatLookLikeSwitches) {
    EXPECT_EQ(Parse({}).action, Action::NewTest);

    CommandLine line = Parse({"/home/me/t.ZX8"});
    EXPECT_EQ(line.action, Action::Open);
    EXPECT_EQ(line.file, QStringLiteral("/home/me/t.ZX8"));

    for (const char* print : {"-p", "/p"}) {
        line = Parse({print, "t.ZX8"});
        EXPECT_EQ(line.action, Action::Print) << print;
        EXPECT_EQ(line.file, QStringLiteral("t.ZX8"));
    }
    // Nothing to print is a mistake, said as such.
    EXPECT_EQ(Parse({"-p"}).mistake, "-p needs a test file to print: zx840 -p FILE.ZX8");
    EXPECT_TRUE(Parse({"-pt"}).mistake.startsWith("-pt needs a test file"));
    EXPECT_TRUE(Parse({"-p", "t.ZX8"}).mistake.isEmpty());
    // "/p" that is an existing path is a file, not the switch.
    line = Parse({"/p"}, {"/p"});
    EXPECT_EQ(line.action, Action::Open);
    EXPECT_EQ(line.file, QStringLiteral("/p"));
    // Case matters for p, pt and dde.
    EXPECT_EQ(Parse({"-P", "t.ZX8"}).action, Action::Open);
    EXPECT_EQ(Parse({"-DDE"}).action, Action::NewTest);
    EXPECT_EQ(Parse({"-dde"}).action, Action::Dde);

    line = Parse({"/pt", "t.ZX8", "Lab Printer", "driver", "port"});
    EXPECT_EQ(line.action, Action::PrintTo);
    EXPECT_EQ(line.file, QStringLiteral("t.ZX8"));
    EXPECT_EQ(line.printer, QStringLiteral("Lab Printer"));
    EXPECT_EQ(line.driver, QStringLiteral("driver"));
    EXPECT_EQ(line.port, QStringLiteral("port"));

    // Unregister in any case; Embedding alongside.
    line = Parse({"/UNREGISTER", "-embedding"});
    EXPECT_EQ(line.action, Action::Unregister);
    EXPECT_TRUE(line.embedding);
    EXPECT_EQ(Parse({"-unregserver"}).action, Action::Unregister);
    line = Parse({"/Automation"});
    EXPECT_EQ(line.action, Action::NewTest);
    EXPECT_TRUE(line.automation);
    EXPECT_EQ(Parse({"-iconic"}).show, CommandLine::Show::Minimized);
    EXPECT_EQ(Parse({"--maximized", "t.ZX8"}).show, CommandLine::Show::Maximized);
    EXPECT_EQ(Parse({"--maximized", "t.ZX8"}).action, Action::Open);
    // An unknown switch is ignored; an unknown "/word" is a path.
    EXPECT_EQ(Parse({"-verbose"}).action, Action::NewTest);
    EXPECT_EQ(Parse({"/verbose"}).file, QStringLiteral("/verbose"));
}

// The program's lines among what standard error got (the window system
// may add its own).
std::string ProgramLines(const std::string& err) {
    std::string lines;
    for (std::size_t at = 0; at < err.size();) {
        const std::size_t end = std::min(err.find('\n', at), err.size() - 1) + 1;
        if (err.compare(at, 7, "zx840: ") == 0) {
            lines += err.substr(at, end - at);
        }
        at = end;
    }
    return lines;
}

// The operator is told in a box while there is a screen, and the box's
// answer comes back. A print run or an unregistering drawn offscreen has
// none: the message is a line on standard error, the answer the default.
TEST(OperatorReport, ABoxOnTheScreenALineOnStandardErrorWithout) {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    EXPECT_EQ(ScreenFor(Parse({})), Screen::Present);
    EXPECT_EQ(ScreenFor(Parse({"t.ZX8"})), Screen::Present);
    EXPECT_EQ(ScreenFor(Parse({"-p", "t.ZX8"})), Screen::None);
    EXPECT_EQ(ScreenFor(Parse({"-Unregister"})), Screen::None);

    const OperatorReport told{Severity::Critical, "Caption", "First\nsecond"};
    const OperatorReport logged{Severity::Warning, "Log", "Both", Echo::Always, "as written"};
    const auto yesNo = QMessageBox::Yes | QMessageBox::No;
    std::vector<QMessageBox::StandardButton> answers;
    int boxes = 0;
    ::testing::internal::CaptureStderr();
    const auto seen = testing::AnswerMessageBoxes(
        [&] {
            answers.push_back(Tell(nullptr, told, yesNo, QMessageBox::No));
            answers.push_back(Tell(nullptr, logged));
        },
        &boxes);
    EXPECT_EQ(ProgramLines(::testing::internal::GetCapturedStderr()), "zx840: as written\n");
    EXPECT_EQ(boxes, 2);
    EXPECT_EQ(seen.caption, "Caption");
    EXPECT_EQ(seen.text, "First\nsecond");
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    {
        const ScreenDecision none(ScreenFor(Parse({"-p", "t.ZX8"})));
        ::testing::internal::CaptureStderr();
        testing::AnswerMessageBoxes(
            [&] {
                answers.push_back(Tell(nullptr, told, yesNo, QMessageBox::Yes));
                answers.push_back(Tell(nullptr, logged));
                EXPECT_EQ(TellWithoutWaiting(nullptr, told), nullptr);
            },
            &boxes);
        EXPECT_EQ(ProgramLines(::testing::internal::GetCapturedStderr()),
                  "zx840: First second\nzx840: as written\nzx840: First second\n");
        EXPECT_EQ(boxes, 0);
    }
    EXPECT_EQ(answers,
              (std::vector{QMessageBox::No, QMessageBox::Ok, QMessageBox::Yes, QMessageBox::Ok}));
    EXPECT_EQ(OperatorScreen(), Screen::Present);  // the decision ends with its holder
}

}  // namespace
}  // namespace zx840
