#include <gtest/gtest.h>

#include <set>

#include "app/command_line.h"

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

}  // namespace
}  // namespace zx840
