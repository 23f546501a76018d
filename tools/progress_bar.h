// A progress bar for batches on a terminal: "[####....] 12/40" on one line.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

namespace zx840 {

inline constexpr int kProgressWidth = 40;  // characters of the bar

// A bar on the terminal, redrawn only when it changes.
class ProgressBar {
  public:
    ProgressBar(std::ostream& err, std::size_t total) : err_(err), total_(total) {}

    void Show(std::size_t done) {
        const int filled =
            total_ == 0 ? kProgressWidth : static_cast<int>(done * kProgressWidth / total_);
        if (filled == filled_ && done != total_) {
            return;
        }
        filled_ = filled;
        err_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
             << std::string(static_cast<std::size_t>(kProgressWidth - filled), '.') << "] "
             << std::to_string(done) << "/" << std::to_string(total_) << std::flush;
        drawn_ = true;
    }
    // Takes the bar off the line, before a message or at the end.
    void Clear() {
        if (drawn_) {
            err_ << "\r" << std::string(kProgressWidth + 30, ' ') << "\r" << std::flush;
            drawn_ = false;
            filled_ = -1;
        }
    }

  private:
    std::ostream& err_;
    std::size_t total_;
    int filled_ = -1;
    bool drawn_ = false;
};

}  // namespace zx840
