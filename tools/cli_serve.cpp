// zx840-cli serve: the station as an instrument on the network, without a
// window, until SIGINT or SIGTERM. Measurements go through the meter
// session as the window's do; kept in the store --db names, if any.
#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>

#include "plan/plan_file.h"
#include "record/defaults.h"
#include "remote/scpi_server.h"
#include "remote/session_station.h"
#include "store/background_keeper.h"
#include "tools/cli_commands.h"
#include "tools/cli_files.h"
#include "tools/cli_server_options.h"
#include "tools/interrupt.h"

namespace zx840 {
namespace {

struct ServeOptions {
    ScpiServerOptions server;
    std::string port = kDefaultComPort;
    std::int32_t speed = kDefaultBaudRate;
    std::optional<TestPlan> plan;
    std::optional<StoreUrl> store;
    std::string station;
};

// Nothing after a mistake, which `status` then holds, said on the call's `err`.
std::optional<ServeOptions> ReadServeOptions(const CommandCall& call, int* status) {
    ServeOptions options;
    std::string db;
    std::string problem;
    for (const auto& [name, value] : call.options) {
        const ServerOption read =
            ReadServerOption(name, value, call.err, &options.server, &db, &options.plan, &problem);
        if (read == ServerOption::FileError) {
            *status = kCliFileError;
            return std::nullopt;
        }
        if (read == ServerOption::Mistake) {
            break;
        }
        if (name == "--port") {
            options.port = value;
        } else if (name == "--baud") {
            if (value != "2400" && value != "9600") {
                problem = "the speed must be 2400 or 9600, not \"" + value + "\"";
                break;
            }
            options.speed = std::stoi(value);
        } else if (name == "--station") {
            options.station = value;
        }
    }
    if (!problem.empty()) {
        *status = call.Mistake(problem);
        return std::nullopt;
    }
    if (const auto text = ChosenStoreText(db)) {
        const StoreUrlParse parsed = ParseStoreUrl(*text);
        if (!parsed.url) {
            call.err << "zx840-cli: " << (db.empty() ? "ZX840_DB" : "--db") << ": " << parsed.error
                     << "\n";
            *status = kCliUsage;
            return std::nullopt;
        }
        options.store = parsed.url;
    }
    return options;
}

// Until SIGINT or SIGTERM, which close the clients; an exchange under way
// ends first.
void ServeUntilSignal(ScpiServer& server, const MeterSession& session) {
    InterruptScope interrupt;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (interrupt.Requested()) {
            server.Close();
            if (!session.ExchangeInProgress()) {
                QCoreApplication::quit();
            }
        }
    });
    poll.start(100);
    QCoreApplication::exec();
}

// The keeper of the session's results when a store is named (a result that
// waits in the spool is said), else none.
std::unique_ptr<BackgroundKeeper> KeeperFor(const ServeOptions& options, MeterSession& session,
                                            std::ostream& err) {
    if (!options.store) {
        return nullptr;
    }
    auto keeper = std::make_unique<BackgroundKeeper>(&session, [&err](const KeepReport& report) {
        if (report.kind == KeepReport::Kind::Kept && report.outcome == KeepOutcome::Spooled) {
            err << "zx840-cli: " << report.message << "\n";
        }
    });
    keeper->SetStore(options.store, SpoolFolder());
    session.SetKeeper(keeper.get());
    return keeper;
}

}  // namespace

int ServeCommand(const CommandCall& call) {
    std::ostream& out = call.out;
    std::ostream& err = call.err;
    int status = kCliOk;
    const auto options = ReadServeOptions(call, &status);
    if (!options) {
        return status;
    }
    int argc = 1;
    char name[] = "zx840-cli";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr) {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    MeterSession session;
    session.SetPort(options->port);
    session.SetBaudRate(options->speed);
    session.SetPlan(options->plan);
    session.SetStation(options->station);
    const std::unique_ptr<BackgroundKeeper> keeper = KeeperFor(*options, session, err);
    StationHooks hooks;
    hooks.planFolder = DefaultPlanFolder();
    bool storing = true;
    hooks.storing = [&storing] { return storing; };
    hooks.setStoring = [&](bool on) {
        storing = on;
        session.SetKeeper(on ? keeper.get() : nullptr);
    };
    SessionStation station(session, hooks);
    hooks.reset = [&] {
        station.SetOwnMark({});
        session.SetPlan(options->plan);
        hooks.setStoring(true);
    };
    station.SetHooks(hooks);
    session.SetMarkSource([&station] { return station.Mark(); });

    ScpiServer server(station);
    std::string problem;
    if (!server.Listen(options->server, &problem)) {
        err << "zx840-cli: " << problem << "\n";
        return kCliUsage;
    }
    out << "Listening on " << Endpoint(server.Address(), server.Port()) << "\n" << std::flush;
    ServeUntilSignal(server, session);
    if (keeper) {
        keeper->Flush();
    }
    return kCliOk;
}

}  // namespace zx840
