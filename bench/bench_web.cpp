// The web dashboard over a store of 1,000,000 results: the server time of
// the Line page, of /api/stats, /api/yield and /metrics, each asked afresh
// (no cache), and 64 clients polling the Line page of a running
// `zx840-cli web` for 10 s.
// Targets: under 100 ms each; no failed request.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include "bench_data.h"
#include "web/web_site.h"

namespace zx840 {
namespace {

// The newest result's time: "today" is the last day of the store.
std::int64_t NewestMs(ResultsStore& store) {
    std::vector<Result> newest;
    return store.Find({}, 0, 1, Detail::Summary, newest) && !newest.empty() ? newest.front().timeMs
                                                                            : 0;
}

// The store of a million results; nothing after telling `state` why not.
std::unique_ptr<ResultsStore> BigStore(benchmark::State& state) {
    const std::string url = bench::BigStore(state);
    return url.empty() ? nullptr : bench::Open(url, state);
}

// A site whose clock stands at the store's newest result and that keeps
// no answer: every question goes to the store.
WebSiteOptions Uncached(ResultsStore& store) {
    const std::int64_t now = NewestMs(store);
    WebSiteOptions options;
    options.cacheLifetime = std::chrono::milliseconds(0);
    options.metricsLifetime = std::chrono::milliseconds(0);
    options.now = [now] { return now; };
    return options;
}

void Ask(benchmark::State& state, const std::string& path, const std::string& query) {
    const auto store = BigStore(state);
    if (!store) {
        return;
    }
    WebSite site(*store, Uncached(*store));
    for (auto _ : state) {
        const WebResponse response = site.Handle({"GET", path, query, "", "", ""});
        if (response.status != 200) {
            state.SkipWithError(response.body.c_str());
            return;
        }
        benchmark::DoNotOptimize(response.body.data());
    }
}

void BM_WebLinePageAMillion(benchmark::State& state) {
    Ask(state, "/", state.range(0) == 0 ? "" : "period=7d");
}
BENCHMARK(BM_WebLinePageAMillion)->Arg(0)->Arg(7)->Unit(benchmark::kMillisecond)->UseRealTime();

// /api/stats of 100,000 results of one type as the server answers it:
// Arg 0 the first question after the server starts (every result counted),
// Arg 1 each later one, a new result of the type kept before each (its
// stats merged with those already counted). The results written are
// removed afterwards.
void BM_WebApiStatsAMillion(benchmark::State& state) {
    const auto store = BigStore(state);
    if (!store) {
        return;
    }
    const WebSiteOptions options = Uncached(*store);
    const std::int64_t now = options.now();
    auto site = std::make_unique<WebSite>(*store, options);
    const WebRequest request{"GET", "/api/stats", "type=T3", "", "", ""};
    const bool arriving = state.range(0) == 1;
    if (arriving) {
        site->Handle(request);  // the first count, not measured
    }
    std::mt19937 random(7);
    std::vector<std::string> written;
    for (auto _ : state) {
        state.PauseTiming();
        if (arriving) {
            Result r = bench::SampleResult(random);
            r.id = "bench-stats-" + std::to_string(written.size());
            r.timeMs = now + 1 + static_cast<std::int64_t>(written.size());
            r.mark.Type = "T3";
            if (!store->Write(r)) {
                state.SkipWithError("the new result could not be kept");
                break;
            }
            written.push_back(r.id);
        } else {
            site = std::make_unique<WebSite>(*store, options);
        }
        state.ResumeTiming();
        const WebResponse response = site->Handle(request);
        if (response.status != 200) {
            state.SkipWithError(response.body.c_str());
            break;
        }
        benchmark::DoNotOptimize(response.body.data());
    }
    if (!written.empty() && !store->Remove(written)) {
        state.SkipWithError("the results written could not be removed");
    }
}
BENCHMARK(BM_WebApiStatsAMillion)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The store's other questions of the dashboard: results by hour over a
// week, and the metrics, which count every result by station and type.
void BM_WebApiYieldByHourAMillion(benchmark::State& state) {
    Ask(state, "/api/yield", "by=hour&period=7d");
}
BENCHMARK(BM_WebApiYieldByHourAMillion)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WebMetricsAMillion(benchmark::State& state) {
    Ask(state, "/metrics", "");
}
BENCHMARK(BM_WebMetricsAMillion)->Unit(benchmark::kMillisecond)->UseRealTime();

// A browser's connection: requests one after the other over one socket
// (HTTP/1.1 keeps it open), each answer read to its Content-Length.
class Client {
  public:
    explicit Client(quint16 port) : port_(port) {}
    ~Client() { Close(); }

    // True for a 200.
    bool Get(const std::string& path) {
        if (fd_ < 0 && !Connect()) {
            return false;
        }
        const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        if (::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(request.size())) {
            Close();
            return false;
        }
        std::string answer;
        std::size_t end = std::string::npos;
        std::size_t length = 0;
        char buffer[65536];
        while (end == std::string::npos || answer.size() < end + 4 + length) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                Close();
                return false;
            }
            answer.append(buffer, static_cast<std::size_t>(n));
            if (end == std::string::npos && (end = answer.find("\r\n\r\n")) != std::string::npos) {
                const std::size_t at = answer.find("Content-Length: ");
                length = at < end ? std::stoul(answer.substr(at + 16)) : 0;
            }
        }
        return answer.starts_with("HTTP/1.1 200 ");
    }

  private:
    bool Connect() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port_);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            Close();
            return false;
        }
        return true;
    }
    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    quint16 port_;
    int fd_ = -1;
};

// 64 browsers watching the Line page of the running server, each asking
// again as soon as it has its answer, for 10 s.
void BM_WebLinePagePolledBy64Clients(benchmark::State& state) {
    const std::string url = bench::BigStore(state);
    if (url.empty()) {
        return;
    }
    int pipe[2];
    if (::pipe(pipe) != 0) {
        state.SkipWithError("no pipe");
        return;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipe[1], 1);
        ::close(pipe[0]);
        ::execl(ZX840_CLI_PATH, ZX840_CLI_PATH, "web", "--listen", "127.0.0.1:0", "--db",
                url.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(pipe[1]);
    FILE* server = ::fdopen(pipe[0], "r");
    char line[256] = {};
    const bool listening = server != nullptr && std::fgets(line, sizeof line, server) != nullptr;
    const std::string text = line;
    const auto colon = text.rfind(':');
    if (!listening || colon == std::string::npos) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        state.SkipWithError("the server did not start");
        return;
    }
    const auto port = static_cast<quint16>(std::stoi(text.substr(colon + 1)));
    std::atomic<std::int64_t> done{0};
    std::atomic<std::int64_t> failed{0};
    for (auto _ : state) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::vector<std::thread> clients;
        for (int c = 0; c < 64; ++c) {
            clients.emplace_back([&] {
                Client client(port);
                while (std::chrono::steady_clock::now() < end) {
                    (client.Get("/live") ? done : failed) += 1;
                }
            });
        }
        for (std::thread& client : clients) {
            client.join();
        }
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    std::fclose(server);
    state.counters["requests"] = static_cast<double>(done);
    state.counters["failed"] = static_cast<double>(failed);
    state.counters["requests_per_s"] =
        benchmark::Counter(static_cast<double>(done), benchmark::Counter::kIsRate);
    if (failed > 0) {
        state.SkipWithError("some requests failed");
    }
}
BENCHMARK(BM_WebLinePagePolledBy64Clients)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace zx840
