// The table of the History window: the kept results of a filter, newest
// first, one row per result. The store is read on a thread of its own
// (HistoryReader): the count first, then pages of rows as they come into
// view, each shown when it arrives. A store that is slow, or never answers,
// leaves the window free; a list of a million results opens at once.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "store/history_reader.h"
#include "store/results_store.h"

namespace zx840 {

class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { Time, Station, Type, Number, Operator, Power, PF, IthdPercent, VerdictColumn };
    static constexpr int kColumns = 9;

    // Opens `url` on the reader's thread and counts all its results.
    explicit HistoryModel(StoreUrl url, QObject* parent = nullptr);
    ~HistoryModel() override;

    // Shows the results of `filter` once they are counted.
    void SetFilter(const ResultFilter& filter);
    const ResultFilter& Filter() const { return filter_; }
    // Counts and reads again, for results kept since; the rows shown stay
    // until the new count comes.
    void Refresh();

    // Whether a count is awaited (the store may still be connecting).
    bool Counting() const { return counting_; }
    // How many results the filter matches; nothing before the first count
    // or when the store could not say (Problem() tells why).
    std::optional<std::int64_t> Matching() const { return count_; }
    // The last failure of the store, or empty.
    const std::string& Problem() const { return problem_; }

    // The result of a row without its spectra and waveforms; nullptr until
    // its page has come (it is asked for) or when it cannot be read.
    const Result* RowResult(int row) const;
    // Work on the reader's thread, after everything asked before: for
    // reads of whole results and exports.
    void Run(std::function<void(const HistoryReader::Lane&)> work);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  signals:
    // A count came, or failed to.
    void counted();
    // The store failed to answer; said once until the next filter or refresh.
    void problemMet(const QString& message);

  private:
    // The rows shown while a new count comes: cleared for a new filter,
    // kept for a refresh.
    enum class WhileCounting { ClearRows, KeepRows };
    void Count(WhileCounting rows);
    void Note(const StoreStatus& status) const;
    void Fetch(std::int64_t page) const;
    void Arrived(std::uint64_t generation, std::int64_t page, const StoreStatus& status,
                 std::vector<Result> rows);

    std::unique_ptr<HistoryReader> reader_;
    ResultFilter filter_;
    std::uint64_t generation_ = 0;  // of the count; answers of an older one are dropped
    bool counting_ = false;
    std::optional<std::int64_t> count_;
    mutable std::string problem_;
    // The pages that came, the most recently used first, and those asked.
    mutable std::list<std::pair<std::int64_t, std::vector<Result>>> pages_;
    mutable std::set<std::int64_t> asked_;
};

// The text of a cell: the time in local time, the readings as the panel
// shows them, the verdict as PASS, FAIL or nothing.
QString HistoryCellText(const Result& result, int column);

}  // namespace zx840
