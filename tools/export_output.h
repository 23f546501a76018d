// Where `zx840-cli export` writes: one directory, one file per test, named
// after the test file.
#pragma once

#include <string>

#include "record/file_io.h"

namespace zx840 {

class ExportDirectory {
  public:
    // `extension` with its dot: ".csv".
    ExportDirectory(std::string directory, std::string extension);

    // Creates the directory when it is missing.
    FileStatus Prepare();

    // Writes `content` under the name STEM.EXT, or when that file belongs to
    // another source, under STEM-2.EXT, STEM-3.EXT and so on. A file is
    // another source's unless it begins with `prefix`, which names the
    // source: the same test exported again replaces its earlier file, two
    // tests of the same name from different directories both stay. The file
    // appears whole or not at all (written beside it, then renamed).
    FileStatus Write(const std::string& stem, const std::string& prefix,
                     const std::string& content);

    // Puts everything written so far on the disk: one syncfs() for the batch
    // instead of one fsync() per file.
    FileStatus Sync();

    const std::string& Directory() const { return directory_; }

  private:
    std::string directory_;
    std::string extension_;
    std::string probe_;  // reused buffer for the beginning of a file
};

}  // namespace zx840
