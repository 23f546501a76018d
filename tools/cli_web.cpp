// zx840-cli web: the results store in a browser, as JSON and as metrics,
// read-only, until SIGINT or SIGTERM.
#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>
#include <ostream>

#include "record/file_io.h"
#include "remote/scpi_server.h"
#include "tools/cli_commands.h"
#include "tools/cli_files.h"
#include "tools/cli_server_options.h"
#include "tools/cli_store.h"
#include "tools/interrupt.h"
#include "tools/report_pdf.h"
#include "web/web_background.h"
#include "web/web_server.h"

namespace zx840 {
namespace {

struct WebOptions {
    WebServerOptions server;
    std::string db;
    std::string token;
    std::optional<TestPlan> plan;
};

// The token of a file: its first line, without surrounding blanks.
std::optional<std::string> ReadToken(const std::string& path, std::string* problem) {
    std::vector<std::uint8_t> bytes;
    if (const FileStatus status = ReadWholeFile(path, &bytes, 4096); !status) {
        *problem = path + ": " + status.Describe();
        return std::nullopt;
    }
    std::string token(bytes.begin(), bytes.end());
    token = token.substr(0, token.find_first_of("\r\n"));
    const auto first = token.find_first_not_of(" \t");
    const auto last = token.find_last_not_of(" \t");
    token = first == std::string::npos ? "" : token.substr(first, last - first + 1);
    if (token.size() < 8) {
        *problem = path + ": the token must have at least 8 characters";
        return std::nullopt;
    }
    return token;
}

// Nothing after a mistake, which `status` then holds.
std::optional<WebOptions> ReadWebOptions(const CommandCall& call, int* status) {
    WebOptions options;
    std::string problem;
    for (const auto& [name, value] : call.options) {
        const ServerOption read = ReadServerOption(name, value, call.err, &options.server,
                                                   &options.db, &options.plan, &problem);
        if (read == ServerOption::FileError) {
            *status = kCliFileError;
            return std::nullopt;
        }
        if (read == ServerOption::Mistake) {
            break;
        }
        if (name == "--token-file") {
            const auto token = ReadToken(value, &problem);
            if (!token) {
                call.err << "zx840-cli: " << problem << "\n";
                *status = kCliFileError;
                return std::nullopt;
            }
            options.token = *token;
        }
    }
    if (!problem.empty()) {
        *status = call.Mistake(problem);
        return std::nullopt;
    }
    return options;
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// What the site is given: the token, the plan, its files, the clock, and
// the reports, made by `pdf` with the verdict each result was kept with.
WebSiteOptions SiteOptions(const WebOptions& options, ReportPdfWriter& pdf) {
    WebSiteOptions site;
    site.token = options.token;
    site.plan = options.plan;
    site.asset = WebAsset;
    site.now = NowMs;
    site.pdf = [&pdf](const Result& result) -> std::optional<std::string> {
        std::string document;
        std::string error;
        const std::optional<Verdict> verdict =
            result.verdict ? std::optional(VerdictOf(*result.verdict)) : std::nullopt;
        if (!pdf.Make(document, result.working, result.mark, &error,
                      verdict ? &*verdict : nullptr)) {
            return std::nullopt;
        }
        return document;
    };
    return site;
}

}  // namespace

int WebCommand(const CommandCall& call) {
    int status = kCliOk;
    auto options = ReadWebOptions(call, &status);
    if (!options) {
        return status;
    }
    // The report writer's application is the server's: made first, so
    // that the PDF reports have the GUI library they need.
    ReportPdfWriter pdf;
    pdf.StartApplication();
    int argc = 1;
    char name[] = "zx840-cli";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr) {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    int failure = kCliFileError;
    const auto store =
        OpenCommandStore(options->db, call.err, ResultsStore::Access::ReadOnly, &failure);
    if (!store) {
        return failure;
    }
    WebSite website(*store, SiteOptions(*options, pdf));
    WebServer server(website);
    std::string problem;
    if (!server.Listen(options->server, !options->token.empty(), &problem)) {
        call.err << "zx840-cli: " << problem << "\n";
        return kCliUsage;
    }
    call.out << "Listening on http://" << Endpoint(server.Address(), server.Port()) << "/\n"
             << std::flush;
    BackgroundCounts counts(website, store->Url());
    counts.Start();
    const InterruptScope interrupt;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (interrupt.Requested()) {
            server.Close();
            QCoreApplication::quit();
        }
    });
    poll.start(100);
    QCoreApplication::exec();
    return kCliOk;
}

}  // namespace zx840
