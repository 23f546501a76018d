// What the results-store commands of zx840-cli share, and a kept result
// written back to files (history --id ID --save, --pdf).
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "store/results_store.h"
#include "tools/cli_command.h"

namespace zx840 {

// The store named by `db` (--db), else ZX840_DB, else the per-user
// default. Nothing, after saying why on `err`, with `failure` set: a text
// that is no store URL is a usage error (1), a store that cannot be
// opened status 5.
std::unique_ptr<ResultsStore> OpenCommandStore(const std::string& db, std::ostream& err,
                                               ResultsStore::Access access, int* failure);

// history with --save FILE|- and --pdf FILE|-: the result --id names as
// a test file, as the window saves it, and as its printed report with the
// verdict it was kept with. `options` are history's, in the order given,
// --db left out. Nothing when they name neither --save nor --pdf (the
// history is listed); else the exit status, after saying any failure.
std::optional<int> KeptResultFiles(const CommandCall& call, const std::string& db,
                                   const std::vector<std::pair<std::string, std::string>>& options);

}  // namespace zx840
