// The test files a command is given: files as named, directories as the
// test files they hold.
#pragma once

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "record/measurement_file.h"
#include "tools/interrupt.h"
#include "tools/progress_bar.h"

namespace zx840 {

inline bool IsTestFileName(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return extension == std::string(".") + kTestFileExtension;
}

// Calls `visit(path)` for each input file: a file as named, a directory's
// test files (*.ZX8 in any case) one by one as the directory lists them.
// `visit` returns false to stop; a directory that cannot be listed goes to
// `unreadable(path, reason)`.
template <typename Visit, typename Unreadable>
void ForEachInput(const std::vector<std::string>& inputs, Visit visit, Unreadable unreadable) {
    for (const std::string& input : inputs) {
        std::error_code error;
        if (!std::filesystem::is_directory(input, error)) {
            if (!visit(input)) {
                return;
            }
            continue;
        }
        std::filesystem::directory_iterator entry(input, error);
        for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
            std::error_code ignored;
            if (IsTestFileName(entry->path()) && entry->is_regular_file(ignored) &&
                !visit(entry->path().string())) {
                return;
            }
        }
        if (error) {
            unreadable(input, error.message());
        }
    }
}

// How many test files the inputs name, counted as ForEachInput would visit
// them (for a progress bar, which needs the total first).
inline std::size_t CountInputs(const std::vector<std::string>& inputs) {
    std::size_t total = 0;
    ForEachInput(
        inputs,
        [&total](const std::string&) {
            ++total;
            return true;
        },
        [](const std::string&, const std::string&) {});
    return total;
}

// The loop of a batch command: ForEachInput until `visit` says stop or an
// interrupt was requested. On a terminal with more than one file to do, the
// bar (made here, in `bar`, so that messages can take it off the line)
// shows `done()` after each file, and is taken off at the end.
template <typename Visit, typename Unreadable, typename Done>
void ForEachInputShown(const std::vector<std::string>& inputs, bool terminal, std::ostream& err,
                       std::optional<ProgressBar>& bar, const InterruptScope& interrupt,
                       Visit visit, Unreadable unreadable, Done done) {
    if (terminal) {
        // The bar needs the total: one pass that only counts.
        const std::size_t total = CountInputs(inputs);
        if (total > 1) {
            bar.emplace(err, total);
        }
    }
    ForEachInput(
        inputs,
        [&](const std::string& path) {
            if (interrupt.Requested()) {
                return false;
            }
            const bool goOn = visit(path);
            if (bar) {
                bar->Show(done());
            }
            return goOn;
        },
        unreadable);
    if (bar) {
        bar->Clear();
    }
}

}  // namespace zx840
