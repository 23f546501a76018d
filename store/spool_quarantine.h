// Results that can never reach the store wait here, out of the spool's
// way: rows of the spool that cannot be read, and results the store refused
// for their content. They are kept as they were, in an SQLite file beside
// the spool (spool-HASH.quarantine.sqlite), until someone has looked at them
// and removed the file; until then every sync and every run that keeps
// results says so. A spool file that is no database at all, or is corrupt,
// is set aside whole beside it (spool-HASH.damaged-TIME.sqlite), so that a
// new spool can take results again.
#pragma once

#include <string>
#include <vector>

#include "store/results_store.h"

namespace zx840 {

class SpoolQuarantine {
  public:
    // The quarantine of the spool at `spoolPath` (…/spool-HASH.sqlite).
    explicit SpoolQuarantine(const std::string& spoolPath);

    const std::string& Path() const { return path_; }

    // Moves the results `ids` of `spool`, as they are stored, into the
    // quarantine.
    StoreStatus Take(ResultsStore& spool, const std::vector<std::string>& ids);
    // Keeps `result` there.
    StoreStatus Keep(const Result& result);
    // Renames the spool file, and its journal, to a name of its own beside
    // it; `setAside` is that name.
    StoreStatus SetAsideSpool(std::string* setAside);

    // What waits in the quarantine and beside it, in words for the
    // operator; empty when nothing does.
    std::string Note() const;
    // The ids of the results in the quarantine (damaged ones included).
    StoreStatus Ids(std::vector<std::string>& ids) const;

  private:
    std::unique_ptr<ResultsStore> OpenFile(StoreStatus* status) const;
    std::vector<std::string> SetAsideFiles() const;

    std::string spoolPath_;
    std::string stem_;  // the spool's path without ".sqlite"
    std::string path_;
};

}  // namespace zx840
