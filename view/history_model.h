// The table of the History window: the kept results of a filter, newest
// first, one row per result. Rows are read from the store a page at a time
// as they come into view, so a list of a million results opens at once.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "store/history_pages.h"
#include "store/results_store.h"

namespace zx840 {

class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { Time, Station, Type, Number, Operator, Power, PF, IthdPercent, VerdictColumn };
    static constexpr int kColumns = 9;

    explicit HistoryModel(std::unique_ptr<ResultsStore> store, QObject* parent = nullptr);
    ~HistoryModel() override;

    // Shows the results of `filter`, counted anew.
    void SetFilter(const ResultFilter& filter);
    const ResultFilter& Filter() const { return filter_; }
    // Counts and reads again, for results kept since.
    void Refresh();

    // How many results the filter matches; nothing when the store could
    // not say (Problem() tells why).
    std::optional<std::int64_t> Matching() const { return count_; }
    // The last failure of the store, or empty.
    const std::string& Problem() const { return problem_; }

    // The result of a row without its spectra and waveforms; nullptr when
    // it cannot be read.
    const Result* RowResult(int row) const;
    // The results of `rows` (ascending, each once) in that order, read in
    // runs of neighbouring rows; with `full` their spectra and waveforms
    // too. `progress` is told how many are read so far and may say stop.
    StoreStatus ReadRows(const std::vector<int>& rows, bool full, std::vector<Result>& out,
                         const std::function<bool(std::size_t)>& progress = {}) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  signals:
    // The store failed to answer; said once until the next filter or refresh.
    void problemMet(const QString& message);

  private:
    void Recount();
    void Note(const StoreStatus& status) const;

    std::unique_ptr<ResultsStore> store_;
    ResultFilter filter_;
    // Reading a page changes only what is cached, so the const reads of
    // the view may fill it.
    mutable HistoryPages pages_;
    std::optional<std::int64_t> count_;
    mutable std::string problem_;
};

// The text of a cell: the time in local time, the readings as the panel
// shows them, the verdict as PASS, FAIL or nothing.
QString HistoryCellText(const Result& result, int column);

}  // namespace zx840
