// zx840-cli and the results store: acquisitions stored with their verdicts,
// history, stats, import and sync; a PostgreSQL server stopped in the middle
// of a run, a full disk, two stations writing one server at once.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <fstream>
#include <regex>

#include "analysis/displayed_record.h"
#include "analysis/harmonics.h"
#include "meter/sim/sim_load.h"
#include "record/file_io.h"
#include "record/json_reader.h"
#include "record/measurement_file.h"
#include "record/record_json.h"
#include "store/result_keeper.h"
#include "store/results_store.h"
#include "tests/store_test_support.h"
#include "tests/test_cli_support.h"
#include "tools/cli_text.h"

namespace zx840 {
namespace {

using testing::CliArgv;
using testing::CliProcess;
using testing::CliRun;
using testing::RawConnection;
using testing::ReadText;
using testing::RunTool;
using testing::ScratchStore;
using testing::TempDir;
namespace fs = std::filesystem;

enum class Pace { Unpaced, Paced };

std::unique_ptr<MeterSimulator> StartSimulator(Pace pace = Pace::Unpaced) {
    SimulatorOptions options;
    options.load.kind = LoadKind::Dimmer;
    options.paced = pace == Pace::Paced;
    return testing::StartSimulator(options);
}

std::int64_t CountIn(const std::string& urlText) {
    StoreStatus status;
    auto store = ResultsStore::Open(*ParseStoreUrl(urlText).url, &status);
    EXPECT_TRUE(store) << status.message;
    std::int64_t count = -1;
    if (store) {
        EXPECT_TRUE(store->Count({}, &count));
    }
    return count;
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// zx840-cli as user nobody when this test runs as root (who passes every
// permission check), else as this user; stdout and stderr go to files. The
// child execs at once after the fork.
int RunAsNobody(const std::vector<std::string>& args, const std::string& outPath,
                const std::string& errPath) {
    CliArgv argv(args);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::dup2(out, STDOUT_FILENO) < 0 ||
            ::dup2(err, STDERR_FILENO) < 0 ||
            (::geteuid() == 0 &&
             (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))) {
            ::_exit(126);
        }
        ::execv(ZX840_CLI_PATH, argv.Get());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The spool files in `folder`.
std::vector<std::string> Spools(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("spool-") && name.ends_with(".sqlite") &&
            name.find('.') == name.size() - 7) {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

// A store that refuses results of the type REFUSE-ME for their content.
void RefuseType(const StoreUrl& url) {
    RawConnection(url).Exec(
        url.kind == StoreKind::Sqlite
            ? "CREATE TRIGGER refuse_me BEFORE INSERT ON results WHEN "
              "NEW.product_type = 'REFUSE-ME' BEGIN SELECT RAISE(ABORT, 'refused'); END"
            : "ALTER TABLE results ADD CONSTRAINT refuse_me CHECK (product_type <> 'REFUSE-ME')");
}

// The data folder (spool, default store) of every test is its own.
class CliStore : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
        ::unsetenv("ZX840_DB");
        ::setenv("ZX840_STATION", "line-3", 1);
    }
    void TearDown() override {
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("ZX840_STATION");
    }
    TempDir dir_{"zx840-cli-store"};
};

TEST_F(CliStore, AcquisitionsAreStoredWithTheirVerdictsAndListedNewestFirst) {
    auto sim = StartSimulator();
    ASSERT_TRUE(sim);
    const std::string db = "sqlite:" + dir_ / "results.sqlite";
    const std::string plan = dir_ / "dimmer.zx8plan";
    std::ofstream(plan) << R"({"Type":"D1","Urms":{"min":220,"max":240},"Power":{"max":50}})";
    CliRun run = RunTool({"acquire", "--port", sim->DevicePath(), "--count", "3", "--quiet", "--db",
                          db, "--plan", plan, "--type", "D1", "--number", "41", "--step-number"});
    EXPECT_EQ(run.status, kCliVerdictFail) << run.err;  // Power is far above 50 W
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
    // ZX840_DB stands in for --db; a result without a plan has no verdict.
    ::setenv("ZX840_DB", db.c_str(), 1);
    run = RunTool({"acquire", "--port", sim->DevicePath(), "--quiet", "--type", "D2", "--number",
                   "7", "--station", "bench-9"});
    ::unsetenv("ZX840_DB");
    EXPECT_EQ(run.status, kCliOk) << run.err;

    run = RunTool({"history", "--db", db});
    ASSERT_EQ(run.status, kCliOk) << run.err;
    LoadSettings load;
    load.kind = LoadKind::Dimmer;
    const WorkingRecord expected = testing::ExpectedWorking(load);
    const std::string& out = run.out;
    ASSERT_EQ(out.front(), '[');
    EXPECT_EQ(Occurrences(out, "\"Id\":"), 4u);
    // The newest first: the single D2 acquisition, then numbers 43, 42, 41.
    const std::regex numbers("\"Type\":\"(D\\d)\",\"Number\":(\\d+)");
    std::vector<std::string> order;
    for (auto m = std::sregex_iterator(out.begin(), out.end(), numbers);
         m != std::sregex_iterator(); ++m) {
        order.push_back((*m)[1].str() + "/" + (*m)[2].str());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"D2/7", "D1/43", "D1/42", "D1/41"}));
    // Keys exactly as listed, in this order.
    const std::regex keys(
        R"(^\{"Id":"[0-9a-f-]{36}","Time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z","Station":"bench-9","Source":"acquisition","Manufacturer":"","Type":"D2","Number":7,"Temperature":"25","Humidity":"65","Operator":"","Inspector":"","Testday":"[0-9-]{8}","Urms":230,"Irms":[-0-9.e]+,"PF":[-0-9.e]+,"Freq":50,"Power":[-0-9.e]+,"Ucf":[-0-9.e]+,"Icf":[-0-9.e]+,"Uthd":[-0-9.e]+,"Ithd":[-0-9.e]+,"Upeak":[-0-9.e]+,"Ipeak":[-0-9.e]+,"UthdPercent":[-0-9.e]+,"IthdPercent":[-0-9.e]+,"StartAngle":[-0-9.e]+,"PeakAngle":[-0-9.e]+,"EndAngle":[-0-9.e]+,"Verdict":null,"DisplacementPF":[-0-9.e]+,"PhaseAngle":[-0-9.e]+,"DistortionFactor":[-0-9.e]+,"IthdR":[-0-9.e]+,"UthdR":[-0-9.e]+,"KFactor":[-0-9.e]+,"ApparentPower":[-0-9.e]+,"ReactivePower":[-0-9.e]+\},?$)");
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);
    std::getline(lines, line);
    EXPECT_TRUE(std::regex_match(line, keys)) << line;
    EXPECT_NE(out.find("\"Station\":\"line-3\""), std::string::npos);
    EXPECT_NE(out.find("\"Verdict\":{\"Pass\":false,\"Plan\":\"dimmer\""), std::string::npos);
    EXPECT_NE(out.find("\"Power\":" + JsonFloat(expected.Record.Power)), std::string::npos);

    // Filters: number range, verdict, type, station, limit; --full adds the arrays.
    run = RunTool({"history", "--db", db, "--number", "42-43", "--verdict", "FAIL"});
    EXPECT_EQ(Occurrences(run.out, "\"Id\":"), 2u) << run.out;
    run = RunTool({"history", "--db", db, "--verdict", "PASS"});
    EXPECT_EQ(run.out, "[\n]\n");
    run = RunTool({"history", "--db", db, "--type", "D1", "--limit", "1", "--full"});
    EXPECT_EQ(Occurrences(run.out, "\"Id\":"), 1u);
    EXPECT_NE(run.out.find("\"Number\":43"), std::string::npos);
    EXPECT_NE(run.out.find("\"UWave\":[" + std::to_string(expected.Record.UWave[0]) + ","),
              std::string::npos);
    run = RunTool({"history", "--db", db, "--station", "bench-9", "--csv"});
    const auto rows = testing::ParseCsv(run.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][testing::Column(rows[0], "Number")], "7");
    run = RunTool({"history", "--db", db, "--since", "2999-01-01"});
    EXPECT_EQ(run.out, "[\n]\n");
    for (const auto& bad : std::vector<std::vector<std::string>>{{"--number", "5-2"},
                                                                 {"--verdict", "OK"},
                                                                 {"--since", "soon"},
                                                                 {"--limit", "0"},
                                                                 {"--colour"}}) {
        std::vector<std::string> args{"history", "--db", db};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(RunTool(args).status, kCliUsage) << bad[0];
    }

    run = RunTool({"stats", "--db", db, "--type", "D1", "--plan", plan});
    ASSERT_EQ(run.status, kCliOk) << run.err;
    EXPECT_NE(run.out.find("{\"Type\":\"D1\",\"Count\":3,\"Passed\":0,\"Failed\":3,"),
              std::string::npos)
        << run.out;
    // Three identical measurements: no spread, so no Cpk to give.
    EXPECT_NE(run.out.find("\"Urms\":{\"Count\":3,\"Min\":230,\"Mean\":230,\"Max\":230,"
                           "\"StdDev\":0,\"Cpk\":null,\"Cpl\":null,\"Cpu\":null}"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(RunTool({"stats", "--db", db}).status, kCliUsage);
    // A URL that names no store ends the run before any exchange.
    const std::size_t requests = sim->Requests().size();
    run = RunTool({"acquire", "--port", sim->DevicePath(), "--db", "mysql://u:pw@h/d"});
    EXPECT_EQ(run.status, kCliUsage);
    EXPECT_NE(run.err.find("--db: a store URL starts with sqlite: or postgresql://"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(sim->Requests().size(), requests);
}

// Standard output that counts the results in the store whenever a row of
// the log (after its header) reaches it.
class CountsAtEachRow : public std::streambuf {
  public:
    explicit CountsAtEachRow(std::string url) : url_(std::move(url)) {}
    std::vector<std::int64_t> counts;

  protected:
    int overflow(int c) override {
        if (c != traits_type::eof() && c == '\n' && lines_++ > 0) {
            counts.push_back(CountIn(url_));
        }
        return c;
    }

  private:
    std::string url_;
    int lines_ = 0;
};

// A log row or a test file says a unit was measured: by the time it is
// written, the result is kept, so a run killed after it loses nothing.
TEST_F(CliStore, EachResultIsKeptBeforeItsLogRow) {
    auto sim = StartSimulator();
    ASSERT_TRUE(sim);
    const std::string db = "sqlite:" + dir_ / "results.sqlite";
    CountsAtEachRow rows(db);
    std::ostream out(&rows);
    std::ostringstream err;
    EXPECT_EQ(
        RunCli({"acquire", "--port", sim->DevicePath(), "--count", "3", "--log", "-", "--db", db},
               out, err),
        kCliOk)
        << err.str();
    EXPECT_EQ(rows.counts, (std::vector<std::int64_t>{1, 2, 3}));
}

// A server that answers and refuses the login is a mistake to mend, said
// before the first exchange; only a server that does not answer is an
// outage the spool bridges.
TEST_F(CliStore, ARefusedLoginIsNoOutage) {
    const auto server = testing::TestServerUrl();
    if (!server) {
        GTEST_SKIP() << testing::kNoServer;
    }
    auto sim = StartSimulator();
    ASSERT_TRUE(sim);
    std::string wrong = *server;
    wrong.replace(wrong.find("zx840-test-password"), 19, "not-the-password");
    std::string unknown = *server;
    unknown.replace(unknown.rfind("/postgres"), 9, "/no_such_database");
    for (const std::string& db : {wrong, unknown}) {
        const CliRun run = RunTool({"acquire", "--port", sim->DevicePath(), "--db", db});
        EXPECT_EQ(run.status, kCliFileError) << run.err;
        EXPECT_EQ(run.out, "") << "no exchange before the store is usable";
        EXPECT_EQ(run.err.find("when it answers again"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("not-the-password"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(!std::filesystem::exists(DataFolder()) || Spools(DataFolder()).empty());
    // A port where nothing listens is an outage: the result waits in the spool.
    const CliRun away = RunTool({"acquire", "--port", sim->DevicePath(), "--quiet", "--db",
                                 "postgresql://zx840:x@127.0.0.1:1/postgres"});
    EXPECT_EQ(away.status, kCliOk) << away.err;
    EXPECT_NE(away.err.find("when it answers again"), std::string::npos) << away.err;
}

TEST_F(CliStore, ImportKeepsEachFileOnceAndSkipsDamagedFiles) {
    const std::string db = "sqlite:" + dir_ / "results.sqlite";
    std::filesystem::create_directories(dir_ / "tests");
    ProductMark mark;
    mark.Type = "IMP";
    for (int i = 0; i < 5; ++i) {
        mark.Number = 100 + i;
        WorkingRecord working;
        working.Record.Urms = 230.0f + static_cast<float>(i);
        ASSERT_TRUE(WriteFileAtomically(dir_ / ("tests/t" + std::to_string(i) + ".ZX8"),
                                        SerializeTest(mark, working.Record)));
    }
    std::ofstream(dir_ / "tests/broken.ZX8") << "not a test";
    CliRun run = RunTool({"import", dir_ / "tests", "--db", db});
    EXPECT_EQ(run.status, kCliFileError);  // one file skipped
    EXPECT_NE(run.err.find("zx840-cli: " + dir_ / "tests/broken.ZX8" + ": Unexpected file format."),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("Imported 5 of 6 test files"), std::string::npos) << run.out;
    std::filesystem::remove(dir_ / "tests/broken.ZX8");
    // Again, and one file named twice: nothing new.
    run = RunTool({"import", dir_ / "tests", dir_ / "tests/t1.ZX8", "--db", db});
    EXPECT_EQ(run.status, kCliOk) << run.err;
    EXPECT_NE(run.out.find("Imported 0 of 6 test files"), std::string::npos) << run.out;
    EXPECT_EQ(CountIn(db), 5);
    run = RunTool({"history", "--db", db, "--number", "103"});
    EXPECT_NE(run.out.find("\"Source\":\"import\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"Urms\":233,"), std::string::npos) << run.out;
}

// The PostgreSQL server stops while a paced run of 20 acquisitions goes on:
// the run ends well with one warning, and after the server is back a sync
// leaves exactly 20 results.
TEST_F(CliStore, AServerStoppedDuringARunLosesNothingAndDoublesNothing) {
    if (!testing::TestServerUrl()) {
        GTEST_SKIP() << testing::kNoServer;
    }
    const std::string serverDir = dir_ / "server";
    const std::string script = ZX840_PG_SERVER_SCRIPT;
    // The server of this test alone, removed however the test ends.
    struct Removal {
        std::string command;
        ~Removal() {
            // A removal that fails leaves a stopped server in a temporary folder.
            [[maybe_unused]] const int status = std::system(command.c_str());
        }
    } removal{script + " remove " + serverDir};
    ASSERT_EQ(std::system((script + " start " + serverDir + " > /dev/null").c_str()), 0);
    const std::string url =
        ReadText(serverDir + "/url").substr(0, ReadText(serverDir + "/url").find('\n'));
    auto sim = StartSimulator(Pace::Paced);  // about 1.1 s a reply
    ASSERT_TRUE(sim);
    // Twenty paced exchanges, the server stopped after the fourth: long
    // enough for the run to go on well after the stop, and no longer.
    CliProcess cli({"acquire", "--port", sim->DevicePath(), "--count", "20", "--quiet", "--db", url,
                    "--type", "PG"},
                   dir_ / "out.txt", dir_ / "err.txt");
    ASSERT_TRUE(sim->WaitForRequests(4, std::chrono::seconds(60)));
    ASSERT_EQ(std::system((script + " stop " + serverDir).c_str()), 0);
    const std::size_t stoppedAt = sim->Requests().size();
    EXPECT_LT(stoppedAt, 16u);  // the run goes on well after the stop
    EXPECT_EQ(cli.Wait(std::chrono::seconds(240)), kCliOk) << ReadText(dir_ / "err.txt");
    const std::string err = ReadText(dir_ / "err.txt");
    EXPECT_EQ(Occurrences(err, "warning:"), 1u) << err;
    EXPECT_NE(err.find("spool"), std::string::npos) << err;
    EXPECT_EQ(err.find("zx840-test-password"), std::string::npos) << err;
    EXPECT_EQ(err.find("QPSQLDriver::"), std::string::npos) << err;  // no driver noise
    EXPECT_NE(err.find("20 acquisitions, 20 good, 0 failed"), std::string::npos) << err;

    ASSERT_EQ(std::system((script + " start " + serverDir + " > /dev/null").c_str()), 0);
    const CliRun sync = RunTool({"sync", "--db", url});
    EXPECT_EQ(sync.status, kCliOk) << sync.err;
    EXPECT_NE(sync.out.find(" 0 left in the spool"), std::string::npos) << sync.out;
    EXPECT_EQ(CountIn(url), 20);
    // A second sync has nothing more to push.
    EXPECT_NE(RunTool({"sync", "--db", url}).out.find("Pushed 0 results"), std::string::npos);
    EXPECT_EQ(CountIn(url), 20);
}

TEST_F(CliStore, ASqliteStoreOnAFullDiskSendsResultsToTheSpool) {
    auto sim = StartSimulator();
    ASSERT_TRUE(sim);
    const std::string db = "sqlite:" + dir_ / "results.sqlite";
    const int status = testing::RunCliWithFileSizeLimit(
        {"acquire", "--port", sim->DevicePath(), "--count", "20", "--quiet", "--db", db},
        160 * 1024, dir_ / "err.txt");
    const std::string err = ReadText(dir_ / "err.txt");
    EXPECT_EQ(status, kCliOk) << err;
    EXPECT_EQ(Occurrences(err, "warning:"), 1u) << err;
    EXPECT_NE(err.find("kept in the spool"), std::string::npos) << err;
    const std::int64_t stored = CountIn(db);
    EXPECT_GT(stored, 0);
    EXPECT_LT(stored, 20);
    const CliRun sync = RunTool({"sync", "--db", db});
    EXPECT_EQ(sync.status, kCliOk) << sync.err;
    EXPECT_NE(sync.out.find("Pushed " +
                            Counted(static_cast<std::size_t>(20 - stored), "result", "results")),
              std::string::npos)
        << sync.out;
    EXPECT_EQ(CountIn(db), 20);
}

TEST_F(CliStore, TwoStationsWritingOneServerAtOnceLandEveryResult) {
    ScratchStore scratch(true);
    if (!scratch.Ok()) {
        GTEST_SKIP() << testing::kNoServer;
    }
    auto simA = StartSimulator();
    auto simB = StartSimulator();
    ASSERT_TRUE(simA && simB);
    CliProcess a({"acquire", "--port", simA->DevicePath(), "--count", "200", "--quiet", "--db",
                  scratch.Text(), "--station", "A"},
                 dir_ / "a.out", dir_ / "a.err");
    CliProcess b({"acquire", "--port", simB->DevicePath(), "--count", "200", "--quiet", "--db",
                  scratch.Text(), "--station", "B"},
                 dir_ / "b.out", dir_ / "b.err");
    EXPECT_EQ(a.Wait(std::chrono::seconds(240)), kCliOk) << ReadText(dir_ / "a.err");
    EXPECT_EQ(b.Wait(std::chrono::seconds(240)), kCliOk) << ReadText(dir_ / "b.err");
    EXPECT_EQ(ReadText(dir_ / "a.err").find("warning"), std::string::npos);
    EXPECT_EQ(ReadText(dir_ / "b.err").find("warning"), std::string::npos);
    EXPECT_EQ(CountIn(scratch.Text()), 400);
    const CliRun byStation = RunTool({"history", "--db", scratch.Text(), "--station", "B"});
    EXPECT_EQ(Occurrences(byStation.out, "\"Id\":"), 200u);
}

// One damaged result in the spool: the rest is pushed, the damaged one is
// set aside and named by every sync and every acquisition until its
// quarantine is removed; a spool cut short is never "0 left".
TEST_F(CliStore, ADamagedSpoolStallsNothingAndIsToldUntilRemoved) {
    auto sim = StartSimulator();
    ASSERT_TRUE(sim);
    const std::string path = dir_ / "store/results.sqlite";
    const std::string db = "sqlite:" + path;
    std::filesystem::create_directories(path);  // a folder where the store should be
    const auto acquire = [&](const char* count) {
        return RunTool(
            {"acquire", "--port", sim->DevicePath(), "--count", count, "--quiet", "--db", db});
    };
    CliRun run = acquire("5");
    ASSERT_EQ(run.status, kCliOk) << run.err;
    const std::vector<std::string> spools = Spools(DataFolder());
    ASSERT_EQ(spools.size(), 1u);
    StoreUrl spool;
    spool.path = spools[0];
    // One with its readings cut short, one without its arrays.
    const std::string damaged =
        RawConnection(spool).Value("SELECT min(id) FROM results").toString().toStdString();
    const std::string noArrays =
        RawConnection(spool).Value("SELECT max(id) FROM results").toString().toStdString();
    RawConnection(spool).Exec("UPDATE results SET readings = x'00' WHERE id = '" +
                              QString::fromStdString(damaged) + "'");
    RawConnection(spool).Exec("DELETE FROM result_arrays WHERE id = '" +
                              QString::fromStdString(noArrays) + "'");
    std::filesystem::remove(path);

    run = RunTool({"sync", "--db", db});
    EXPECT_EQ(run.status, kCliFileError);
    EXPECT_EQ(run.out,
              "Pushed 3 results to " + db + ", 0 left in the spool, 2 moved to the quarantine\n");
    EXPECT_NE(run.err.find("2 results that can go to no store"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(damaged), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(noArrays), std::string::npos) << run.err;
    EXPECT_EQ(CountIn(db), 3);
    run = acquire("2");
    EXPECT_EQ(run.status, kCliOk) << run.err;
    EXPECT_EQ(Occurrences(run.err, "warning:"), 1u) << run.err;
    EXPECT_NE(run.err.find(damaged), std::string::npos) << run.err;
    EXPECT_EQ(CountIn(db), 5);
    EXPECT_NE(RunTool({"sync", "--db", db}).err.find(damaged), std::string::npos);
    const std::string quarantine = spools[0].substr(0, spools[0].size() - 7) + ".quarantine.sqlite";
    ASSERT_TRUE(std::filesystem::remove(quarantine));
    run = RunTool({"sync", "--db", db});
    EXPECT_EQ(run.status, kCliOk) << run.err;
    EXPECT_EQ(run.err, "");

    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
    std::filesystem::rename(path, dir_ / "kept.sqlite");
    std::filesystem::create_directories(path);
    ASSERT_EQ(acquire("20").status, kCliOk);
    std::filesystem::resize_file(spools[0], std::filesystem::file_size(spools[0]) / 2);
    std::filesystem::remove(path);
    run = RunTool({"sync", "--db", db});
    EXPECT_EQ(run.status, kCliFileError);
    EXPECT_EQ(run.out.find("left"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("the spool could not be read"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("set aside as"), std::string::npos) << run.err;
}

// A NUL in the product type reaches either store (as U+FFFD); a file the
// store refuses for its content is skipped with the reason and is no
// duplicate; neither sends a later result to the spool.
TEST_F(CliStore, ANulOrARefusedResultNeitherStallsTheStoreNorPassesForADuplicate) {
    auto sim = StartSimulator();
    ASSERT_TRUE(sim);
    std::filesystem::create_directories(dir_ / "files");
    ProductMark mark;
    mark.Type = std::string("A\0B", 3);
    WorkingRecord working;
    ASSERT_TRUE(WriteFileAtomically(dir_ / "nul.ZX8", SerializeTest(mark, working.Record)));
    mark.Type = "REFUSE-ME";
    ASSERT_TRUE(
        WriteFileAtomically(dir_ / "files/refused.ZX8", SerializeTest(mark, working.Record)));
    mark.Type = "FINE";
    ASSERT_TRUE(WriteFileAtomically(dir_ / "files/fine.ZX8", SerializeTest(mark, working.Record)));
    for (const bool postgresql : {false, true}) {
        ScratchStore scratch(postgresql);
        if (!scratch.Ok()) {
            continue;  // no server: SQLite alone
        }
        const std::string& db = scratch.Text();
        CliRun run = RunTool({"import", dir_ / "nul.ZX8", "--db", db});
        EXPECT_EQ(run.status, kCliOk) << run.err;
        EXPECT_NE(run.out.find("Imported 1 of 1 test file into"), std::string::npos) << run.out;
        run = RunTool({"acquire", "--port", sim->DevicePath(), "--count", "2", "--quiet", "--mark",
                       dir_ / "nul.ZX8", "--db", db});
        EXPECT_EQ(run.status, kCliOk) << run.err;
        EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
        EXPECT_EQ(CountIn(db), 3);
        run = RunTool({"history", "--db", db});
        EXPECT_EQ(Occurrences(run.out,
                              "\"Type\":\"A\xEF\xBF\xBD"
                              "B\""),
                  3u)
            << run.out;

        RefuseType(scratch.Url());
        run = RunTool({"import", dir_ / "files", "--db", db});
        EXPECT_EQ(run.status, kCliFileError);
        EXPECT_NE(run.err.find("skipped " + dir_ / "files/refused.ZX8" + ": Cannot write to"),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.out.find("Imported 1 of 2 test files into " + scratch.Url().Display() +
                               ", 0 already there, 1 skipped\n"),
                  std::string::npos)
            << run.out;
        run = RunTool({"acquire", "--port", sim->DevicePath(), "--count", "3", "--quiet", "--type",
                       "REFUSE-ME", "--db", db});
        EXPECT_EQ(run.status, kCliOk) << run.err;
        EXPECT_EQ(Occurrences(run.err, "warning:"), 1u) << run.err;
        EXPECT_NE(run.err.find("quarantine"), std::string::npos) << run.err;
        EXPECT_EQ(CountIn(db), 4);
        EXPECT_TRUE(Spools(DataFolder()).empty());
    }
}

TEST_F(CliStore, HistoryAndStatsListAStoreTheUserMayOnlyRead) {
    const std::filesystem::path folder = dir_.Path() / "readable";
    std::filesystem::create_directories(folder / "tests");
    ProductMark mark;
    mark.Type = "RO";
    for (int i = 0; i < 3; ++i) {
        mark.Number = i;
        WorkingRecord working;
        ASSERT_TRUE(WriteFileAtomically(folder / ("tests/t" + std::to_string(i) + ".ZX8"),
                                        SerializeTest(mark, working.Record)));
    }
    const std::string path = (folder / "results.sqlite").string();
    const std::string db = "sqlite:" + path;
    ASSERT_EQ(RunTool({"import", (folder / "tests").string(), "--db", db}).status, kCliOk);
    // Readable, not writable, by the user who lists it.
    const bool root = ::geteuid() == 0;
    std::filesystem::permissions(path, root ? fs::perms(0644) : fs::perms(0444));
    std::filesystem::permissions(folder, root ? fs::perms(0755) : fs::perms(0555));
    std::vector<std::uint8_t> before;
    ASSERT_TRUE(ReadWholeFile(path, &before));
    const std::string out = dir_ / "out.txt";
    const std::string err = dir_ / "err.txt";
    EXPECT_EQ(RunAsNobody({"history", "--db", db}, out, err), kCliOk) << ReadText(err);
    EXPECT_EQ(Occurrences(ReadText(out), "\"Type\":\"RO\""), 3u) << ReadText(out);
    EXPECT_EQ(RunAsNobody({"stats", "--db", db, "--type", "RO"}, out, err), kCliOk)
        << ReadText(err);
    EXPECT_NE(ReadText(out).find("\"Count\":3,"), std::string::npos) << ReadText(out);
    // It is theirs to read only.
    EXPECT_EQ(RunAsNobody({"import", (folder / "tests").string(), "--db", db}, out, err),
              kCliFileError);
    std::vector<std::uint8_t> after;
    ASSERT_TRUE(ReadWholeFile(path, &after));
    EXPECT_EQ(after, before);
    EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
    std::filesystem::permissions(folder, fs::perms(0755));
}

// A store as the program of schema 4 left it, holding `results`: written
// by this program, the index and the columns schema 5 added dropped again.
void WriteSchema4Store(const StoreUrl& url, const std::vector<Result>& results) {
    StoreStatus status;
    ASSERT_TRUE(ResultsStore::Open(url, &status)->WriteAll(results)) << status.message;
    const RawConnection raw(url);
    ASSERT_TRUE(raw.Exec(QStringLiteral("DROP INDEX results_station_type")));
    for (const char* column : {"displacement_pf", "phase_angle", "distortion_factor", "ithd_r",
                               "uthd_r", "k_factor", "apparent_power", "reactive_power"}) {
        ASSERT_TRUE(raw.Exec(QStringLiteral("ALTER TABLE results DROP COLUMN ") + column));
    }
    ASSERT_TRUE(raw.Exec(QStringLiteral("UPDATE schema_version SET version = 4")));
}

// `history` lists the derived quantities of results kept before they
// existed: computed from the whole result while the store is of schema 4,
// from the columns the update to schema 5 filled once a writer opened it.
TEST_F(CliStore, ResultsOfASchema4StoreAreListedWithTheirDerivedQuantities) {
    const HarmonicTable table;
    std::vector<Result> kept;
    std::map<std::string, DerivedQuantities> want;
    for (const LoadKind kind : {LoadKind::Resistive, LoadKind::Rectifier, LoadKind::Dimmer}) {
        LoadSettings load;
        load.kind = kind;
        MeasurementRecord record = SimulateMeasurement(load);
        ComputeHarmonics(table, record);
        kept.push_back(NewResult(ResultSource::Acquisition, {}, DisplayedRecord(record), {}));
        want[kept.back().id] = ComputeDerived(record);
    }
    const auto listed = [&](const std::string& db) {
        const CliRun json = RunTool({"history", "--db", db});
        const std::optional<JsonValue> results = ParseJson(json.out, nullptr);
        ASSERT_TRUE(results) << json.out << json.err;
        ASSERT_EQ(results->items.size(), 3u);
        for (const JsonValue& result : results->items) {
            const DerivedQuantities& derived = want.at(result.Find("Id")->text);
            for (std::size_t q = 0; q < kDerivedQuantities; ++q) {
                const char* name = DerivedQuantityName(static_cast<DerivedQuantity>(q));
                EXPECT_EQ(result.Find(name)->number, derived.values[q]) << name;
            }
        }
        const auto rows = testing::ParseCsv(RunTool({"history", "--db", db, "--csv"}).out);
        ASSERT_EQ(rows.size(), 4u);
        EXPECT_EQ(rows[0][rows[0].size() - kDerivedQuantities - 1], "FailedChecks");
        EXPECT_EQ(rows[0].back(), "ReactivePower");
        EXPECT_EQ(rows[1].back(),
                  ShortestDouble(want.at(rows[1][0])[DerivedQuantity::ReactivePower]));
    };
    for (const bool postgresql : {false, true}) {
        ScratchStore scratch(postgresql);
        if (!scratch.Ok()) {
            continue;  // no server: SQLite alone
        }
        WriteSchema4Store(scratch.Url(), kept);
        listed(scratch.Text());
        const RawConnection raw(scratch.Url());
        EXPECT_EQ(raw.Value("SELECT version FROM schema_version").toInt(), 4);
        StoreStatus status;
        ASSERT_TRUE(ResultsStore::Open(scratch.Url(), &status)) << status.message;
        EXPECT_EQ(raw.Value("SELECT version FROM schema_version").toInt(), 5);
        const QString id = QString::fromStdString(kept[1].id);
        EXPECT_EQ(raw.Value("SELECT k_factor FROM results WHERE id = '" + id + "'").toDouble(),
                  want.at(kept[1].id)[DerivedQuantity::KFactor]);
        listed(scratch.Text());
    }
}

// Times that are not times and stores in memory are refused before any
// store is read or written.
TEST_F(CliStore, MalformedTimesAndStoresInMemoryAreRefused) {
    const std::string db = "sqlite:" + dir_ / "results.sqlite";
    for (const char* since :
         {"2026-12-10T04:2O:00Z", "2026-12-10T99:99:99", "2026-12-10T10:00:00+25:00",
          "2026-12-10'; DROP TABLE results; --", "2026-02-30"}) {
        for (const char* command : {"history", "stats"}) {
            const CliRun run = RunTool({command, "--db", db, "--type", "T", "--since", since});
            EXPECT_EQ(run.status, kCliUsage) << command << " " << since;
            EXPECT_NE(run.err.find("--since takes an ISO 8601 time"), std::string::npos) << run.err;
        }
    }
    // A store is listed only once it exists: reading creates nothing.
    EXPECT_NE(RunTool({"history", "--db", db}).err.find("there is no such file"),
              std::string::npos);
    EXPECT_EQ(CountIn(db), 0);
    EXPECT_EQ(RunTool({"history", "--db", db, "--until", "2026-12-10T04:20:00.5+01:00"}).status,
              kCliOk);
    for (const char* memory :
         {"sqlite::memory:", "sqlite:file::memory:", "sqlite:file:x.sqlite?mode=memory"}) {
        const CliRun sync = RunTool({"sync", "--db", memory});
        EXPECT_EQ(sync.status, kCliUsage) << memory;
        EXPECT_NE(sync.err.find("in memory keeps nothing"), std::string::npos) << sync.err;
        EXPECT_EQ(RunTool({"import", dir_ / "none.ZX8", "--db", memory}).status, kCliUsage);
    }
}

}  // namespace
}  // namespace zx840
