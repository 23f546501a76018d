// Helpers of the command-line tests: running the tool in-process or as a
// program, reading CSV back, temporary directories.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <locale>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "meter/acquisition.h"
#include "meter/sim/meter_simulator.h"
#include "tools/cli.h"

namespace zx840::testing {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

inline CliRun RunTool(const std::vector<std::string>& args, const CliContext& context = {}) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCli(args, out, err, context);
    return {status, out.str(), err.str()};
}

// A fresh directory under the temporary directory, removed at the end.
class TempDir {
  public:
    explicit TempDir(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                (name + "-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

using CsvRecords = std::vector<std::vector<std::string>>;

// Reads CSV strictly by RFC 4180: records end with CRLF, quoted fields may
// hold commas, CR, LF and doubled quotes. Fails the test on anything else,
// a last record without its CRLF included.
inline CsvRecords ParseCsv(const std::string& text) {
    CsvRecords records;
    std::vector<std::string> record;
    std::string field;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '"') {
            ++i;
            for (;;) {
                if (i >= text.size()) {
                    ADD_FAILURE() << "unterminated quoted field";
                    return records;
                }
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
        } else {
            while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                if (text[i] == '"') {
                    ADD_FAILURE() << "a quote inside an unquoted field at byte " << i;
                }
                field += text[i++];
            }
        }
        record.push_back(std::move(field));
        field.clear();
        if (i < text.size() && text[i] == ',') {
            ++i;
            continue;
        }
        if (text.compare(i, 2, "\r\n") != 0) {
            ADD_FAILURE() << "a record not ended by CRLF at byte " << i;
            return records;
        }
        i += 2;
        records.push_back(std::move(record));
        record.clear();
    }
    return records;
}

// A field read back as a float: all of it must be a number in the C form.
inline float ParseFloat(const std::string& text) {
    float value = -12345.0f;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    EXPECT_TRUE(ec == std::errc{} && end == text.data() + text.size())
        << "\"" << text << "\" is not a float";
    return value;
}

// The column of `name` in a header record.
inline std::size_t Column(const std::vector<std::string>& header, const std::string& name) {
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (header[i] == name) {
            return i;
        }
    }
    ADD_FAILURE() << "no column " << name;
    return 0;
}

// The working record that the simulator's reply for `load` gives.
inline WorkingRecord ExpectedWorking(const LoadSettings& load) {
    const Reply reply = *EncodeReply(SimulateMeasurement(load));
    WorkingRecord working;
    ApplyReply(reply, HarmonicTable{}, working);
    return working;
}

// The command line of zx840-cli with `args`, as exec wants it: the strings
// live as long as this object.
class CliArgv {
  public:
    explicit CliArgv(const std::vector<std::string>& args,
                     const std::string& program = ZX840_CLI_PATH)
        : all_{program} {
        all_.insert(all_.end(), args.begin(), args.end());
        for (std::string& arg : all_) {
            argv_.push_back(arg.data());
        }
        argv_.push_back(nullptr);
    }
    CliArgv(const CliArgv&) = delete;
    CliArgv& operator=(const CliArgv&) = delete;
    char* const* Get() { return argv_.data(); }

  private:
    std::vector<std::string> all_;
    std::vector<char*> argv_;
};

// zx840-cli as a program of its own under a limit of `bytes` on the size of
// the files it writes, as on a full disk; standard output is dropped and
// standard error goes to `errPath`. The child execs at once after the
// fork, so it needs nothing of this process's other threads (a simulated
// meter) that may have held a lock at the fork. Its exit status, or -1 when
// a signal ended it.
inline int RunCliWithFileSizeLimit(const std::vector<std::string>& args, rlim_t bytes,
                                   const std::string& errPath) {
    CliArgv argv(args);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{bytes, bytes};
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_WRONLY);
        if (err < 0 || null < 0 || ::dup2(err, STDERR_FILENO) < 0 ||
            ::dup2(null, STDOUT_FILENO) < 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            ::_exit(126);
        }
        ::execv(ZX840_CLI_PATH, argv.Get());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A simulated meter on a pseudo-terminal, answering; nothing (after a
// test failure) when it cannot start.
inline std::unique_ptr<MeterSimulator> StartSimulator(const SimulatorOptions& options = {}) {
    std::string error;
    auto sim = MeterSimulator::CreatePty(options, &error);
    EXPECT_TRUE(sim) << error;
    if (sim) {
        sim->Start();
    }
    return sim;
}

// The zx840-cli program (or `program`), started with `args`; stdout and
// stderr go to files (an empty `outPath`: it starts with stdout closed).
class CliProcess {
  public:
    CliProcess(const std::vector<std::string>& args, const std::string& outPath,
               const std::string& errPath, const std::string& program = ZX840_CLI_PATH)
        : program_(program) {
        CliArgv argv(args, program);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (outPath.empty()) {
            posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int failure =
            posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.Get(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failure != 0) {
            ADD_FAILURE() << "cannot start " << program << ": " << std::strerror(failure);
            pid_ = -1;
        }
    }
    ~CliProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    void Signal(int number) const { ::kill(pid_, number); }

    // The exit status, or -1 when the program did not end by itself within
    // `timeout` (it is killed then) or ended by a signal.
    int Wait(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (pid_ > 0) {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << program_ << " did not end in time";
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

  private:
    std::string program_;
    pid_t pid_ = -1;
};

// Switches the C and C++ locales to German for one test; skips the test
// when the system lacks that locale (scripts/install-deps.sh generates it).
class GermanLocale : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
            GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed (scripts/install-deps.sh)";
        }
        std::locale::global(std::locale("de_DE.UTF-8"));
        // The locale is in force: printf and streams now write a decimal comma.
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 2.5);
        ASSERT_STREQ(text, "2,5");
        std::ostringstream grouped;
        grouped << 1234567.5;
        ASSERT_NE(grouped.str().find(','), std::string::npos) << grouped.str();
    }
    void TearDown() override {
        std::locale::global(std::locale::classic());
        std::setlocale(LC_ALL, "C");
    }
};

}  // namespace zx840::testing
