#include "view/history_model.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <algorithm>
#include <climits>

#include "draw/number_format.h"
#include "plan/verdict.h"

namespace zx840 {

namespace {

constexpr const char* kHeadings[HistoryModel::kColumns] = {
    "Time", "Station", "Type", "Number", "Operator", "Power", "PF", "Ithd %", "Verdict"};

// Rows read in one page, and the pages kept: a few screens either way.
constexpr std::size_t kPagesKept = 48;

}  // namespace

QString HistoryCellText(const Result& result, int column) {
    const MeasurementRecord& m = result.working.Record;
    switch (column) {
        case HistoryModel::Time:
            return QDateTime::fromMSecsSinceEpoch(result.timeMs)
                .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        case HistoryModel::Station:
            return QString::fromStdString(result.station);
        case HistoryModel::Type:
            return QString::fromStdString(result.mark.Type);
        case HistoryModel::Number:
            return QString::number(result.mark.Number);
        case HistoryModel::Operator:
            return QString::fromStdString(result.mark.Operator);
        case HistoryModel::Power:
            return QString::fromStdString(FormatFixed(m.Power, 2));
        case HistoryModel::PF:
            return QString::fromStdString(FormatFixed(m.PF, 3));
        case HistoryModel::IthdPercent:
            return QString::fromStdString(
                FormatFixed(PlanReadingValue(PlanReading::Ithd, result.working), 1));
        case HistoryModel::VerdictColumn:
            return result.verdict ? QString::fromLatin1(result.verdict->pass ? "PASS" : "FAIL")
                                  : QString();
        default:
            return {};
    }
}

HistoryModel::HistoryModel(StoreUrl url, QObject* parent)
    : QAbstractTableModel(parent),
      reader_(
          std::make_unique<HistoryReader>(this, std::move(url), ResultsStore::Access::ReadWrite)) {
    Count(WhileCounting::ClearRows);
}

HistoryModel::~HistoryModel() = default;

void HistoryModel::Note(const StoreStatus& status) const {
    if (status || status.message == problem_) {
        return;
    }
    problem_ = status.message;
    emit const_cast<HistoryModel*>(this)->problemMet(QString::fromStdString(problem_));
}

void HistoryModel::Count(WhileCounting rows) {
    const std::uint64_t generation = ++generation_;
    counting_ = true;
    if (rows == WhileCounting::ClearRows) {
        beginResetModel();
        count_.reset();
        pages_.clear();
        asked_.clear();
        endResetModel();
    }
    reader_->SetFilter(filter_, [this, generation](StoreStatus status, std::int64_t count) {
        if (generation != generation_) {
            return;  // a newer filter is on its way
        }
        beginResetModel();
        counting_ = false;
        pages_.clear();
        asked_.clear();
        problem_.clear();
        count_ = status ? std::optional<std::int64_t>(count) : std::nullopt;
        endResetModel();
        emit counted();
        Note(status);
        if (status) {
            Fetch(0);
            reader_->LearnKeys();  // after the first screen
        }
    });
}

void HistoryModel::SetFilter(const ResultFilter& filter) {
    filter_ = filter;
    Count(WhileCounting::ClearRows);
}

void HistoryModel::Refresh() {
    Count(WhileCounting::KeepRows);
}

void HistoryModel::Run(std::function<void(const HistoryReader::Lane&)> work) {
    reader_->Run(std::move(work));
}

void HistoryModel::Fetch(std::int64_t page) const {
    if (!asked_.insert(page).second) {
        return;
    }
    const std::uint64_t generation = generation_;
    auto* self = const_cast<HistoryModel*>(this);
    reader_->FetchPage(page,
                       [self, generation, page](StoreStatus status, std::vector<Result> rows) {
                           self->Arrived(generation, page, status, std::move(rows));
                       });
}

void HistoryModel::Arrived(std::uint64_t generation, std::int64_t page, const StoreStatus& status,
                           std::vector<Result> rows) {
    if (generation != generation_ || counting_) {
        return;
    }
    asked_.erase(page);
    if (!status) {
        Note(status);
        return;
    }
    const std::int64_t first = page * kHistoryPageSize;
    const auto last = first + static_cast<std::int64_t>(rows.size()) - 1;
    pages_.emplace_front(page, std::move(rows));
    if (pages_.size() > kPagesKept) {
        pages_.pop_back();
    }
    if (last >= first && first < rowCount()) {
        emit dataChanged(
            index(static_cast<int>(first), 0),
            index(static_cast<int>(std::min<std::int64_t>(last, rowCount() - 1)), kColumns - 1));
    }
}

const Result* HistoryModel::RowResult(int row) const {
    if (row < 0 || row >= rowCount()) {
        return nullptr;
    }
    const std::int64_t page = row / kHistoryPageSize;
    auto found = pages_.begin();
    while (found != pages_.end() && found->first != page) {
        ++found;
    }
    if (found == pages_.end()) {
        Fetch(page);
        return nullptr;
    }
    if (found != pages_.begin()) {
        pages_.splice(pages_.begin(), pages_, found);
    }
    const std::vector<Result>& rows = pages_.front().second;
    const auto at = static_cast<std::size_t>(row - page * kHistoryPageSize);
    return at < rows.size() ? &rows[at] : nullptr;
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !count_) {
        return 0;
    }
    return static_cast<int>(std::min<std::int64_t>(*count_, INT_MAX));
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        const bool number = index.column() == Number || index.column() == Power ||
                            index.column() == PF || index.column() == IthdPercent;
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole && role != Qt::ForegroundRole) {
        return {};
    }
    const Result* result = RowResult(index.row());
    if (result == nullptr) {
        return {};
    }
    if (role == Qt::ForegroundRole) {
        if (index.column() == VerdictColumn && result->verdict) {
            return QBrush(result->verdict->pass ? QColor(0, 128, 0) : QColor(200, 0, 0));
        }
        return {};
    }
    return HistoryCellText(*result, index.column());
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= kColumns) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    return QString::fromLatin1(kHeadings[section]);
}

}  // namespace zx840
