// The test files a command is given: files as named, directories as the
// test files they hold.
#pragma once

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "record/test_file.h"

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

}  // namespace zx840
