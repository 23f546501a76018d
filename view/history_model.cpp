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

// Rows read from the store in one query when rows are read for an export.
constexpr std::int64_t kReadRun = 2000;

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

HistoryModel::HistoryModel(std::unique_ptr<ResultsStore> store, QObject* parent)
    : QAbstractTableModel(parent), store_(std::move(store)), pages_(*store_, {}) {
    Recount();
}

HistoryModel::~HistoryModel() = default;

void HistoryModel::Note(const StoreStatus& status) const {
    if (status || status.message == problem_) {
        return;
    }
    problem_ = status.message;
    emit const_cast<HistoryModel*>(this)->problemMet(QString::fromStdString(problem_));
}

void HistoryModel::Recount() {
    problem_.clear();
    std::int64_t count = 0;
    const StoreStatus status = pages_.Count(&count);
    count_ = status ? std::optional<std::int64_t>(count) : std::nullopt;
    Note(status);
}

void HistoryModel::SetFilter(const ResultFilter& filter) {
    beginResetModel();
    filter_ = filter;
    pages_.Reset(filter_);
    Recount();
    endResetModel();
}

void HistoryModel::Refresh() {
    SetFilter(filter_);
}

const Result* HistoryModel::RowResult(int row) const {
    if (row < 0 || row >= rowCount()) {
        return nullptr;
    }
    StoreStatus status;
    const Result* result = pages_.Row(row, &status);
    Note(status);
    return result;
}

StoreStatus HistoryModel::ReadRows(const std::vector<int>& rows, bool full,
                                   std::vector<Result>& out,
                                   const std::function<bool(std::size_t)>& progress) const {
    std::size_t i = 0;
    while (i < rows.size()) {
        // A run of neighbouring rows, read in one query.
        std::size_t end = i + 1;
        while (end < rows.size() && rows[end] == rows[end - 1] + 1 &&
               static_cast<std::int64_t>(end - i) < kReadRun) {
            ++end;
        }
        const auto first = static_cast<std::int64_t>(rows[i]);
        const auto length = static_cast<std::int64_t>(end - i);
        std::vector<Result> found;
        if (StoreStatus status = store_->Find(filter_, first, length, full, found); !status) {
            Note(status);
            return status;
        }
        if (static_cast<std::int64_t>(found.size()) != length) {
            return StoreStatus::Failed(
                "The results changed while they were read: find them again and try once more");
        }
        std::move(found.begin(), found.end(), std::back_inserter(out));
        i = end;
        if (progress && !progress(out.size())) {
            return StoreStatus::Failed({});  // stopped: no message
        }
    }
    return {};
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
